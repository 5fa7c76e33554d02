#include "server/Module.h"

#include <atomic>
#include <memory>

#include "common/ErrorConversion.h"
#include "common/Exceptions.h"
#include "common/LoadedLibrary.h"
#include "common/SameText.h"
#include "common/WideText.h"
#include "server/ClassManager.h"
#include "server/ComServer.h"
#include "server/EntryPoints.h"
#include "server/ModulePath.h"
#include "server/ModuleUnits.h"
#include "server/ProcAddress.h"
#include "server/SystemRegistry.h"

namespace tellavo::server {

namespace {

// This module, found from the address of one of its functions.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

LoadedLibrary LoadOleAut() {
  // A missing library must not bring up a dialog in the host.
  const UINT previousMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
  LoadedLibrary library(LoadLibraryW(Wide(u"OLEAUT32.DLL")));
  SetErrorMode(previousMode);
  return library;
}

// The server while the module is loaded; the units' start-up reaches it
// here, while the module object is still being made.
TComServer* moduleServer = nullptr;

std::atomic<bool> processEnding{false};

class Module {
public:
  Module() {
    ComClassManager(); // made first, so that it outlives every factory
    oleAut_ = LoadOleAut();
    server_ = std::make_unique<TComServer>([this] { return ModulePath(ThisModule(), longPath_); });
    moduleServer = server_.get();
    longPath_ =
        ProcAddress<LongPathNameFunction>(GetModuleHandleW(Wide(u"KERNEL32")), "GetLongPathNameW");
    // A start-up that fails leaves a module without classes: the host's
    // requests for a class object find none, and registration answers the
    // start-up's failure.
    startFailure_ = AnswerOf(Boundary::Registration, [] { InitializeModuleUnits(); });
  }

  ~Module() {
    // Objects that outlive the module must not reach its server any more.
    SetUninitializing(true);
    moduleServer = nullptr;
    // While the process ends, the type library, the factories' type
    // information and OLE Automation are left as they are: the libraries
    // that would release them may be gone already.
    if (processEnding.load()) {
      server_->Abandon();
      static_cast<void>(oleAut_.Release());
    }
    server_.reset();
    oleAut_.reset();
  }

  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  bool Started() const { return SUCCEEDED(startFailure_); }
  HRESULT StartFailure() const { return startFailure_; }
  TComServer& Server() const { return *server_; }
  HMODULE OleAut() const { return oleAut_.Get(); }

private:
  LoadedLibrary oleAut_;
  std::unique_ptr<TComServer> server_;
  LongPathNameFunction longPath_ = nullptr;
  HRESULT startFailure_ = E_FAIL;
};

// The module object, made on first use (thread-safely) and destroyed when
// the module unloads.
Module& TheModule() {
  static Module module;
  return module;
}

} // namespace

void NoteProcessEnding() {
  processEnding.store(true);
}

TComServer& ComServer() {
  if (moduleServer == nullptr)
    throw Exception(u"The server is not started");
  return *moduleServer;
}

HRESULT ModuleGetClassObject(REFCLSID classId, REFIID iid, void** object) {
  if (!TheModule().Started()) {
    if (object != nullptr)
      *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return GetClassObject(classId, iid, object);
}

HRESULT ModuleCanUnloadNow() {
  return CanUnloadNow(&TheModule().Server());
}

namespace {

HRESULT UpdateRegistryOf(RegistryScope scope, bool registering) {
  Module& module = TheModule();
  if (!module.Started())
    return module.StartFailure();
  SystemRegistry registry(module.OleAut(), scope);
  return RunRegistration(module.Server(), registry, registering);
}

} // namespace

HRESULT ModuleUpdateRegistry(bool registering) {
  return UpdateRegistryOf(RegistryScope::Machine, registering);
}

HRESULT ModuleInstall(bool installing, LPCWSTR commandLine) {
  constexpr char16_t kPerUser[] = u"user";
  if (commandLine == nullptr || !SameText(FromWide(commandLine), kPerUser))
    return E_INVALIDARG;
  return UpdateRegistryOf(RegistryScope::User, installing);
}

} // namespace tellavo::server
