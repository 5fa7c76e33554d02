#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "common/ErrorConversion.h"
#include "common/WideText.h"
#include "support/Wine.h"

using namespace tellavo;

namespace {

const GUID kInterface{0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
const ErrorSource kSource{kInterface, u"Tellavo.Gateway", u""};

struct ErrorObjectTexts {
  bool present = false;
  GUID guid{};
  std::u16string source, description;
  DWORD helpContext = 0;
};

ErrorObjectTexts TakeErrorObject() {
  ErrorObjectTexts texts;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Out()) != S_OK)
    return texts;
  texts.present = true;
  info->GetGUID(&texts.guid);
  BStr text;
  info->GetSource(text.Out());
  texts.source = text.Text();
  info->GetDescription(text.Out());
  texts.description = text.Text();
  info->GetHelpContext(&texts.helpContext);
  return texts;
}

} // namespace

TEST(ErrorConversion, ExceptionBecomesUnexpectedWithErrorObject) {
  EXPECT_EQ(Guard(kSource, [] { throw Exception(u"M", 7); }), E_UNEXPECTED);
  const auto texts = TakeErrorObject();
  ASSERT_TRUE(texts.present);
  EXPECT_EQ(texts.guid, kInterface);
  EXPECT_EQ(texts.source, u"Tellavo.Gateway");
  EXPECT_EQ(texts.description, u"M");
  EXPECT_EQ(texts.helpContext, 7u);
}

TEST(ErrorConversion, OleSysErrorKeepsItsNegativeHresult) {
  EXPECT_EQ(Guard(kSource, [] { throw EOleSysError(u"M", E_FAIL); }), E_FAIL);
  EXPECT_EQ(TakeErrorObject().description, u"M");
  EXPECT_EQ(Guard(kSource, [] { throw EOleException(u"M", S_FALSE, u"", u"", 0); }), E_UNEXPECTED);
  TakeErrorObject();
}

TEST(ErrorConversion, ForeignExceptionsGetSourceOnlyOrNothing) {
  EXPECT_EQ(Guard(kSource, [] { throw std::runtime_error("x"); }), E_UNEXPECTED);
  const auto texts = TakeErrorObject();
  ASSERT_TRUE(texts.present);
  EXPECT_EQ(texts.source, u"Tellavo.Gateway");
  EXPECT_TRUE(texts.description.empty());

  EXPECT_EQ(Guard(kSource, [] { throw 42; }), E_UNEXPECTED);
  EXPECT_FALSE(TakeErrorObject().present);
  EXPECT_EQ(Guard(kSource, [] {}), S_OK);
}

// Each boundary's own answer: creation never passes a system error's code
// on, registration falls back to E_FAIL, and memory exhaustion is no system
// error anywhere.
TEST(ErrorConversion, EachBoundaryAnswersItsOwnCodes) {
  const auto sysError = [] { throw EOleSysError(u"M", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)); };
  const auto plain = [] { throw Exception(u"M"); };
  const auto noMemory = [] { throw std::bad_alloc(); };
  EXPECT_EQ(AnswerOf(Boundary::Method, sysError), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_EQ(AnswerOf(Boundary::Method, noMemory), E_UNEXPECTED);
  EXPECT_EQ(AnswerOf(Boundary::Creation, sysError), E_UNEXPECTED);
  EXPECT_EQ(AnswerOf(Boundary::Creation, plain), E_UNEXPECTED);
  EXPECT_EQ(AnswerOf(Boundary::Registration, sysError), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_EQ(AnswerOf(Boundary::Registration, plain), E_FAIL);
  EXPECT_EQ(AnswerOf(Boundary::Registration, noMemory), E_FAIL);
  EXPECT_EQ(AnswerOf(Boundary::Registration, [] {}), S_OK);
  EXPECT_FALSE(TakeErrorObject().present);
}

TEST(ErrorConversion, FailedCallTakesTheCurrentErrorObject) {
  ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.Out()), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(Wide(u"Parser gave up. ")));
  create->SetSource(const_cast<LPOLESTR>(Wide(u"DOM")));
  create->SetHelpContext(3);
  SetErrorInfo(0, create.Query<IErrorInfo>(IID_IErrorInfo).Get());
  try {
    CheckSafeCall(E_FAIL);
    FAIL() << "no exception";
  } catch (const EOleException& e) {
    EXPECT_EQ(e.Message(), u"Parser gave up");
    EXPECT_EQ(e.ErrorCode(), E_FAIL);
    EXPECT_EQ(e.Source(), u"DOM");
    EXPECT_EQ(e.HelpContext(), 3);
    EXPECT_EQ(e.ClassName(), u"EOleException");
  }
  EXPECT_FALSE(TakeErrorObject().present) << "the error object is taken by the conversion";
}

TEST(ErrorConversion, HresultWithoutTextGetsOleErrorMessage) {
  try {
    CheckSafeCall(static_cast<HRESULT>(0x8002801C));
    FAIL() << "no exception";
  } catch (const EOleException& e) {
    EXPECT_EQ(e.Message(), u"OLE error 8002801C");
  }
  // The system's own text for the code; Wine's message table words it differently.
  EXPECT_EQ(EOleSysError(u"", E_FAIL).Message(),
            test::RunningUnderWine() ? u"Call failed" : u"Unspecified error");
  EXPECT_NO_THROW(CheckSafeCall(S_FALSE));
  EXPECT_THROW(OleCheck(E_NOINTERFACE), EOleSysError);
}

TEST(Exceptions, ReportTextIsClassNameBlankMessage) {
  EXPECT_EQ(ESOAPHTTPException(u"m", 404).ReportText(), u"ESOAPHTTPException m");
  EXPECT_EQ(ERemotableException(u"").ReportText(), u"ERemotableException ");
  EXPECT_EQ(EAbort().ReportText(), u"EAbort Operation aborted");
  EXPECT_EQ(EOleRegistrationError(u"x", E_FAIL).ClassName(), u"EOleRegistrationError");
  const Exception& base = EDOMParseError(u"r");
  EXPECT_EQ(base.ClassName(), u"EDOMParseError");
}
