// The Gateway object as any early-bound client makes it: CoCreateInstance of
// the registered class, asked for IGateway, on the test program's apartment.
#include <stdexcept>
#include <string>

#include "GatewayModule.h"

namespace tellavo::test {
namespace {

// Kept until the process ends, as a client that keeps its object would.
class RegisteredGateway {
public:
  RegisteredGateway() {
    const HRESULT hr = CoCreateInstance(CLSID_Gateway, nullptr, CLSCTX_INPROC_SERVER, IID_IGateway,
                                        reinterpret_cast<void**>(gateway_.Out()));
    if (FAILED(hr))
      throw std::runtime_error("cannot create Tellavo.Gateway (is the module registered?), "
                               "HRESULT " +
                               std::to_string(static_cast<unsigned long>(hr)));
  }

  IGateway& Gateway() { return *gateway_.Get(); }

private:
  ComPtr<IGateway> gateway_;
};

} // namespace

void WithOwnGateway(const std::function<void(IGateway&)>& body) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
    throw std::runtime_error("cannot join an apartment");
  {
    RegisteredGateway gateway;
    body(gateway.Gateway());
  }
  CoUninitialize();
}

IGateway& Gateway() {
  static RegisteredGateway gateway;
  return gateway.Gateway();
}

} // namespace tellavo::test
