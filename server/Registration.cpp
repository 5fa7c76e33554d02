#include "server/Registration.h"

#include "common/ErrorConversion.h"
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

// The class keys live in the caller's registry view; the ProgID is shared
// by both views and stays while the module of the other kind is registered.
void RemoveClass(const TComObjectFactory& factory, RegistryLayer& registry, bool keepShared) {
  const ClassKeys keys(factory);
  registry.DeleteKey(keys.Sub(u"TypeLib"));
  registry.DeleteKey(keys.Sub(u"Version"));
  if (const std::u16string& progId = factory.ProgID(); !progId.empty()) {
    registry.DeleteKey(keys.Sub(u"ProgID"));
    if (!keepShared) {
      registry.DeleteKey(progId + u"\\Clsid");
      registry.DeleteKey(progId);
    }
  }
  registry.DeleteKey(keys.serverKey);
  registry.DeleteKey(keys.classKey);
}

// The keys of one registered version of a type library:
// TypeLib\{library}\major.minor, and below it one entry per locale and
// system kind ("409\win32") naming the file.
struct TypeLibKeys {
  std::u16string libraryKey;
  std::u16string versionKey;
  LCID lcid;
  SYSKIND syskind;

  explicit TypeLibKeys(const TLIBATTR& library)
      : libraryKey(u"TypeLib\\" + GuidText(library.guid)),
        versionKey(libraryKey + Format(u"\\%x.%x", {library.wMajorVerNum, library.wMinorVerNum})),
        lcid(library.lcid), syskind(library.syskind) {}

  std::u16string LocaleKey(LCID locale) const { return versionKey + Format(u"\\%x", {locale}); }
  std::u16string FileKey(LCID locale, SYSKIND kind) const {
    return LocaleKey(locale) + u"\\" + SyskindText(kind);
  }
  // The other kind of the same library on 64-bit Windows, whose module may
  // be registered beside this one.
  SYSKIND OtherSyskind() const { return syskind == SYS_WIN64 ? SYS_WIN32 : SYS_WIN64; }

  static std::u16string SyskindText(SYSKIND kind) {
    switch (kind) {
    case SYS_WIN16:
      return u"win16";
    case SYS_WIN64:
      return u"win64";
    default:
      return u"win32";
    }
  }
};

// The language-neutral locale, under which the automation marshaler looks a
// library up when it builds the proxy of a dual interface for another
// apartment; RegisterTypeLib writes only the library's own locale.
constexpr LCID kNeutralLocale = 0;

void RegisterTypeLibrary(TComServer& server, RegistryLayer& registry) {
  ITypeLib* library = server.TypeLib();
  const std::u16string path = server.ServerFileName();
  registry.RegisterTypeLibrary(library, path, std::u16string(DirectoryOf(path)));
  const TypeLibKeys keys(*TypeLibAttributes(library));
  if (keys.lcid != kNeutralLocale)
    registry.WriteEntry(keys.FileKey(kNeutralLocale, keys.syskind), kDefaultValue, path);
}

// Has the system remove the library's registration. A library that is not
// registered is passed over, as a missing key is. The system's answer alone
// does not settle it: Wine answers E_INVALIDARG for a version key it may not
// change and S_OK when a file entry could not be deleted, and the codes that
// Windows documents (TYPE_E_REGISTRYACCESS) do not name the registry's
// reason. So the file entry is looked at afterwards; while it is still
// there, deleting it here raises the registry's own reason (access denied,
// say).
void RemoveTypeLibrary(RegistryLayer& registry, const TLIBATTR& library, const TypeLibKeys& keys) {
  const std::u16string fileKey = keys.FileKey(keys.lcid, keys.syskind);
  if (!registry.KeyExists(fileKey)) {
    // The version and library keys above the language-neutral entry are
    // then this module's own, made where the system's registration did not
    // go (Wine registers a user's library machine-wide). Empty, they go
    // too; holding another registration, they have subkeys and stay.
    registry.DeleteKey(keys.versionKey);
    registry.DeleteKey(keys.libraryKey);
    return;
  }
  const HRESULT result = registry.UnregisterTypeLibrary(library);
  if (result == S_FALSE)
    return;
  if (registry.KeyExists(fileKey))
    registry.DeleteKey(fileKey);
  OleCheck(result);
}

// Removes this module's entries of its type library. The version's other
// parts (its name, flags and help folder) and the interfaces are shared with
// the module of the other system kind when that one is registered too: they
// then stay for it, and only this kind's file entries go.
void UnregisterTypeLibrary(TComServer& server, RegistryLayer& registry, bool otherKindRegistered) {
  const TypeLibAttributes library(server.TypeLib());
  const TypeLibKeys keys(*library);
  if (keys.lcid != kNeutralLocale) {
    registry.DeleteKey(keys.FileKey(kNeutralLocale, keys.syskind));
    registry.DeleteKey(keys.LocaleKey(kNeutralLocale));
  }
  if (!otherKindRegistered) {
    RemoveTypeLibrary(registry, *library, keys);
    return;
  }
  registry.DeleteKey(keys.FileKey(keys.lcid, keys.syskind));
  registry.DeleteKey(keys.LocaleKey(keys.lcid));
}

// Whether the module of the other system kind is registered as well: the
// type library key, which both views share, holds its file entry.
bool OtherKindRegistered(TComServer& server, RegistryLayer& registry) {
  const TypeLibKeys keys(*TypeLibAttributes(server.TypeLib()));
  return registry.KeyExists(keys.FileKey(keys.lcid, keys.OtherSyskind()));
}

} // namespace

void UpdateClassRegistry(const TComObjectFactory& factory, RegistryLayer& registry,
                         bool registering, bool keepShared) {
  if (registering)
    WriteClass(factory, registry);
  else
    RemoveClass(factory, registry, keepShared);
}

void UpdateRegistry(TComServer& server, RegistryLayer& registry, bool registering) {
  bool keepShared = false;
  if (server.HasTypeLib()) {
    if (registering) {
      RegisterTypeLibrary(server, registry);
    } else {
      keepShared = OtherKindRegistered(server, registry);
      UnregisterTypeLibrary(server, registry, keepShared);
    }
  }
  ComClassManager().ForEachFactory(server, [&](const TComObjectFactory& factory) {
    if (factory.GetInstancing() != Instancing::Internal)
      UpdateClassRegistry(factory, registry, registering, keepShared);
  });
}

HRESULT RunRegistration(TComServer& server, RegistryLayer& registry, bool registering) {
  const HRESULT failure =
      AnswerOf(Boundary::Registration, [&] { UpdateRegistry(server, registry, registering); });
  if (FAILED(failure)) {
    // What a failed registration wrote goes again; the removal stops where
    // the registry refuses, and the caller learns of the first failure.
    if (registering)
      AnswerOf(Boundary::Registration, [&] { UpdateRegistry(server, registry, false); });
    return failure;
  }
  return AnswerOf(Boundary::Registration, [&] { registry.Commit(); });
}

} // namespace tellavo::server
