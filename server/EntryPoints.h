// What the module's exported entry points answer, over the factory list and
// a server object.
#pragma once

#include "Platform.h"

namespace tellavo::server {

class TComServer;

// The class factory of a class, asked for the interface iid: S_OK,
// E_NOINTERFACE or CLASS_E_CLASSNOTAVAILABLE, with *object null on failure.
HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** object);

// S_FALSE while the server (if there is one) has objects, locks or factory
// references outstanding, or a count has gone negative; S_OK otherwise.
HRESULT CanUnloadNow(const TComServer* server);

} // namespace tellavo::server
