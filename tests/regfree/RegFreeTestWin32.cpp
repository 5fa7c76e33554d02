// Registration-free activation, in a prefix where nothing is registered: an
// application that activates the module's manifest creates Tellavo.Gateway
// by ProgID and by class and calls it late-bound and early-bound from every
// kind of apartment; a program with the example application manifest creates
// it as if it were registered; and tellavo.exe copied into a folder with the
// module and the manifest works from there. The module and manifest are copied into a
// fresh folder first, as an application ships them in its own.
#include <objbase.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <type_traits>

#include "common/ComPtr.h"
#include "common/HandlesWin32.h"
#include "common/Utf.h"
#include "gateway/Tellavo_TLB.h"
#include "support/EarlyBoundClient.h"
#include "support/Json.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"

namespace tellavo::test {
namespace {

namespace fs = std::filesystem;

constexpr char kManifestName[] = "Tellavo.sxs.manifest";

// A build-tree file of this build (a path of the build machine) as Windows
// sees it: the build machine's root is drive Z: under Wine.
fs::path BuildFile(const char* path) {
  std::string windows = std::string("Z:") + path;
  for (char& c : windows)
    if (c == '/')
      c = '\\';
  return fs::path(Utf8ToUtf16(windows));
}

// A fresh folder with a blank in its name under the temporary folder,
// holding copies of the given files; removed with the object.
class CopiedFolder {
public:
  explicit CopiedFolder(std::initializer_list<const char*> files) {
    static int serial = 0;
    path_ = fs::temp_directory_path() / ("Tellavo copy " + std::to_string(GetCurrentProcessId()) +
                                         "-" + std::to_string(++serial));
    fs::remove_all(path_);
    fs::create_directories(path_);
    for (const char* file : files)
      fs::copy_file(BuildFile(file), path_ / BuildFile(file).filename());
  }
  ~CopiedFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  CopiedFolder(const CopiedFolder&) = delete;
  CopiedFolder& operator=(const CopiedFolder&) = delete;

  fs::path operator/(const char* name) const { return path_ / name; }
  void Add(const fs::path& file, const char* name) const { fs::copy_file(file, path_ / name); }
  void Write(const char* name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
  }

private:
  fs::path path_;
};

// An activation context made from a manifest file.
class ActivationContext {
public:
  explicit ActivationContext(const fs::path& manifest) {
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.lpSource = manifest.c_str();
    handle_ = CreateActCtxW(&request);
  }
  ~ActivationContext() {
    if (handle_ != INVALID_HANDLE_VALUE)
      ReleaseActCtx(handle_);
  }
  ActivationContext(const ActivationContext&) = delete;
  ActivationContext& operator=(const ActivationContext&) = delete;
  HANDLE Get() const { return handle_; }

private:
  HANDLE handle_;
};

// The context active on the calling thread for a scope.
class ActiveScope {
public:
  explicit ActiveScope(const ActivationContext& context)
      : active_(ActivateActCtx(context.Get(), &cookie_)) {}
  ~ActiveScope() {
    if (active_)
      DeactivateActCtx(0, cookie_);
  }
  ActiveScope(const ActiveScope&) = delete;
  ActiveScope& operator=(const ActiveScope&) = delete;
  bool Active() const { return active_; }

private:
  ULONG_PTR cookie_ = 0;
  bool active_;
};

// What one client got: whether creation by ProgID and by class worked, the
// originators through IDispatch, and the message id and originators through
// IGateway's function table.
struct Outcome {
  HRESULT byProgId = E_UNEXPECTED;
  HRESULT byClass = E_UNEXPECTED;
  std::u16string lateBoundInfo;
  std::u16string sent;
  std::u16string earlyBoundInfo;

  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
  const auto narrow = [](const std::u16string& text) { return Utf16ToUtf8(text); };
  *out << std::hex << "{by ProgID " << static_cast<unsigned long>(outcome.byProgId) << ", by class "
       << static_cast<unsigned long>(outcome.byClass) << ", late-bound info "
       << narrow(outcome.lateBoundInfo) << ", sent " << narrow(outcome.sent)
       << ", early-bound info " << narrow(outcome.earlyBoundInfo) << "}";
}

// getinfo through IDispatch, the way a script calls it.
std::u16string LateBoundGetInfo(IDispatch* object) {
  LPOLESTR name = const_cast<LPOLESTR>(L"getinfo");
  DISPID id = 0;
  if (FAILED(object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)))
    return u"GetIDsOfNames failed";
  const Arg user(u"tellavo"), password(u"s3cret"), vendor(u"42");
  VARIANTARG args[3];
  // Arguments go in reverse order.
  const BSTR values[3] = {vendor, password, user};
  for (int i = 0; i < 3; ++i) {
    VariantInit(&args[i]);
    args[i].vt = VT_BSTR;
    args[i].bstrVal = values[i];
  }
  DISPPARAMS params{args, nullptr, 3, 0};
  VARIANT result;
  VariantInit(&result);
  if (FAILED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                            nullptr, nullptr)) ||
      result.vt != VT_BSTR)
    return u"Invoke failed";
  return Take(result.bstrVal);
}

// The client of one apartment: with the context active on its thread it
// creates the object by ProgID (calling it late-bound) and by class (calling
// it early-bound).
Outcome UseGateway(const ActivationContext& context) {
  Outcome outcome;
  const ActiveScope active(context);
  if (!active.Active())
    return outcome;
  CLSID fromProgId;
  outcome.byProgId = CLSIDFromProgID(L"Tellavo.Gateway", &fromProgId);
  if (SUCCEEDED(outcome.byProgId)) {
    ComPtr<IDispatch> late;
    outcome.byProgId = CoCreateInstance(fromProgId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                        reinterpret_cast<void**>(late.Out()));
    if (SUCCEEDED(outcome.byProgId))
      outcome.lateBoundInfo = LateBoundGetInfo(late.Get());
  }
  ComPtr<IGateway> early;
  outcome.byClass = CoCreateInstance(CLSID_Gateway, nullptr, CLSCTX_INPROC_SERVER, IID_IGateway,
                                     reinterpret_cast<void**>(early.Out()));
  if (FAILED(outcome.byClass))
    return outcome;
  outcome.sent = SendOneMessage(*early.Get(), u"5550000001");
  outcome.earlyBoundInfo = Originators(*early.Get());
  return outcome;
}

Outcome UseGatewayOnThreadIn(COINIT apartment, const ActivationContext& context) {
  return OnThreadIn(apartment, [&] { return UseGateway(context); });
}

class RegFreeTest : public SimulatorTest {
protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    proxy_ = std::make_unique<ScopedProxyEnvironment>(Sim());
  }

private:
  std::unique_ptr<ScopedProxyEnvironment> proxy_;
};

// Also proves that this prefix has the class registered nowhere: every other
// expectation here would hold for a registered module too.
TEST_F(RegFreeTest, WithoutTheManifestTheClassIsNotRegistered) {
  CLSID classId;
  EXPECT_EQ(CLSIDFromProgID(L"Tellavo.Gateway", &classId), CO_E_CLASSSTRING);
  ComPtr<IDispatch> object;
  EXPECT_EQ(CoCreateInstance(CLSID_Gateway, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(object.Out())),
            REGDB_E_CLASSNOTREG);
}

TEST_F(RegFreeTest, ManifestServesClientsOfEveryApartment) {
  const CopiedFolder folder({TELLAVO_TEST_MODULE, TELLAVO_TEST_MANIFEST});
  const ActivationContext context(folder / kManifestName);
  ASSERT_NE(context.Get(), INVALID_HANDLE_VALUE) << "CreateActCtxW: error " << GetLastError();

  const Outcome expected{S_OK, S_OK, u"TELLAVO\nINFO\n", u"1000001", u"TELLAVO\nINFO\n"};
  EXPECT_EQ(UseGateway(context), expected);
  // A multithreaded client gets a proxy to an object in an apartment of its
  // own, marshalled with the type library that the manifest names.
  Sim().Reset();
  EXPECT_EQ(UseGatewayOnThreadIn(COINIT_MULTITHREADED, context), expected);
  Sim().Reset();
  EXPECT_EQ(UseGatewayOnThreadIn(COINIT_APARTMENTTHREADED, context), expected);
}

// tellavo.exe from a copied folder, with its standard output and error.
struct ClientRun {
  DWORD status = 0xFFFFFFFF;
  std::string out;
};

ClientRun RunClient(const fs::path& client, const std::wstring& arguments) {
  const fs::path output = client.parent_path() / "output.txt";
  ClientRun run;
  {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const KernelHandle file(CreateFileW(output.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
      return run;
    std::wstring line = L"\"" + client.wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = file.Get();
    startup.hStdError = file.Get();
    PROCESS_INFORMATION process{};
    if (CreateProcessW(client.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &process)) {
      const KernelHandle thread(process.hThread);
      const KernelHandle child(process.hProcess);
      WaitForSingleObject(child.Get(), INFINITE);
      GetExitCodeProcess(child.Get(), &run.status);
    }
  }
  std::ifstream in(output, std::ios::binary);
  run.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

TEST_F(RegFreeTest, CopiedClientFolderWorksWithoutRegistration) {
  const CopiedFolder folder({TELLAVO_TEST_CLIENT, TELLAVO_TEST_MODULE, TELLAVO_TEST_MANIFEST});
  const fs::path client = folder / "tellavo.exe";

  const ClientRun version = RunClient(client, L"--version --json");
  ASSERT_EQ(version.status, 0u) << version.out;
  const JsonValue about = JsonValue::parse(version.out);
  const JsonValue& module = about.at("module");
  EXPECT_EQ(module.at("activation"), "registration-free");
  EXPECT_EQ(module.at("manifest"), Utf16ToUtf8((folder / kManifestName).u16string()));
  EXPECT_EQ(module.at("path"), Utf16ToUtf8((folder / "Tellavo.dll").u16string()));
  EXPECT_EQ(module.at("signature"), "unsigned");

  const ClientRun sent = RunClient(client, L"send --user tellavo --password s3cret --vendor 42 "
                                           L"--originator TELLAVO --to 5550000001 --text hi");
  EXPECT_EQ(sent.status, 0u) << sent.out;
  EXPECT_EQ(Sim().Messages().size(), 1u);
}

// The script host of this program's bitness, copied as host.exe beside the
// module and its manifest, runs a script that creates the object: with the
// example application manifest beside it, which Windows reads when the
// program starts, a plain CreateObject finds the class; without it, not.
// Each run has a folder of its own: Windows caches what it found for a
// program's path.
std::string FirstLineOfScriptHost(bool withApplicationManifest) {
  const CopiedFolder folder({TELLAVO_TEST_MODULE, TELLAVO_TEST_MANIFEST});
  wchar_t system[MAX_PATH];
  if (GetSystemDirectoryW(system, MAX_PATH) == 0)
    return "GetSystemDirectoryW failed";
  folder.Add(fs::path(system) / "cscript.exe", "host.exe");
  if (withApplicationManifest)
    folder.Add(BuildFile(TELLAVO_TEST_APPLICATION_MANIFEST), "host.exe.manifest");
  folder.Write("send.js", "try {\n"
                          "  var gateway = new ActiveXObject('Tellavo.Gateway');\n"
                          "  WScript.Echo(gateway.getinfo('tellavo', 's3cret', '42'));\n"
                          "} catch (e) {\n"
                          "  WScript.Echo('error ' + (e.number >>> 0).toString(16));\n"
                          "}\n");
  const ClientRun run =
      RunClient(folder / "host.exe", L"//nologo \"" + (folder / "send.js").wstring() + L"\"");
  return run.out.substr(0, run.out.find_first_of("\r\n"));
}

TEST_F(RegFreeTest, ExampleApplicationManifestLetsAProgramCreateTheObject) {
  EXPECT_EQ(FirstLineOfScriptHost(false), "error 800a01ad");
  EXPECT_EQ(FirstLineOfScriptHost(true), "TELLAVO");
}

TEST_F(RegFreeTest, CopiedClientWithoutTheManifestSaysTheClassIsNotRegistered) {
  const CopiedFolder folder({TELLAVO_TEST_CLIENT, TELLAVO_TEST_MODULE});
  const ClientRun run = RunClient(folder / "tellavo.exe", L"call clearsmsbasket");
  EXPECT_EQ(run.status, 1u);
  EXPECT_NE(run.out.find("Tellavo.Gateway is not registered"), std::string::npos) << run.out;
}

} // namespace
} // namespace tellavo::test
