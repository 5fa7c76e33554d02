#include "server/EntryPoints.h"

#include "server/ClassManager.h"
#include "server/ComServer.h"
#include "server/ObjectFactory.h"

namespace tellavo::server {

HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  TComObjectFactory* factory = ComClassManager().GetFactoryFromClassID(classId);
  if (factory == nullptr)
    return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(iid, object);
}

HRESULT CanUnloadNow(const TComServer* server) {
  if (server != nullptr && (server->ObjectCount() != 0 || server->FactoryCount() != 0))
    return S_FALSE;
  return S_OK;
}

} // namespace tellavo::server
