// A server with a Gateway factory whose objects are TTestGateway, for the
// tests of the server plumbing. The test program carries the Tellavo type
// library, so the server loads it from the program's own file.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Platform.h"
#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "common/Exceptions.h"
#include "gateway/Tellavo_TLB.h"
#include "server/ComObject.h"
#include "server/ComServer.h"
#include "server/ModulePath.h"
#include "server/ObjectFactory.h"

namespace tellavo::server::testing {

// getinfo raises what its username asks for: "oleerror" an EOleSysError with
// E_FAIL, "exception" an Exception, "foreign" a non-Exception; otherwise it
// answers the joined arguments. The other methods answer their name.
class TTestGateway : public TAutoObject<IGateway> {
public:
  using TAutoObject::TAutoObject;

  HRESULT STDMETHODCALLTYPE getinfo(BSTR username, BSTR password, BSTR vendor_id,
                                    BSTR* retvalue) override {
    return Answer(retvalue, [&]() -> std::u16string {
      const auto user = BstrView(username);
      if (user == u"oleerror")
        throw EOleSysError(u"M", E_FAIL);
      if (user == u"exception")
        throw Exception(u"M", 42);
      if (user == u"foreign")
        throw 7;
      return std::u16string(user) + u"|" + std::u16string(BstrView(password)) + u"|" +
             std::u16string(BstrView(vendor_id));
    });
  }
  HRESULT STDMETHODCALLTYPE addtosmsbasket(BSTR, BSTR, BSTR* retvalue) override {
    return Answer(retvalue, [] { return std::u16string(); });
  }
  HRESULT STDMETHODCALLTYPE clearsmsbasket() override {
    return SafeCall([] { ++cleared; });
  }
  HRESULT STDMETHODCALLTYPE getmsgstatus(BSTR, BSTR, BSTR, BSTR, BSTR* retvalue) override {
    return Answer(retvalue, [] { return std::u16string(u"getmsgstatus"); });
  }
  HRESULT STDMETHODCALLTYPE getmsgstatustodate(BSTR, BSTR, BSTR, BSTR, BSTR,
                                               BSTR* retvalue) override {
    return Answer(retvalue, [] { return std::u16string(u"getmsgstatustodate"); });
  }
  HRESULT STDMETHODCALLTYPE sendsms(BSTR, BSTR, BSTR, BSTR, BSTR, BSTR* retvalue) override {
    return Answer(retvalue, [] { return std::u16string(u"sendsms"); });
  }
  HRESULT STDMETHODCALLTYPE sendsmsconcat(BSTR, BSTR, BSTR, BSTR, BSTR, BSTR* retvalue) override {
    return Answer(retvalue, [] { return std::u16string(u"sendsmsconcat"); });
  }

  static inline int cleared = 0;

private:
  template <class Body> HRESULT Answer(BSTR* retvalue, Body body) {
    if (retvalue != nullptr)
      *retvalue = nullptr;
    return SafeCall([&] {
      BStr text(body());
      if (retvalue != nullptr)
        *retvalue = text.Detach();
    });
  }
};

inline std::u16string ProgramPath() {
  return ModulePath(nullptr, nullptr);
}

class ServerTest : public ::testing::Test {
protected:
  ServerTest()
      : server_(std::make_unique<TComServer>([this] { return modulePath_; })),
        factory_(TAutoObjectFactory::Create<TTestGateway>(*server_, u"TTestGateway", CLSID_Gateway,
                                                          Instancing::MultiInstance,
                                                          ThreadingModel::Apartment)) {}

  // A new object of the factory's class, asked for interface I.
  template <class I> ComPtr<I> Create(REFIID iid) {
    ComPtr<I> object;
    EXPECT_EQ(factory_.CreateInstance(nullptr, iid, reinterpret_cast<void**>(object.Out())), S_OK);
    return object;
  }

  std::u16string modulePath_ = ProgramPath();
  std::unique_ptr<TComServer> server_;
  TAutoObjectFactory& factory_;
};

} // namespace tellavo::server::testing
