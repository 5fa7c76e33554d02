// The exception classes of Tellavo. A failure inside the system is one of
// these, with a message; the class name is part of what gets logged, so every
// class reports its name exactly as spelled here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Platform.h"

namespace tellavo {

class Exception {
public:
  explicit Exception(std::u16string message, int32_t helpContext = 0)
      : message_(std::move(message)), helpContext_(helpContext) {}
  virtual ~Exception() = default;

  virtual std::u16string_view ClassName() const { return u"Exception"; }
  const std::u16string& Message() const { return message_; }
  int32_t HelpContext() const { return helpContext_; }

  // The class name, one blank and the message: the text of an event-log entry.
  std::u16string ReportText() const;

  // Whether the exchange that failed had written its whole request: the
  // gateway may then have received and acted on it, and a request that
  // changes something must not be sent again blindly. Set by the transport.
  bool RequestWritten() const { return requestWritten_; }
  void SetRequestWritten() { requestWritten_ = true; }

protected:
  void SetMessage(std::u16string message) { message_ = std::move(message); }

private:
  std::u16string message_;
  int32_t helpContext_;
  bool requestWritten_ = false;
};

// A class name as a template argument, so that each exception class below is
// one line that names itself.
template <size_t N> struct ClassNameText {
  constexpr ClassNameText(const char16_t (&text)[N]) {
    for (size_t i = 0; i < N; ++i)
      value[i] = text[i];
  }
  char16_t value[N];
};

template <class Base, ClassNameText Name> class Named : public Base {
public:
  using Base::Base;
  std::u16string_view ClassName() const override { return Name.value; }
};

class EAbort : public Named<Exception, u"EAbort"> {
public:
  EAbort() : Named(u"Operation aborted") {}
};

class EListError : public Named<Exception, u"EListError"> {
  using Named::Named;
};

class EIntfCastError : public Named<Exception, u"EIntfCastError"> {
  using Named::Named;
};

class ESOAPDomConvertError : public Named<Exception, u"ESOAPDomConvertError"> {
  using Named::Named;
};

class EXMLDocError : public Named<Exception, u"EXMLDocError"> {
  using Named::Named;
};

class EDOMParseError : public Named<Exception, u"EDOMParseError"> {
  using Named::Named;
};

class ESOAPHTTPException : public Named<Exception, u"ESOAPHTTPException"> {
public:
  explicit ESOAPHTTPException(std::u16string message, int32_t statusCode = 0)
      : Named(std::move(message)), statusCode_(statusCode) {}
  int32_t StatusCode() const { return statusCode_; }

private:
  int32_t statusCode_;
};

class ERemotableException : public Named<Exception, u"ERemotableException"> {
public:
  explicit ERemotableException(std::u16string message, std::u16string faultCode = {},
                               std::u16string faultActor = {})
      : Named(std::move(message)), faultCode_(std::move(faultCode)),
        faultActor_(std::move(faultActor)) {}

  const std::u16string& FaultCode() const { return faultCode_; }
  const std::u16string& FaultActor() const { return faultActor_; }
  const std::u16string& FaultDetail() const { return faultDetail_; }
  void SetFaultCode(std::u16string code) { faultCode_ = std::move(code); }
  void SetFaultActor(std::u16string actor) { faultActor_ = std::move(actor); }
  void SetFaultDetail(std::u16string detail) { faultDetail_ = std::move(detail); }

private:
  std::u16string faultCode_;
  std::u16string faultActor_;
  std::u16string faultDetail_;
};

class EOleError : public Named<Exception, u"EOleError"> {
  using Named::Named;
};

// Carries an HRESULT. Made with an empty message, it takes the system's text
// for the HRESULT, or "OLE error XXXXXXXX" when the system has none.
class EOleSysError : public Named<EOleError, u"EOleSysError"> {
public:
  EOleSysError(std::u16string message, HRESULT errorCode, int32_t helpContext = 0);
  HRESULT ErrorCode() const { return errorCode_; }

private:
  HRESULT errorCode_;
};

class EOleException : public Named<EOleSysError, u"EOleException"> {
public:
  EOleException(std::u16string message, HRESULT errorCode, std::u16string source,
                std::u16string helpFile, int32_t helpContext)
      : Named(std::move(message), errorCode, helpContext), source_(std::move(source)),
        helpFile_(std::move(helpFile)) {}
  const std::u16string& Source() const { return source_; }
  const std::u16string& HelpFile() const { return helpFile_; }

private:
  std::u16string source_;
  std::u16string helpFile_;
};

class EOleRegistrationError : public Named<EOleSysError, u"EOleRegistrationError"> {
  using Named::Named;
};

// The text of `code` in the message table of `module` (null: the system's
// only), as the table holds it; empty when there is none.
std::u16string MessageTableText(DWORD code, HMODULE module);

// The system's message text for an HRESULT, trimmed of trailing blanks,
// control characters and full stops; empty when the system has none.
std::u16string SystemMessageText(HRESULT code);

} // namespace tellavo
