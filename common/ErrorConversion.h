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

// The places where an exception stops on its way out to a caller that
// knows only HRESULTs. They differ in what they answer:
enum class Boundary {
  // An IGateway method's guard: the failing code that an EOleSysError
  // carries, else E_UNEXPECTED, for memory exhaustion too: automation
  // callers have always seen E_UNEXPECTED for anything but a system error.
  Method,
  // Object creation by the class factory: E_UNEXPECTED for any failure,
  // an EOleSysError's code included; the creator learns only that there is
  // no object.
  Creation,
  // Registration and unregistration: the failing code that stopped the
  // pass (the registry's own, for a refused write), else E_FAIL.
  Registration,
};

// The one conversion of a caught exception into an HRESULT: what `boundary`
// answers for `exception`, which is null for a thrown object that is not
// an Exception.
HRESULT BoundaryCode(Boundary boundary, const Exception* exception);

// Runs `body` and answers S_OK, or what `boundary` answers for the
// exception that left it.
template <class Body> HRESULT AnswerOf(Boundary boundary, Body&& body) {
  try {
    body();
    return S_OK;
  } catch (const Exception& exception) {
    return BoundaryCode(boundary, &exception);
  } catch (...) {
    return BoundaryCode(boundary, nullptr);
  }
}

// Error conversion of one exception at a guard: the thread's error object,
// and what `boundary` answers; `exception` is null for a thrown object that
// is not an Exception (then only the GUID and source are set).
HRESULT ConvertException(const ErrorSource& source, const Exception* exception,
                         Boundary boundary = Boundary::Method);

// Runs `body` and answers S_OK, or what `boundary` answers for the exception
// that left it, with its text in the thread's error object.
template <class Body>
HRESULT Guard(const ErrorSource& source, Body&& body, Boundary boundary = Boundary::Method) {
  try {
    body();
    return S_OK;
  } catch (const Exception& exception) {
    return ConvertException(source, &exception, boundary);
  } catch (const std::exception&) {
    return ConvertException(source, nullptr, boundary);
  } catch (...) {
    // Not an exception object of ours or the library's: no error object.
    return BoundaryCode(boundary, nullptr);
  }
}

// Checks a platform result: a negative HRESULT raises EOleSysError.
void OleCheck(HRESULT result);

// Failed-call conversion: a negative HRESULT raises EOleException with the
// texts of the thread's current error object.
void CheckSafeCall(HRESULT result);

} // namespace tellavo
