// The Gateway object from the module loaded by path, through its exported
// class factory.
#include <stdexcept>

#include "GatewayModule.h"

namespace tellavo::test {
namespace {

using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);

// Loaded once per test binary and kept until the process ends, as a client
// that keeps its object would.
class LoadedModule {
public:
  LoadedModule() {
    module_ = LoadLibraryW(TELLAVO_MODULE_PATH_U);
    if (module_ == nullptr)
      throw std::runtime_error("cannot load " TELLAVO_MODULE_PATH);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, "DllGetClassObject")));
    if (getClassObject == nullptr)
      throw std::runtime_error("DllGetClassObject is not exported");
    if (FAILED(getClassObject(CLSID_Gateway, IID_IClassFactory,
                              reinterpret_cast<void**>(factory_.Out()))))
      throw std::runtime_error("no class factory for Gateway");
    if (FAILED(factory_->CreateInstance(nullptr, IID_IGateway,
                                        reinterpret_cast<void**>(gateway_.Out()))))
      throw std::runtime_error("cannot create a Gateway object");
  }

  IGateway& Gateway() { return *gateway_.Get(); }
  IClassFactory& Factory() { return *factory_.Get(); }

private:
  HMODULE module_ = nullptr;
  ComPtr<IClassFactory> factory_;
  ComPtr<IGateway> gateway_;
};

LoadedModule& Module() {
  static LoadedModule module;
  return module;
}

} // namespace

IGateway& Gateway() {
  return Module().Gateway();
}

void WithOwnGateway(const std::function<void(IGateway&)>& body) {
  ComPtr<IGateway> gateway;
  if (FAILED(Module().Factory().CreateInstance(nullptr, IID_IGateway,
                                               reinterpret_cast<void**>(gateway.Out()))))
    throw std::runtime_error("cannot create a Gateway object");
  body(*gateway.Get());
}

} // namespace tellavo::test
