// The typed face of a bound proxy: implements a port type's operations by
// forwarding each, with its position, to the proxy's generic invocation. Its
// reference count is the proxy's, so a port type reference keeps the whole
// proxy alive.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <utility>

#include "services/HTTPRIO.h"

namespace tellavo {

template <class PortType> class TPortTypeProxy : public TInvokableEntryPoints, public PortType {
public:
  explicit TPortTypeProxy(THTTPRIO& rio) : rio_(rio) {}

  // For TIntfMetaData::makeEntryPoints of the port types that the derived
  // class implements.
  template <class Derived> static std::unique_ptr<TInvokableEntryPoints> Make(THTTPRIO& rio) {
    return std::make_unique<Derived>(rio);
  }

  IInvokable* Interface() override { return this; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return rio_.QueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return rio_.AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return rio_.Release(); }

protected:
  std::u16string Call(int methodIndex, std::u16string arg) {
    std::array<std::u16string, 1> args{std::move(arg)};
    return rio_.Invoke(methodIndex, args);
  }

private:
  THTTPRIO& rio_;
};

} // namespace tellavo
