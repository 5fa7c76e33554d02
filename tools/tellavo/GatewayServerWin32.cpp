// On Windows the client creates the object the way every automation client
// does: the ProgID names the class, COM finds and loads the registered server.
// The module file for register and unregister is the one installed beside
// tellavo.exe.
#include <string>

#include "common/Exceptions.h"
#include "common/Utf.h"
#include "tools/tellavo/ComCheck.h"
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/GatewayServer.h"

namespace tellavo::cli {
namespace {

constexpr wchar_t kGatewayProgId[] = L"Tellavo.Gateway";
constexpr char16_t kModuleFileName[] = u"Tellavo.dll";

class RegisteredGatewayServer : public GatewayServer {
public:
  ComPtr<IDispatch> CreateGateway() const override {
    CLSID classId;
    const HRESULT found = CLSIDFromProgID(kGatewayProgId, &classId);
    if (found == CO_E_CLASSSTRING)
      throw EOleSysError(u"Tellavo.Gateway is not registered: run 'tellavo register' (or "
                         u"regsvr32 Tellavo.dll) first",
                         found);
    CheckStep(found, u"CLSIDFromProgID");
    ComPtr<IDispatch> object;
    CheckStep(CoCreateInstance(classId, nullptr, CLSCTX_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(object.Out())),
              u"CoCreateInstance");
    return object;
  }
};

// The full path of tellavo.exe; the buffer grows until the path fits.
std::u16string ProgramPath() {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, reinterpret_cast<LPWSTR>(path.data()),
                                            static_cast<DWORD>(path.size()));
    if (length == 0)
      return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

} // namespace

std::string DefaultModulePath() {
  std::u16string path = ProgramPath();
  path.erase(path.find_last_of(u"\\/") + 1);
  return Utf16ToUtf8(path + kModuleFileName);
}

std::unique_ptr<GatewayServer> DefaultGatewayServer() {
  return std::make_unique<RegisteredGatewayServer>();
}

void SetProcessVariable(std::u16string_view name, std::u16string_view value) {
  const std::u16string variable(name);
  const std::u16string text(value);
  SetEnvironmentVariableW(reinterpret_cast<LPCWSTR>(variable.c_str()),
                          reinterpret_cast<LPCWSTR>(text.c_str()));
}

} // namespace tellavo::cli
