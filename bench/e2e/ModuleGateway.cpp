#include "ModuleGateway.h"

#include <stdexcept>

#include "common/ComPtr.h"

namespace tellavo::bench {

IGateway& ModuleGateway() {
  static ComPtr<IGateway> gateway = [] {
    HMODULE module = LoadLibraryW(TELLAVO_MODULE_PATH_U);
    using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    ComPtr<IGateway> object;
    if (getClassObject == nullptr ||
        FAILED(getClassObject(CLSID_Gateway, IID_IClassFactory,
                              reinterpret_cast<void**>(factory.Out()))) ||
        FAILED(
            factory->CreateInstance(nullptr, IID_IGateway, reinterpret_cast<void**>(object.Out()))))
      throw std::runtime_error("cannot create a Gateway object");
    return object;
  }();
  return *gateway.Get();
}

} // namespace tellavo::bench
