// Early-bound clients in every kind of apartment. The class is registered
// as apartment-threaded, so a client thread in the multithreaded apartment
// (a .NET console program, any worker thread) gets a proxy to an object that
// COM creates in an apartment of its own, and the automation marshaler
// builds that proxy from the registered type library. A worker thread that
// enters an apartment of its own gets the object itself. Each client sends a
// basket and queries through IGateway's function table and must get what a
// client on the program's main apartment gets.
#include <objbase.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "common/ComPtr.h"
#include "common/HandlesWin32.h"
#include "gateway/Tellavo_TLB.h"
#include "support/EarlyBoundClient.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"

namespace tellavo::test {
namespace {

constexpr std::u16string_view kNumber = u"5550000001";

// What one client got: the creation's result, then the message id of the
// send, the originators and the status of the sent message less the time it
// was reported at.
struct Outcome {
  HRESULT created = E_UNEXPECTED;
  std::u16string sent;
  std::u16string originators;
  std::u16string status;

  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
  const auto narrow = [](const std::u16string& text) {
    return std::string(text.begin(), text.end());
  };
  *out << "{created " << std::hex << static_cast<unsigned long>(outcome.created) << ", sent "
       << narrow(outcome.sent) << ", originators " << narrow(outcome.originators) << ", status "
       << narrow(outcome.status) << "}";
}

// Creates a Gateway object for IGateway in the calling thread's apartment
// and calls it through the function table.
Outcome SendAndQuery() {
  Outcome outcome;
  ComPtr<IGateway> gateway;
  outcome.created = CoCreateInstance(CLSID_Gateway, nullptr, CLSCTX_INPROC_SERVER, IID_IGateway,
                                     reinterpret_cast<void**>(gateway.Out()));
  if (FAILED(outcome.created))
    return outcome;
  outcome.sent = SendOneMessage(*gateway.Get(), kNumber);
  outcome.originators = Originators(*gateway.Get());
  BSTR value = nullptr;
  gateway->getmsgstatus(Arg(u"tellavo"), Arg(u"s3cret"), Arg(outcome.sent), Arg(u"42"), &value);
  outcome.status = Take(value);
  outcome.status.erase(std::min(outcome.status.rfind(u';'), outcome.status.size()));
  return outcome;
}

class ApartmentTest : public SimulatorTest {
protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    proxy_ = std::make_unique<ScopedProxyEnvironment>(Sim());
  }

  // What a client on the program's own single-threaded apartment gets.
  Outcome MainApartment() {
    Sim().Reset();
    const Outcome outcome = SendAndQuery();
    EXPECT_EQ(outcome.created, S_OK);
    EXPECT_EQ(outcome.sent, u"1000001");
    EXPECT_EQ(outcome.originators, u"TELLAVO\nINFO\n");
    EXPECT_EQ(outcome.status, std::u16string(kNumber) + u";DELIVERED");
    Sim().Reset();
    return outcome;
  }

private:
  std::unique_ptr<ScopedProxyEnvironment> proxy_;
};

TEST_F(ApartmentTest, MultithreadedClientCallsThroughTheProxy) {
  const Outcome expected = MainApartment();
  EXPECT_EQ(OnThreadIn(COINIT_MULTITHREADED, SendAndQuery), expected);
}

TEST_F(ApartmentTest, WorkerThreadInItsOwnApartmentCallsTheObject) {
  const Outcome expected = MainApartment();
  EXPECT_EQ(OnThreadIn(COINIT_APARTMENTTHREADED, SendAndQuery), expected);
}

// The object made on the main apartment, handed to a multithreaded client
// through the global interface table, as a host hands it to its workers.
TEST_F(ApartmentTest, ObjectOfAnotherApartmentIsCalledThroughItsProxy) {
  ComPtr<IGateway> gateway;
  ASSERT_EQ(CoCreateInstance(CLSID_Gateway, nullptr, CLSCTX_INPROC_SERVER, IID_IGateway,
                             reinterpret_cast<void**>(gateway.Out())),
            S_OK);
  ComPtr<IGlobalInterfaceTable> table;
  ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IGlobalInterfaceTable, reinterpret_cast<void**>(table.Out())),
            S_OK);
  DWORD cookie = 0;
  ASSERT_EQ(table->RegisterInterfaceInGlobal(gateway.Get(), IID_IGateway, &cookie), S_OK);

  HRESULT unmarshalled = E_UNEXPECTED;
  std::u16string originators;
  const KernelHandle finished(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(finished.Valid());
  std::thread client([&] {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
      return;
    {
      ComPtr<IGateway> proxy;
      unmarshalled = table->GetInterfaceFromGlobal(cookie, IID_IGateway,
                                                   reinterpret_cast<void**>(proxy.Out()));
      if (SUCCEEDED(unmarshalled))
        originators = Originators(*proxy.Get());
    }
    CoUninitialize();
    SetEvent(finished.Get());
  });
  // The call is served on this apartment, whose thread takes the incoming
  // call while it waits for the client.
  DWORD index = 0;
  HANDLE handles[] = {finished.Get()};
  CoWaitForMultipleHandles(0, INFINITE, 1, handles, &index);
  client.join();
  table->RevokeInterfaceFromGlobal(cookie);
  EXPECT_EQ(unmarshalled, S_OK);
  EXPECT_EQ(originators, u"TELLAVO\nINFO\n");
}

} // namespace
} // namespace tellavo::test
