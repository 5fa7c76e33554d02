// Eight threads share the process-wide basket: each makes Gateway objects
// from the module's class factory, queues its own messages, queries the
// simulator and releases the objects again. Every message must then reach
// the gateway exactly once, and sends running side by side must each carry
// the whole basket. Bounded both in count and in time.
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "GatewayModule.h"
#include "common/Bstr.h"
#include "common/Utf.h"

namespace tellavo::test {
namespace {

constexpr int kThreads = 8;
constexpr int kMessagesPerThread = 100;
constexpr auto kTimeBudget = std::chrono::seconds(90);

using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);

ComPtr<IClassFactory> Factory() {
  const HMODULE module = LoadLibraryW(TELLAVO_MODULE_PATH_U);
  EXPECT_NE(module, nullptr);
  const auto getClassObject = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(
      getClassObject(CLSID_Gateway, IID_IClassFactory, reinterpret_cast<void**>(factory.Out())),
      S_OK);
  return factory;
}

ComPtr<IGateway> NewGateway(IClassFactory& factory) {
  ComPtr<IGateway> gateway;
  EXPECT_EQ(factory.CreateInstance(nullptr, IID_IGateway, reinterpret_cast<void**>(gateway.Out())),
            S_OK);
  return gateway;
}

// Message i of thread t: short texts for even i, long ones (over 160 units)
// for odd i, each naming its thread and number.
std::u16string Text(int t, int i) {
  const std::u16string tag =
      u"t" + Utf8ToUtf16(std::to_string(t)) + u"-" + Utf8ToUtf16(std::to_string(i));
  return i % 2 == 0 ? tag : tag + std::u16string(200, u'x');
}
std::u16string Number(int t, int i) {
  return Utf8ToUtf16(std::to_string(5550000000 + t * 1000 + i));
}

// How many times each text arrived, over the simulator's recorded messages
// of one operation.
std::map<std::string, int> Arrived(const std::string& operation) {
  std::map<std::string, int> counts;
  const JsonValue messages = SharedSimulator().Messages();
  for (const JsonValue& message : messages)
    if (message.at("operation").get<std::string>() == operation)
      for (const JsonValue& recipient : message.at("recipients"))
        ++counts[recipient.at("text").get<std::string>()];
  return counts;
}

using StressTest = GatewayTest;

TEST_F(StressTest, ThreadsSharingTheBasketLoseAndDoubleNoMessage) {
  const ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  const auto deadline = std::chrono::steady_clock::now() + kTimeBudget;
  std::vector<int> queued(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kMessagesPerThread && std::chrono::steady_clock::now() < deadline; ++i) {
        const ComPtr<IGateway> gateway = NewGateway(*factory.Get());
        if (!gateway)
          return;
        BStr retvalue;
        EXPECT_EQ(gateway->addtosmsbasket(Arg(Text(t, i)), Arg(Number(t, i)), retvalue.Out()),
                  S_OK);
        ++queued[t];
        if (i % 10 == 0) {
          EXPECT_EQ(gateway->getinfo(Arg(kUser), Arg(kPassword), Arg(kVendor), retvalue.Out()),
                    S_OK);
          EXPECT_NE(retvalue.Text(), u"-1");
        }
      }
    });
  for (std::thread& thread : threads)
    thread.join();

  EXPECT_NE(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-1");
  EXPECT_NE(SendSmsConcat(kUser, kPassword, u"TELLAVO").retvalue, u"-1");
  std::map<std::string, int> expectedShort, expectedLong;
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < queued[t]; ++i)
      ++(i % 2 == 0 ? expectedShort : expectedLong)[Utf16ToUtf8(Text(t, i))];
  EXPECT_EQ(Arrived("SENDSMS"), expectedShort);
  EXPECT_EQ(Arrived("SENDCONCAT"), expectedLong);
}

TEST_F(StressTest, SendsSideBySideEachCarryTheWholeBasket) {
  const ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  for (int i = 0; i < 2 * kThreads; ++i)
    Queue(Text(0, 2 * i), Number(0, i));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      const ComPtr<IGateway> gateway = NewGateway(*factory.Get());
      if (!gateway)
        return;
      BStr retvalue;
      EXPECT_EQ(gateway->sendsms(Arg(kUser), Arg(kPassword), Arg(u"TELLAVO"), Arg(u""),
                                 Arg(kVendor), retvalue.Out()),
                S_OK);
      EXPECT_NE(retvalue.Text(), u"-1");
    });
  for (std::thread& thread : threads)
    thread.join();

  const JsonValue messages = Sim().Messages();
  ASSERT_EQ(messages.size(), static_cast<size_t>(kThreads));
  for (const JsonValue& message : messages) {
    const auto& recipients = message.at("recipients");
    ASSERT_EQ(recipients.size(), static_cast<size_t>(2 * kThreads));
    for (int i = 0; i < 2 * kThreads; ++i)
      EXPECT_EQ(recipients[i].at("text"), Utf16ToUtf8(Text(0, 2 * i)));
  }
}

} // namespace
} // namespace tellavo::test
