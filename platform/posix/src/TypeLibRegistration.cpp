// Registration of a type library under HKEY_CLASSES_ROOT, or for one user
// under HKEY_CURRENT_USER\Software\Classes:
//   TypeLib\{LIBID}\major.minor            = help string (or name)
//   TypeLib\{LIBID}\major.minor\FLAGS      = library flags
//   TypeLib\{LIBID}\major.minor\HELPDIR    = help directory
//   TypeLib\{LIBID}\major.minor\lcid\win32 = path of the module
//   Interface\{IID} (name, proxy/stub class, TypeLib with Version) for each
//   automation interface, marshalled by the standard automation marshaller.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "RegistryHive.h"
#include "TypeLib.h"
#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "common/RegistryKey.h"

namespace tellavo::platform {
namespace {

// The automation marshaller's class, which serves dual and automation
// interfaces.
constexpr std::u16string_view AutomationProxyStub = u"{00020424-0000-0000-C000-000000000046}";

// The key that holds the registration: the machine's classes or a user's.
struct Classes {
  HKEY root;
  std::u16string_view prefix;

  std::u16string Path(const std::u16string& key) const { return std::u16string(prefix) + key; }
};

const Classes MachineClasses{HKEY_CLASSES_ROOT, u""};
const Classes UserClasses{HKEY_CURRENT_USER, u"Software\\Classes\\"};

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[39];
  StringFromGUID2(guid, text, 39);
  return std::u16string(text, 38);
}

std::u16string Ascii(const char* text) {
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string VersionText(WORD major, WORD minor) {
  char text[16];
  std::snprintf(text, sizeof text, "%x.%x", major, minor);
  return Ascii(text);
}

std::u16string_view SyskindText(SYSKIND syskind) {
  switch (syskind) {
  case SYS_WIN16:
    return u"win16";
  case SYS_MAC:
    return u"mac";
  case SYS_WIN64:
    return u"win64";
  default:
    return u"win32";
  }
}

std::u16string LibraryKey(REFGUID libId, WORD major, WORD minor) {
  return u"TypeLib\\" + GuidText(libId) + u"\\" + VersionText(major, minor);
}

std::u16string LocaleKey(const std::u16string& libraryKey, LCID lcid, SYSKIND syskind) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", lcid);
  return libraryKey + u"\\" + Ascii(text) + u"\\" + std::u16string(SyskindText(syskind));
}

bool WriteValue(const Classes& classes, const std::u16string& key, std::u16string_view name,
                std::u16string_view data) {
  tellavo::RegistryKey handle;
  if (RegCreateKeyExW(classes.root, classes.Path(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_READ | KEY_WRITE, nullptr, handle.Out(), nullptr) != ERROR_SUCCESS)
    return false;
  const std::u16string value(name);
  const std::u16string text(data);
  return RegSetValueExW(handle.Get(), value.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

std::u16string ReadValue(const Classes& classes, const std::u16string& key,
                         std::u16string_view name) {
  tellavo::RegistryKey handle;
  if (RegOpenKeyExW(classes.root, classes.Path(key).c_str(), 0, KEY_READ, handle.Out()) !=
      ERROR_SUCCESS)
    return {};
  const std::u16string value(name);
  DWORD size = 0;
  DWORD type = 0;
  if (RegQueryValueExW(handle.Get(), value.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  std::u16string text(size / sizeof(char16_t), 0);
  if (RegQueryValueExW(handle.Get(), value.c_str(), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
    return {};
  text.resize(std::u16string_view(text.c_str()).size());
  return text;
}

std::vector<std::u16string> SubkeyNames(const Classes& classes, const std::u16string& key) {
  std::vector<std::u16string> names;
  tellavo::RegistryKey handle;
  if (RegOpenKeyExW(classes.root, classes.Path(key).c_str(), 0, KEY_READ, handle.Out()) !=
      ERROR_SUCCESS)
    return names;
  OLECHAR name[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = 256;
    if (RegEnumKeyExW(handle.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      return names;
    names.emplace_back(name, size);
  }
}

bool IsAutomationInterface(WORD flags, TYPEKIND kind) {
  return kind == TKIND_DISPATCH ||
         (kind == TKIND_INTERFACE && (flags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)) != 0);
}

// The directory part of a path, with its trailing separator.
std::u16string DirectoryOf(std::u16string_view path) {
  const size_t end = path.find_last_of(u"/\\");
  return std::u16string(end == std::u16string_view::npos ? u"" : path.substr(0, end + 1));
}

struct LibAttr {
  ITypeLib* lib;
  TLIBATTR* attr = nullptr;
  explicit LibAttr(ITypeLib* owner) : lib(owner) {}
  LibAttr(const LibAttr&) = delete;
  LibAttr& operator=(const LibAttr&) = delete;
  ~LibAttr() {
    if (attr != nullptr)
      lib->ReleaseTLibAttr(attr);
  }
};

struct TypeAttr {
  ITypeInfo* info;
  TYPEATTR* attr = nullptr;
  explicit TypeAttr(ITypeInfo* owner) : info(owner) {}
  TypeAttr(const TypeAttr&) = delete;
  TypeAttr& operator=(const TypeAttr&) = delete;
  ~TypeAttr() {
    if (attr != nullptr)
      info->ReleaseTypeAttr(attr);
  }
};

HRESULT RegisterInterfaces(const Classes& classes, ITypeLib* lib, const std::u16string& libId,
                           const std::u16string& version) {
  for (UINT index = 0; index < lib->GetTypeInfoCount(); ++index) {
    ComPtr<ITypeInfo> info;
    if (FAILED(lib->GetTypeInfo(index, info.Out())))
      return TYPE_E_INVALIDSTATE;
    TypeAttr attr(info.Get());
    BStr name;
    if (FAILED(info->GetTypeAttr(&attr.attr)) ||
        FAILED(info->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr)))
      return TYPE_E_INVALIDSTATE;
    if (!IsAutomationInterface(attr.attr->wTypeFlags, attr.attr->typekind))
      continue;
    const std::u16string key = u"Interface\\" + GuidText(attr.attr->guid);
    if (!WriteValue(classes, key, u"", name.View()) ||
        !WriteValue(classes, key + u"\\ProxyStubClsid", u"", AutomationProxyStub) ||
        !WriteValue(classes, key + u"\\ProxyStubClsid32", u"", AutomationProxyStub) ||
        !WriteValue(classes, key + u"\\TypeLib", u"", libId) ||
        !WriteValue(classes, key + u"\\TypeLib", u"Version", version))
      return TYPE_E_REGISTRYACCESS;
  }
  return S_OK;
}

HRESULT Register(const Classes& classes, ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) {
  if (lib == nullptr || fullPath == nullptr)
    return E_INVALIDARG;
  LibAttr attr(lib);
  if (const HRESULT hr = lib->GetLibAttr(&attr.attr); FAILED(hr))
    return hr;
  tellavo::BStr name, help;
  if (const HRESULT hr = lib->GetDocumentation(-1, name.Out(), help.Out(), nullptr, nullptr);
      FAILED(hr))
    return hr;
  const TLIBATTR& a = *attr.attr;
  const std::u16string libraryKey = LibraryKey(a.guid, a.wMajorVerNum, a.wMinorVerNum);
  const std::u16string flags = Ascii(std::to_string(a.wLibFlags).c_str());
  const std::u16string directory =
      helpDir != nullptr ? std::u16string(helpDir) : DirectoryOf(fullPath);
  if (!WriteValue(classes, libraryKey, u"", help.View().empty() ? name.View() : help.View()) ||
      !WriteValue(classes, libraryKey + u"\\FLAGS", u"", flags) ||
      !WriteValue(classes, libraryKey + u"\\HELPDIR", u"", directory) ||
      !WriteValue(classes, LocaleKey(libraryKey, a.lcid, a.syskind), u"", fullPath))
    return TYPE_E_REGISTRYACCESS;
  return RegisterInterfaces(classes, lib, GuidText(a.guid),
                            VersionText(a.wMajorVerNum, a.wMinorVerNum));
}

HRESULT Unregister(const Classes& classes, REFGUID libId, WORD majorVersion, WORD minorVersion,
                   LCID lcid, SYSKIND syskind) {
  const std::u16string libraryKey = LibraryKey(libId, majorVersion, minorVersion);
  const std::u16string localeKey = LocaleKey(libraryKey, lcid, syskind);
  if (tellavo::RegistryKey probe; RegOpenKeyExW(classes.root, classes.Path(localeKey).c_str(), 0,
                                                KEY_READ, probe.Out()) != ERROR_SUCCESS)
    return TYPE_E_REGISTRYACCESS;
  // The library's interfaces: those registered as belonging to this library
  // version, and not to another that took them over.
  const std::u16string libIdText = GuidText(libId);
  const std::u16string version = VersionText(majorVersion, minorVersion);
  for (const std::u16string& name : SubkeyNames(classes, u"Interface")) {
    const std::u16string key = u"Interface\\" + name;
    if (RegistryHive::Fold(ReadValue(classes, key + u"\\TypeLib", u"")) ==
            RegistryHive::Fold(libIdText) &&
        ReadValue(classes, key + u"\\TypeLib", u"Version") == version)
      RegDeleteTreeW(classes.root, classes.Path(key).c_str());
  }
  RegDeleteKeyW(classes.root, classes.Path(localeKey).c_str());
  RegDeleteKeyW(classes.root, classes.Path(localeKey.substr(0, localeKey.rfind(u'\\'))).c_str());
  // The version goes when no other locale is registered under it.
  const std::vector<std::u16string> left = SubkeyNames(classes, libraryKey);
  if (std::all_of(left.begin(), left.end(), [](const std::u16string& name) {
        const std::u16string folded = RegistryHive::Fold(name);
        return folded == u"FLAGS" || folded == u"HELPDIR";
      }))
    RegDeleteTreeW(classes.root, classes.Path(libraryKey).c_str());
  RegDeleteKeyW(classes.root, classes.Path(u"TypeLib\\" + libIdText).c_str());
  return S_OK;
}

} // namespace
} // namespace tellavo::platform

using namespace tellavo::platform;

HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) {
  return Register(MachineClasses, lib, fullPath, helpDir);
}

HRESULT UnRegisterTypeLib(REFGUID libId, WORD majorVersion, WORD minorVersion, LCID lcid,
                          SYSKIND syskind) {
  return Unregister(MachineClasses, libId, majorVersion, minorVersion, lcid, syskind);
}

HRESULT RegisterTypeLibForUser(ITypeLib* lib, OLECHAR* fullPath, OLECHAR* helpDir) {
  return Register(UserClasses, lib, fullPath, helpDir);
}

HRESULT UnRegisterTypeLibForUser(REFGUID libId, WORD majorVersion, WORD minorVersion, LCID lcid,
                                 SYSKIND syskind) {
  return Unregister(UserClasses, libId, majorVersion, minorVersion, lcid, syskind);
}
