// Late-bound calls on the real Gateway object, made by the module's own
// class factory: names looked up or made up, DISPIDs known or not, any call
// flags, named arguments, and arguments of every VARIANT type by value and
// by reference. Whatever arrives, the object answers with an HRESULT and
// leaves nothing behind for the sanitizers to report.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Platform.h"
#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "common/Variant.h"
#include "gateway/Tellavo_TLB.h"
#include "server/Module.h"

using namespace tellavo;

namespace {

constexpr DISPID kPropertyPut = -3;

const std::array<const char16_t*, 18> kNames{u"addtosmsbasket",
                                             u"clearsmsbasket",
                                             u"sendsms",
                                             u"sendsmsconcat",
                                             u"getinfo",
                                             u"getmsgstatus",
                                             u"getmsgstatustodate",
                                             u"msg",
                                             u"gsm",
                                             u"username",
                                             u"password",
                                             u"originator",
                                             u"senddate",
                                             u"vendor_id",
                                             u"packet_id",
                                             u"date1",
                                             u"date2",
                                             u"retvalue"};

// The object's calls would otherwise reach for the network: every exchange
// goes to a proxy that refuses at once, so each ends quickly as "-1".
IGateway& Gateway() {
  static IGateway* gateway = [] {
    setenv("https_proxy", "http://127.0.0.1:1", 1);
    setenv("http_proxy", "http://127.0.0.1:1", 1);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    ComPtr<IClassFactory> factory;
    IGateway* made = nullptr;
    if (FAILED(server::ModuleGetClassObject(CLSID_Gateway, IID_IClassFactory,
                                            reinterpret_cast<void**>(factory.Out()))) ||
        FAILED(factory->CreateInstance(nullptr, IID_IGateway, reinterpret_cast<void**>(&made))))
      std::abort();
    return made;
  }();
  return *gateway;
}

std::u16string TakeName(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) {
    std::u16string name = kNames[input.ConsumeIntegralInRange<size_t>(0, kNames.size() - 1)];
    // Names are matched without regard to case.
    if (input.ConsumeBool())
      for (char16_t& c : name)
        if (c >= u'a' && c <= u'z' && input.ConsumeBool())
          c = static_cast<char16_t>(c - 0x20);
    return name;
  }
  const std::string bytes = input.ConsumeRandomLengthString(64);
  return std::u16string(bytes.begin(), bytes.end());
}

// Storage that by-reference arguments point into, and the strings made for
// the call, released when the call is over. The arguments themselves lie
// side by side, as the call takes them; by-reference ones own nothing.
struct Arguments {
  std::vector<VARIANT> values;
  std::vector<std::array<uint64_t, 2>> referenced;
  std::vector<BStr> referencedStrings;
  std::vector<OwnedVariant> referencedVariants;

  Arguments(size_t count)
      : values(count), referenced(count), referencedStrings(count), referencedVariants(count) {}
  ~Arguments() {
    for (VARIANT& value : values)
      if ((value.vt & VT_BYREF) == 0)
        VariantClear(&value);
  }
};

BSTR TakeString(FuzzedDataProvider& input) {
  const std::string bytes = input.ConsumeRandomLengthString(96);
  std::u16string text(bytes.size() / 2, u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// One argument of type `vt` (any value, with VT_BYREF or not): strings and
// interfaces hold what they claim, types without pointers hold random bits,
// and types this object never sees hold nothing.
void MakeArgument(FuzzedDataProvider& input, Arguments& arguments, size_t i) {
  VARIANT& value = arguments.values[i];
  VariantInit(&value);
  const VARTYPE vt = input.ConsumeBool() ? input.ConsumeIntegralInRange<VARTYPE>(0, 25)
                                         : input.ConsumeIntegral<VARTYPE>();
  const VARTYPE base = vt & ~VT_BYREF;
  value.vt = vt;
  if (vt & VT_BYREF) {
    void* target = arguments.referenced[i].data();
    if (base == VT_BSTR) {
      BSTR* text = arguments.referencedStrings[i].Out();
      *text = TakeString(input);
      target = text;
    } else if (base == VT_VARIANT) {
      VARIANT& inner = *arguments.referencedVariants[i].Out();
      if (input.ConsumeBool()) {
        inner.vt = VT_BSTR;
        inner.bstrVal = TakeString(input);
      } else {
        inner.vt = input.ConsumeIntegralInRange<VARTYPE>(2, 5);
        inner.dblVal = input.ConsumeFloatingPoint<double>();
      }
      target = &inner;
    } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
      arguments.referenced[i][0] = 0;
    } else {
      const auto bits = input.ConsumeBytes<uint8_t>(sizeof arguments.referenced[i]);
      if (!bits.empty())
        std::memcpy(arguments.referenced[i].data(), bits.data(), bits.size());
    }
    value.pvarVal = static_cast<VARIANT*>(target);
    return;
  }
  switch (base) {
  case VT_BSTR:
    value.bstrVal = input.ConsumeBool() ? TakeString(input) : nullptr;
    break;
  case VT_DISPATCH:
  case VT_UNKNOWN:
    // The object itself, as a client might pass it back.
    if (input.ConsumeBool()) {
      value.pdispVal = &Gateway();
      Gateway().AddRef();
    }
    break;
  case 2:
  case 3:
  case 4:
  case 5:
  case 6:
  case 7:
  case 10:
  case 11:
  case 16:
  case 17:
  case 18:
  case 19:
  case 20:
  case 21:
  case 22:
  case 23:
  case 25:
    value.dblVal = input.ConsumeFloatingPoint<double>();
    if (input.ConsumeBool())
      value.lVal = input.ConsumeIntegral<LONG>();
    break;
  default:
    break;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  IGateway& gateway = Gateway();
  gateway.clearsmsbasket();

  // The member and any named arguments, by name or by number.
  std::vector<DISPID> ids;
  if (input.ConsumeBool()) {
    std::vector<std::u16string> names(input.ConsumeIntegralInRange<size_t>(1, 4));
    std::vector<LPOLESTR> pointers;
    for (std::u16string& name : names) {
      name = TakeName(input);
      pointers.push_back(name.data());
    }
    ids.resize(names.size());
    gateway.GetIDsOfNames(IID_NULL, pointers.data(), static_cast<UINT>(pointers.size()),
                          LOCALE_USER_DEFAULT, ids.data());
  } else {
    ids.push_back(input.ConsumeBool() ? input.ConsumeIntegralInRange<DISPID>(200, 208)
                                      : input.ConsumeIntegral<DISPID>());
  }

  const size_t count = input.ConsumeIntegralInRange<size_t>(0, 8);
  Arguments arguments(count);
  for (size_t i = 0; i < count; ++i)
    MakeArgument(input, arguments, i);
  std::vector<DISPID> named;
  const size_t namedCount = input.ConsumeIntegralInRange<size_t>(0, count);
  for (size_t i = 0; i < namedCount; ++i) {
    const int pick = input.ConsumeIntegralInRange(0, 2);
    named.push_back(pick == 0 && i + 1 < ids.size() ? ids[i + 1]
                    : pick == 1                     ? kPropertyPut
                                                    : input.ConsumeIntegralInRange<DISPID>(-5, 12));
  }
  DISPPARAMS params{count ? arguments.values.data() : nullptr,
                    named.empty() ? nullptr : named.data(), static_cast<UINT>(count),
                    static_cast<UINT>(named.size())};
  const WORD flags = input.ConsumeBool() ? DISPATCH_METHOD : input.ConsumeIntegral<WORD>();
  const bool wantResult = input.ConsumeBool(), wantException = input.ConsumeBool();
  const bool wantArgErr = input.ConsumeBool(), otherIid = input.ConsumeBool();

  OwnedVariant result;
  EXCEPINFO exception{};
  UINT argErr = 0;
  gateway.Invoke(ids[0], otherIid ? IID_IGateway : IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                 wantResult ? result.Out() : nullptr, wantException ? &exception : nullptr,
                 wantArgErr ? &argErr : nullptr);
  // The strings of the exception information are the caller's.
  const BStr source = BStr::Attach(exception.bstrSource);
  const BStr description = BStr::Attach(exception.bstrDescription);
  const BStr helpFile = BStr::Attach(exception.bstrHelpFile);
  return 0;
}
