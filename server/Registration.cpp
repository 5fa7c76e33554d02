#include "server/Registration.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "RegistrationEntries.h"
#include "common/ComPtr.h"
#include "common/ErrorConversion.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "server/ClassManager.h"
#include "server/ComServer.h"
#include "server/ObjectFactory.h"
#include "server/TypeInfo.h"

namespace tellavo::server {

namespace {

// The placeholders of the module's own rows, and their names there.
enum Placeholder : size_t {
  kClassId,
  kProgId,
  kDescription,
  kThreadingModel,
  kServerPath,
  kModule,
  kLibraryId,
  kVersion,
  kLibraryVersion,
  kSyskind,
  kPlaceholderCount
};
constexpr std::u16string_view kPlaceholderNames[kPlaceholderCount] = {
    u"CLSID",  u"PROGID", u"DESCRIPTION", u"THREADING_MODEL", u"SERVER_PATH",
    u"MODULE", u"LIBID",  u"VERSION",     u"LIBRARY_VERSION", u"SYSKIND"};
constexpr char16_t kPlaceholderMark = u'%';

// A class without a ProgID or threading model has none of the rows that
// name one.
constexpr bool IsOptional(size_t placeholder) {
  return placeholder == kProgId || placeholder == kThreadingModel;
}

constexpr size_t PlaceholderIndex(std::u16string_view name) {
  for (size_t i = 0; i < kPlaceholderCount; ++i)
    if (kPlaceholderNames[i] == name)
      return i;
  return kPlaceholderCount;
}

// Splits a text of the entries into its literal pieces, passed to `piece`,
// and its placeholders, passed to `placeholder`, in order. False when a
// placeholder is unknown or not closed.
template <typename Piece, typename Field>
constexpr bool SplitText(std::u16string_view text, Piece piece, Field placeholder) {
  for (;;) {
    const size_t open = text.find(kPlaceholderMark);
    piece(text.substr(0, open));
    if (open == std::u16string_view::npos)
      return true;
    const size_t close = text.find(kPlaceholderMark, open + 1);
    if (close == std::u16string_view::npos)
      return false;
    const size_t index = PlaceholderIndex(text.substr(open + 1, close - open - 1));
    if (index == kPlaceholderCount)
      return false;
    placeholder(index);
    text.remove_prefix(close + 1);
  }
}

constexpr auto kPassOver = [](auto) {};

// Every row names only placeholders that the module fills in; removal knows
// a class by its identity alone, so the keys of its rows name nothing else.
constexpr bool EntriesNameKnownPlaceholders() {
  for (const RegistryEntry& entry : kRegistryEntries) {
    bool keyOfIdentity = true;
    const auto identity = [&](size_t index) {
      keyOfIdentity &= index == kClassId || index == kProgId;
    };
    if (!SplitText(entry.key, kPassOver, identity) ||
        !SplitText(entry.name, kPassOver, kPassOver) ||
        !SplitText(entry.data, kPassOver, kPassOver))
      return false;
    if (entry.part == RegistryPart::Class && !keyOfIdentity)
      return false;
  }
  return true;
}
static_assert(EntriesNameKnownPlaceholders(),
              "the module's rows name only placeholders that it fills in");

using PlaceholderValues = std::array<std::u16string, kPlaceholderCount>;

// The text with its placeholders filled in; none when it names an optional
// placeholder that has no value.
std::optional<std::u16string> FillIn(std::u16string_view text, const PlaceholderValues& values) {
  std::u16string filled;
  bool complete = true;
  SplitText(
      text, [&](std::u16string_view piece) { filled += piece; },
      [&](size_t index) {
        complete &= !(IsOptional(index) && values[index].empty());
        filled += values[index];
      });
  if (!complete)
    return std::nullopt;
  return filled;
}

// Writes the rows of one part in their order.
void WriteEntries(RegistryPart part, const PlaceholderValues& values, RegistryLayer& registry) {
  for (const RegistryEntry& entry : kRegistryEntries) {
    if (entry.part != part || entry.keyOnly)
      continue;
    auto key = FillIn(entry.key, values);
    auto name = FillIn(entry.name, values);
    auto data = FillIn(entry.data, values);
    if (key && name && data)
      registry.WriteEntry(*key, *name, *data);
  }
}

// Deletes the keys of one part's rows in the reverse order, each key once,
// at the first of its rows; `keepShared` keeps those of both registry views.
void RemoveEntries(RegistryPart part, const PlaceholderValues& values, RegistryLayer& registry,
                   bool keepShared) {
  for (size_t i = std::size(kRegistryEntries); i-- > 0;) {
    const RegistryEntry& entry = kRegistryEntries[i];
    if (entry.part != part || (keepShared && entry.shared))
      continue;
    if (i > 0 && kRegistryEntries[i - 1].part == part && kRegistryEntries[i - 1].key == entry.key)
      continue;
    if (auto key = FillIn(entry.key, values))
      registry.DeleteKey(*key);
  }
}

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
  // The keys of the system's registration of each interface, subkeys before
  // their key; the system writes them in both registry views.
  static std::vector<std::u16string> InterfaceRegistrationKeys(ITypeLib* library) {
    std::vector<std::u16string> all;
    for (const std::u16string& interfaceKey : InterfaceKeys(library)) {
      for (std::u16string_view subkey : {u"\\ProxyStubClsid", u"\\ProxyStubClsid32", u"\\TypeLib"})
        all.push_back(interfaceKey + std::u16string(subkey));
      all.push_back(interfaceKey);
    }
    return all;
  }
  // The keys of the system's registration of this version and kind,
  // subkeys before their key.
  std::vector<std::u16string> VersionRegistrationKeys() const {
    return {FileKey(lcid, syskind),    LocaleKey(lcid), versionKey + u"\\FLAGS",
            versionKey + u"\\HELPDIR", versionKey,      libraryKey};
  }
  // Interface\{interface} of each interface that the system registers with
  // the library: the dispatch and dual ones, and those marked oleautomation.
  static std::vector<std::u16string> InterfaceKeys(ITypeLib* library) {
    std::vector<std::u16string> keys;
    for (UINT i = 0, count = library->GetTypeInfoCount(); i < count; ++i) {
      ComPtr<ITypeInfo> info;
      OleCheck(library->GetTypeInfo(i, info.Out()));
      const TypeAttributes type(info.Get());
      if (type->typekind == TKIND_DISPATCH ||
          (type->typekind == TKIND_INTERFACE && (type->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) != 0))
        keys.push_back(u"Interface\\" + GuidText(type->guid));
    }
    return keys;
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

// The language-neutral locale, which the library rows name: when it is the
// library's own, RegisterTypeLib has written those rows already.
constexpr LCID kNeutralLocale = 0;

// The values of the type library's placeholders.
PlaceholderValues LibraryValues(TComServer& server) {
  const TypeLibAttributes library(server.TypeLib());
  PlaceholderValues values;
  values[kModule] = server.ServerFileName();
  values[kLibraryId] = GuidText(library->guid);
  values[kVersion] = Format(u"%d.%d", {library->wMajorVerNum, library->wMinorVerNum});
  values[kLibraryVersion] = Format(u"%x.%x", {library->wMajorVerNum, library->wMinorVerNum});
  values[kSyskind] = TypeLibKeys::SyskindText(library->syskind);
  return values;
}

// The values of a class's placeholders. Removal needs only its identity,
// which its rows' keys are made of, and looks nothing else up.
PlaceholderValues ClassValues(const TComObjectFactory& factory, RegistryLayer& registry,
                              bool registering) {
  TComServer& server = factory.ComServer();
  PlaceholderValues values;
  if (registering) {
    values = LibraryValues(server);
    values[kDescription] = factory.Description();
    values[kThreadingModel] = ThreadingModelText(factory.GetThreadingModel());
    values[kServerPath] = ServerPathEntry(server, registry);
  }
  values[kClassId] = GuidText(factory.ClassID());
  values[kProgId] = factory.ProgID();
  return values;
}

void RegisterTypeLibrary(TComServer& server, RegistryLayer& registry) {
  ITypeLib* library = server.TypeLib();
  const std::u16string path = server.ServerFileName();
  registry.RegisterTypeLibrary(library, path, std::u16string(DirectoryOf(path)));
  if (TypeLibAttributes(library)->lcid != kNeutralLocale)
    WriteEntries(RegistryPart::Library, LibraryValues(server), registry);
}

// What a pass that the system's removal of the type library stopped says of
// what stays: the next pass removes it.
constexpr std::u16string_view kLibraryLeft =
    u"The type library could not be unregistered: %s. Left in the registry: %s and the "
    u"classes' entries; unregistering again removes them";

// Has the system remove the library's registration. The system's answer
// alone does not settle it: Wine answers E_INVALIDARG for a version key it
// may not change and S_OK when a file entry could not be deleted, and the
// codes that Windows documents (TYPE_E_REGISTRYACCESS) do not name the
// registry's reason. So the file entry is looked at afterwards; while it is
// still there, deleting it here raises the registry's own reason (access
// denied, say). A failure that leaves the rest (the system cannot read a
// registered file that was moved) fails the pass, naming what is left; the
// version key without its file entry then tells the next pass to remove the
// library's keys itself.
void RemoveTypeLibrary(RegistryLayer& registry, ITypeLib* library, const TypeLibKeys& keys) {
  const std::u16string fileKey = keys.FileKey(keys.lcid, keys.syskind);
  if (!registry.KeyExists(fileKey)) {
    // Without a version key the library is not registered: an empty library
    // key goes. With one, the system's removal failed before, or the version
    // key holds only this module's language-neutral entry, made where the
    // system's registration did not go (Wine registers a user's library
    // machine-wide). Keys that hold another registration have subkeys and
    // stay.
    if (!registry.KeyExists(keys.versionKey)) {
      registry.DeleteKey(keys.libraryKey);
      return;
    }
    for (const std::u16string& key : TypeLibKeys::InterfaceRegistrationKeys(library))
      registry.DeleteKeyInBothViews(key);
    for (const std::u16string& key : keys.VersionRegistrationKeys())
      registry.DeleteKey(key);
    return;
  }
  const HRESULT result = registry.UnregisterTypeLibrary(*TypeLibAttributes(library));
  if (result == S_FALSE)
    return;
  if (registry.KeyExists(fileKey))
    registry.DeleteKey(fileKey);
  if (!FAILED(result))
    return;
  std::u16string left = keys.versionKey;
  for (const std::u16string& key : TypeLibKeys::InterfaceKeys(library))
    left += u", " + key;
  throw EOleSysError(Format(kLibraryLeft, {EOleSysError(u"", result).Message(), left}), result);
}

// Removes this module's entries of its type library. The version's other
// parts (its name, flags and help folder) and the interfaces are shared with
// the module of the other system kind when that one is registered too: they
// then stay for it, and only this kind's file entries go.
void UnregisterTypeLibrary(TComServer& server, RegistryLayer& registry, bool otherKindRegistered) {
  const TypeLibAttributes library(server.TypeLib());
  const TypeLibKeys keys(*library);
  if (keys.lcid != kNeutralLocale)
    RemoveEntries(RegistryPart::Library, LibraryValues(server), registry, false);
  if (!otherKindRegistered) {
    RemoveTypeLibrary(registry, server.TypeLib(), keys);
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
  const PlaceholderValues values = ClassValues(factory, registry, registering);
  if (registering)
    WriteEntries(RegistryPart::Class, values, registry);
  else
    RemoveEntries(RegistryPart::Class, values, registry, keepShared);
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
  // A failure's text goes to the thread's error object, where a caller that
  // reads more than the code (the tellavo client) learns what stopped the
  // pass and what it left.
  const HRESULT failure = Guard(
      {}, [&] { UpdateRegistry(server, registry, registering); }, Boundary::Registration);
  if (FAILED(failure)) {
    // What a failed registration wrote goes again; the removal stops where
    // the registry refuses, and the caller learns of the first failure.
    if (registering)
      AnswerOf(Boundary::Registration, [&] { UpdateRegistry(server, registry, false); });
    return failure;
  }
  return Guard(
      {}, [&] { registry.Commit(); }, Boundary::Registration);
}

} // namespace tellavo::server
