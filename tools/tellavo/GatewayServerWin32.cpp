// On Windows the client creates the object the way every automation client
// does: the ProgID names the class, COM finds and loads the registered server.
// When the class is not registered (in this process's registry view), the
// client uses the module beside tellavo.exe through the registration-free
// manifest that lies beside it, so that a copied folder works without
// administrator rights. The module file for register and unregister is the
// one installed beside tellavo.exe.
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "RegistrationEntries.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/Utf.h"
#include "common/WideText.h"
#include "gateway/Tellavo_TLB.h"
#include "tools/tellavo/ComCheck.h"
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/GatewayServer.h"

namespace tellavo::cli {
namespace {

constexpr wchar_t kGatewayProgId[] = L"Tellavo.Gateway";
constexpr char16_t kModuleFileName[] = u"Tellavo.dll";
constexpr char16_t kManifestFileName[] = u"Tellavo.sxs.manifest";

// A Gateway object of the class that the ProgID names, through COM.
ComPtr<IDispatch> CreateByProgId(const char16_t* unknownHint) {
  CLSID classId;
  const HRESULT found = CLSIDFromProgID(kGatewayProgId, &classId);
  if (found == CO_E_CLASSSTRING)
    throw EOleSysError(unknownHint, found);
  CheckStep(found, u"CLSIDFromProgID");
  ComPtr<IDispatch> object;
  CheckStep(CoCreateInstance(classId, nullptr, CLSCTX_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(object.Out())),
            u"CoCreateInstance");
  return object;
}

class RegisteredGatewayServer : public GatewayServer {
public:
  ComPtr<IDispatch> CreateGateway() const override {
    return CreateByProgId(u"Tellavo.Gateway is not registered and there is no Tellavo.sxs.manifest "
                          u"beside tellavo.exe: run 'tellavo register' (or regsvr32 Tellavo.dll) "
                          u"first");
  }
};

// An activation context made from a manifest file; the modules it names are
// found in the manifest's folder.
class ActivationContext {
public:
  explicit ActivationContext(const std::u16string& manifest) {
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.lpSource = Wide(manifest);
    handle_ = CreateActCtxW(&request);
    if (handle_ == INVALID_HANDLE_VALUE)
      throw EOleSysError(Format(u"cannot use the manifest %s", {manifest}),
                         HRESULT_FROM_WIN32(GetLastError()));
  }
  ~ActivationContext() { ReleaseActCtx(handle_); }
  ActivationContext(const ActivationContext&) = delete;
  ActivationContext& operator=(const ActivationContext&) = delete;

  // Makes the context the calling thread's active one for a scope.
  class Scope {
  public:
    explicit Scope(const ActivationContext& context) {
      if (!ActivateActCtx(context.handle_, &cookie_))
        throw EOleSysError(u"cannot activate the module's manifest",
                           HRESULT_FROM_WIN32(GetLastError()));
    }
    ~Scope() { DeactivateActCtx(0, cookie_); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

  private:
    ULONG_PTR cookie_ = 0;
  };

private:
  HANDLE handle_;
};

// The module beside tellavo.exe, through its manifest. The object is created
// while the context is active: COM then reads the class, its ProgID and its
// type library from the manifest instead of the registry.
class ManifestGatewayServer : public GatewayServer {
public:
  explicit ManifestGatewayServer(const std::u16string& manifest) : context_(manifest) {}
  ComPtr<IDispatch> CreateGateway() const override {
    const ActivationContext::Scope active(context_);
    return CreateByProgId(u"the manifest beside tellavo.exe does not name Tellavo.Gateway");
  }

private:
  ActivationContext context_;
};

// The full path of tellavo.exe; the buffer grows until the path fits.
std::u16string ProgramPath() {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, Wide(path.data()), static_cast<DWORD>(path.size()));
    if (length == 0)
      return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::u16string ProgramFolder() {
  std::u16string path = ProgramPath();
  path.erase(path.find_last_of(u"\\/") + 1);
  return path;
}

std::u16string ManifestPath() {
  return ProgramFolder() + kManifestFileName;
}

bool IsFile(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The module file registered for the Gateway class in this process's view of
// the registry (a 32-bit process on 64-bit Windows sees the 32-bit view), in
// its long form (a path with a blank is registered in its short form), or
// none when the class is not registered there. RegGetValueW expands a
// REG_EXPAND_SZ path and returns it as REG_SZ.
std::optional<std::u16string> RegisteredModule() {
  wchar_t classId[40];
  if (StringFromGUID2(CLSID_Gateway, classId, 40) == 0)
    return std::nullopt;
  const std::u16string key = server::ServerPathKey(server::kRegistryEntries, FromWide(classId));
  DWORD size = 0;
  if (RegGetValueW(HKEY_CLASSES_ROOT, Wide(key), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  std::u16string path(size / sizeof(char16_t) + 1, u'\0');
  size = static_cast<DWORD>(path.size() * sizeof(char16_t));
  if (RegGetValueW(HKEY_CLASSES_ROOT, Wide(key), nullptr, RRF_RT_REG_SZ, nullptr, path.data(),
                   &size) != ERROR_SUCCESS)
    return std::nullopt;
  path.resize(path.find(u'\0'));
  std::u16string longPath(MAX_PATH, u'\0');
  const DWORD length =
      GetLongPathNameW(Wide(path), Wide(longPath.data()), static_cast<DWORD>(longPath.size()));
  if (length == 0 || length >= longPath.size())
    return path;
  longPath.resize(length);
  return longPath;
}

} // namespace

std::string DefaultModulePath() {
  return Utf16ToUtf8(ProgramFolder() + kModuleFileName);
}

std::unique_ptr<GatewayServer> DefaultGatewayServer() {
  if (!RegisteredModule() && IsFile(ManifestPath()))
    return std::make_unique<ManifestGatewayServer>(ManifestPath());
  return std::make_unique<RegisteredGatewayServer>();
}

ServerChoice DefaultServerChoice() {
  if (const auto registered = RegisteredModule())
    return {Utf16ToUtf8(*registered), "registered", std::nullopt};
  if (IsFile(ManifestPath()))
    return {DefaultModulePath(), "registration-free", Utf16ToUtf8(ManifestPath())};
  return {DefaultModulePath(), "unregistered", std::nullopt};
}

void SetProcessVariable(std::u16string_view name, std::u16string_view value) {
  const std::u16string variable(name);
  const std::u16string text(value);
  SetEnvironmentVariableW(Wide(variable), Wide(text));
}

} // namespace tellavo::cli
