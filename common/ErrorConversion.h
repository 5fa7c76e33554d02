// The two conversions between failures and HRESULTs. Every method that COM
// calls runs its body through Guard, which turns an escaping exception into
// an HRESULT and the thread's error object; every call on another COM object
// whose failure is an outcome goes through CheckSafeCall, which turns a
// failing HRESULT into an EOleException.
#pragma once

#include <exception>
#include <string>

#include "Platform.h"
#include "common/Exceptions.h"

namespace tellavo {

// What an error object carries besides the exception's own texts.
struct ErrorSource {
  GUID errorInterface;     // the interface whose method failed
  std::u16string progId;   // becomes the source when not empty
  std::u16string helpFile; // becomes the help file when not empty
};

// The HRESULT that an exception stands for: the failing code that an
// EOleSysError carries, else `otherwise`.
HRESULT ErrorCodeOf(const Exception& exception, HRESULT otherwise);

// Error conversion of one exception; `exception` is null for a thrown object
// that is not an Exception (then only the GUID and source are set).
HRESULT ConvertException(const ErrorSource& source, const Exception* exception);

template <class Body> HRESULT Guard(const ErrorSource& source, Body&& body) {
  try {
    body();
    return S_OK;
  } catch (const Exception& exception) {
    return ConvertException(source, &exception);
  } catch (const std::exception&) {
    return ConvertException(source, nullptr);
  } catch (...) {
    // Not an exception object of ours or the library's: no error object.
    return E_UNEXPECTED;
  }
}

// Checks a platform result: a negative HRESULT raises EOleSysError.
void OleCheck(HRESULT result);

// Failed-call conversion: a negative HRESULT raises EOleException with the
// texts of the thread's current error object.
void CheckSafeCall(HRESULT result);

} // namespace tellavo
