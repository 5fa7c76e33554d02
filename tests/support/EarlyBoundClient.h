// A client that calls the module early-bound, as compiled hosts do, from a
// thread in an apartment of its own choosing.
#pragma once

#include <objbase.h>

#include <string>
#include <string_view>
#include <thread>

#include "gateway/Tellavo_TLB.h"
#include "support/BstrArg.h"

namespace tellavo::test {

// Runs `body` on a new thread that enters an apartment of the given kind and
// leaves it afterwards; answers what `body` answered, or a default value when
// the thread cannot enter the apartment.
template <class Body> auto OnThreadIn(COINIT apartment, Body body) {
  decltype(body()) outcome{};
  std::thread client([&] {
    if (FAILED(CoInitializeEx(nullptr, apartment)))
      return;
    outcome = body();
    CoUninitialize();
  });
  client.join();
  return outcome;
}

// Sends one message to `number` with the simulator's default account, the
// basket cleared first: the message id.
inline std::u16string SendOneMessage(IGateway& gateway, std::u16string_view number) {
  BSTR value = nullptr;
  gateway.clearsmsbasket();
  gateway.addtosmsbasket(Arg(u"Merhaba"), Arg(number), &value);
  Take(value);
  value = nullptr;
  gateway.sendsms(Arg(u"tellavo"), Arg(u"s3cret"), Arg(u"TELLAVO"), Arg(u""), Arg(u"42"), &value);
  return Take(value);
}

// The originators of the simulator's default account.
inline std::u16string Originators(IGateway& gateway) {
  BSTR value = nullptr;
  gateway.getinfo(Arg(u"tellavo"), Arg(u"s3cret"), Arg(u"42"), &value);
  return Take(value);
}

} // namespace tellavo::test
