// Writing and removing the server's registry entries. The pass is plain code
// over RegistryLayer, so that it is an ordered list of writes and deletions
// whatever registry lies beneath.
#pragma once

#include <string>

#include "Platform.h"

namespace tellavo::server {

class TComObjectFactory;
class TComServer;

// The registry and type-library services that registration uses. Keys are
// relative to the layer's root: HKEY_CLASSES_ROOT, or a user's own classes.
class RegistryLayer {
public:
  virtual ~RegistryLayer() = default;

  // Sets a text value, making the key when needed; the empty value name is
  // the key's default value. Raises EOleRegistrationError with the system's
  // reason when it cannot.
  virtual void WriteEntry(const std::u16string& key, const std::u16string& valueName,
                          const std::u16string& data) = 0;
  // Deletes a key; a key that is missing or still has subkeys is passed over.
  // Raises EOleRegistrationError with the system's reason when a key that
  // is there cannot be deleted.
  virtual void DeleteKey(const std::u16string& key) = 0;
  // DeleteKey, then in the registry view of the other bitness as well,
  // where the system's registration of a type library writes its interfaces
  // too (64-bit Windows).
  virtual void DeleteKeyInBothViews(const std::u16string& key) { DeleteKey(key); }
  // Whether the key exists.
  virtual bool KeyExists(const std::u16string& key) = 0;
  // Raises EOleSysError when the library cannot be registered.
  virtual void RegisterTypeLibrary(ITypeLib* library, const std::u16string& path,
                                   const std::u16string& helpDirectory) = 0;
  // Removes the registration of that library version and answers the
  // system's result; S_FALSE when the system offers no way to remove it.
  virtual HRESULT UnregisterTypeLibrary(const TLIBATTR& library) = 0;
  // The short form of a path; empty when there is none.
  virtual std::u16string ShortPathName(const std::u16string& path) = 0;
  // Keeps the changes made so far, where the registry holds them back until
  // a pass is complete, so that a pass that stops halfway changes nothing.
  // Raises EOleRegistrationError with the system's reason when they cannot
  // be kept.
  virtual void Commit() {}
};

// The registration pass: registers (true) or unregisters (false) the
// server's type library, then writes or removes the entries of every class
// of the server that is not internal. Raises on the first failure and
// leaves what was done before it.
void UpdateRegistry(TComServer& server, RegistryLayer& registry, bool registering);

// The pass as the registration entry points answer it, committed when it
// completes: S_OK, or the HRESULT of the failure that stopped it (the
// system's, such as 0x80070005 "access denied"; E_FAIL when there is none).
// A registration that fails is removed again, as far as the registry lets
// it, so that no class is left half registered; an unregistration that
// fails leaves removed what it removed, and running it again finishes it.
HRESULT RunRegistration(TComServer& server, RegistryLayer& registry, bool registering);

// The entries of one class; `keepShared` keeps, when removing, those that
// the module of the other system kind still needs (its ProgID).
void UpdateClassRegistry(const TComObjectFactory& factory, RegistryLayer& registry,
                         bool registering, bool keepShared = false);

} // namespace tellavo::server
