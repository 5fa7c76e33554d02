#include "server/Registration.h"

#include "common/Format.h"
#include "server/ClassManager.h"
#include "server/ComServer.h"
#include "server/ObjectFactory.h"
#include "server/TypeInfo.h"

namespace tellavo::server {

namespace {

constexpr char16_t kDefaultValue[] = u"";

struct ClassKeys {
  std::u16string classKey;  // CLSID\{class}
  std::u16string serverKey; // CLSID\{class}\InprocServer32

  explicit ClassKeys(const TComObjectFactory& factory)
      : classKey(u"CLSID\\" + GuidText(factory.ClassID())),
        serverKey(classKey + u"\\" + std::u16string(TComServer::ServerKey())) {}

  std::u16string Sub(const char16_t* name) const { return classKey + u"\\" + name; }
};

// The module path for InprocServer32: its short form when it has a blank,
// which hosts that split the value at blanks would misread; kept as it is
// when no short form exists.
std::u16string ServerPathEntry(const TComServer& server, RegistryLayer& registry) {
  std::u16string path = server.ServerFileName();
  if (path.find(u' ') != std::u16string::npos) {
    std::u16string shortPath = registry.ShortPathName(path);
    if (!shortPath.empty())
      path = std::move(shortPath);
  }
  return path;
}

void WriteClass(const TComObjectFactory& factory, RegistryLayer& registry) {
  const ClassKeys keys(factory);
  TComServer& server = factory.ComServer();
  registry.WriteEntry(keys.classKey, kDefaultValue, factory.Description());
  registry.WriteEntry(keys.serverKey, kDefaultValue, ServerPathEntry(server, registry));
  if (const auto model = ThreadingModelText(factory.GetThreadingModel()); !model.empty())
    registry.WriteEntry(keys.serverKey, u"ThreadingModel", std::u16string(model));
  if (const std::u16string& progId = factory.ProgID(); !progId.empty()) {
    registry.WriteEntry(progId, kDefaultValue, factory.Description());
    registry.WriteEntry(progId + u"\\Clsid", kDefaultValue, GuidText(factory.ClassID()));
    registry.WriteEntry(keys.Sub(u"ProgID"), kDefaultValue, progId);
  }
  const TypeLibAttributes library(server.TypeLib());
  registry.WriteEntry(keys.Sub(u"Version"), kDefaultValue,
                      Format(u"%d.%d", {library->wMajorVerNum, library->wMinorVerNum}));
  registry.WriteEntry(keys.Sub(u"TypeLib"), kDefaultValue, GuidText(library->guid));
}

void RemoveClass(const TComObjectFactory& factory, RegistryLayer& registry) {
  const ClassKeys keys(factory);
  registry.DeleteKey(keys.Sub(u"TypeLib"));
  registry.DeleteKey(keys.Sub(u"Version"));
  if (const std::u16string& progId = factory.ProgID(); !progId.empty()) {
    registry.DeleteKey(keys.Sub(u"ProgID"));
    registry.DeleteKey(progId + u"\\Clsid");
    registry.DeleteKey(progId);
  }
  registry.DeleteKey(keys.serverKey);
  registry.DeleteKey(keys.classKey);
}

void UpdateTypeLibRegistry(TComServer& server, RegistryLayer& registry, bool registering) {
  ITypeLib* library = server.TypeLib();
  if (registering) {
    const std::u16string path = server.ServerFileName();
    registry.RegisterTypeLibrary(library, path, std::u16string(DirectoryOf(path)));
  } else {
    registry.UnregisterTypeLibrary(*TypeLibAttributes(library));
  }
}

} // namespace

void UpdateClassRegistry(const TComObjectFactory& factory, RegistryLayer& registry,
                         bool registering) {
  if (registering)
    WriteClass(factory, registry);
  else
    RemoveClass(factory, registry);
}

void UpdateRegistry(TComServer& server, RegistryLayer& registry, bool registering) {
  if (server.HasTypeLib())
    UpdateTypeLibRegistry(server, registry, registering);
  ComClassManager().ForEachFactory(server, [&](const TComObjectFactory& factory) {
    if (factory.GetInstancing() != Instancing::Internal)
      UpdateClassRegistry(factory, registry, registering);
  });
}

HRESULT RunRegistration(TComServer& server, RegistryLayer& registry, bool registering) {
  try {
    UpdateRegistry(server, registry, registering);
    registry.Commit();
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

} // namespace tellavo::server
