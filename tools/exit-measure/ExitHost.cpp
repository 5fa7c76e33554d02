// A short-lived COM client: it creates one object, makes a few late-bound
// calls and ends, as a script host or a small program does. Started
// hundreds of times by measure.sh to count the processes that crash while
// they end.
//
//   ExitHost gateway|dictionary|pooltimer [release|keep]
//
// gateway: Tellavo.Gateway; one message into the basket, one getinfo that is
// refused before it is sent (a password XML cannot carry) and one that fails
// on the network (the settings point the gateway at a closed port).
// dictionary: Scripting.Dictionary, a system object, for the baseline.
// pooltimer: the same, after setting and cancelling a timer of the process's
// thread pool, as each exchange's deadline does: the pool's threads are then
// alive when the process ends.
// release (the default): the object is released and COM uninitialised
// before the end; keep: the process ends with the object still held.
// Exit status: 0 when every call succeeded, 2 when the object could not be
// made, 3 when a call failed.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <string>

namespace {

// One late-bound call with string arguments; the result is dropped.
HRESULT Call(IDispatch* object, const wchar_t* name, std::initializer_list<std::wstring> args) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr))
    return hr;
  VARIANT values[4];
  UINT count = 0;
  // DISPPARAMS holds the arguments last first.
  for (auto arg = std::rbegin(args); arg != std::rend(args) && count < 4; ++arg, ++count) {
    VariantInit(&values[count]);
    values[count].vt = VT_BSTR;
    values[count].bstrVal = SysAllocStringLen(arg->data(), static_cast<UINT>(arg->size()));
  }
  DISPPARAMS params{values, nullptr, count, 0};
  VARIANT result;
  VariantInit(&result);
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                      nullptr);
  VariantClear(&result);
  for (UINT index = 0; index < count; ++index)
    VariantClear(&values[index]);
  return hr;
}

HRESULT UseGateway(IDispatch* gateway) {
  const std::wstring refusedPassword(L"s3\0cret", 7);
  for (HRESULT hr : {Call(gateway, L"addtosmsbasket", {L"Merhaba", L"5550000001"}),
                     Call(gateway, L"getinfo", {L"tellavo", refusedPassword, L"42"}),
                     Call(gateway, L"getinfo", {L"tellavo", L"s3cret", L"42"})})
    if (FAILED(hr))
      return hr;
  return S_OK;
}

HRESULT UseDictionary(IDispatch* dictionary) {
  for (HRESULT hr : {Call(dictionary, L"Add", {L"5550000001", L"Merhaba"}),
                     Call(dictionary, L"Exists", {L"5550000001"})})
    if (FAILED(hr))
      return hr;
  return S_OK;
}

void CALLBACK NoOp(PTP_CALLBACK_INSTANCE, PVOID, PTP_TIMER) {}

void UsePoolTimer() {
  PTP_TIMER timer = CreateThreadpoolTimer(&NoOp, nullptr, nullptr);
  if (timer == nullptr)
    return;
  FILETIME due{};
  ULARGE_INTEGER later{};
  later.QuadPart = static_cast<ULONGLONG>(-600000LL * 10000);
  due.dwLowDateTime = later.LowPart;
  due.dwHighDateTime = later.HighPart;
  SetThreadpoolTimer(timer, &due, 0, 0);
  SetThreadpoolTimer(timer, nullptr, 0, 0);
  WaitForThreadpoolTimerCallbacks(timer, TRUE);
  CloseThreadpoolTimer(timer);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
  const bool gateway = argc > 1 && std::wcscmp(argv[1], L"gateway") == 0;
  const bool keep = argc > 2 && std::wcscmp(argv[2], L"keep") == 0;
  if (argc > 1 && std::wcscmp(argv[1], L"pooltimer") == 0)
    UsePoolTimer();
  CoInitialize(nullptr);
  CLSID classId{};
  IDispatch* object = nullptr;
  HRESULT hr = CLSIDFromProgID(gateway ? L"Tellavo.Gateway" : L"Scripting.Dictionary", &classId);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&object));
  if (FAILED(hr)) {
    std::fprintf(stderr, "cannot create the object: 0x%08lX\n", static_cast<unsigned long>(hr));
    return 2;
  }
  hr = gateway ? UseGateway(object) : UseDictionary(object);
  if (FAILED(hr))
    std::fprintf(stderr, "call failed: 0x%08lX\n", static_cast<unsigned long>(hr));
  if (!keep) {
    object->Release();
    CoUninitialize();
  }
  return FAILED(hr) ? 3 : 0;
}
