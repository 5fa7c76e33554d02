// The platform's Internet client layer on its own: URL splitting, the handle
// tree, options, messages, and the parts of a request the transport does not
// reach (streamed bodies, header queries).
#include <gtest/gtest.h>

#include <string>

#include "Platform.h"
#include "common/Utf.h"
#include "support/SimulatorFixture.h"
#include "transport/HTTPReqResp.h"
#include "transport/InternetTimeouts.h"

namespace tellavo::test {
namespace {

std::u16string Part(const WCHAR* text, DWORD length) {
  return text == nullptr ? std::u16string() : std::u16string(text, length);
}

URL_COMPONENTSW PointerRequest() {
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = 1;
  return parts;
}

TEST(InternetCrackUrl, SplitsSchemeHostPortAndPath) {
  URL_COMPONENTSW parts = PointerRequest();
  ASSERT_TRUE(InternetCrackUrlW(u"https://gateway.example/A/B.asmx?x=1", 0, 0, &parts));
  EXPECT_EQ(parts.nScheme, INTERNET_SCHEME_HTTPS);
  EXPECT_EQ(parts.nPort, 443);
  EXPECT_EQ(Part(parts.lpszScheme, parts.dwSchemeLength), u"https");
  EXPECT_EQ(Part(parts.lpszHostName, parts.dwHostNameLength), u"gateway.example");
  // Without a place for the extra information the query stays in the path.
  EXPECT_EQ(Part(parts.lpszUrlPath, parts.dwUrlPathLength), u"/A/B.asmx?x=1");

  WCHAR host[16];
  WCHAR extra[16];
  URL_COMPONENTSW copied{};
  copied.dwStructSize = sizeof copied;
  copied.lpszHostName = host;
  copied.dwHostNameLength = 16;
  copied.lpszExtraInfo = extra;
  copied.dwExtraInfoLength = 16;
  copied.dwUrlPathLength = 1;
  ASSERT_TRUE(InternetCrackUrlW(u"http://user:pw@[::1]:8080/p?q#f", 0, 0, &copied));
  EXPECT_EQ(copied.nScheme, INTERNET_SCHEME_HTTP);
  EXPECT_EQ(copied.nPort, 8080);
  EXPECT_EQ(std::u16string(host), u"::1");
  EXPECT_EQ(copied.dwHostNameLength, 3u);
  EXPECT_EQ(std::u16string(extra), u"?q#f");
  EXPECT_EQ(Part(copied.lpszUrlPath, copied.dwUrlPathLength), u"/p");

  copied.dwHostNameLength = 3; // no room for the terminator
  copied.dwExtraInfoLength = 16;
  copied.lpszUrlPath = nullptr;
  EXPECT_FALSE(InternetCrackUrlW(u"http://abc/", 0, 0, &copied));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(copied.dwHostNameLength, 4u);
}

TEST(InternetCrackUrl, RefusesUnknownSchemesBadPortsAndMissingHosts) {
  URL_COMPONENTSW parts = PointerRequest();
  EXPECT_FALSE(InternetCrackUrlW(u"gopherx://host/", 0, 0, &parts));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  EXPECT_EQ(parts.nScheme, INTERNET_SCHEME_UNKNOWN);
  EXPECT_FALSE(InternetCrackUrlW(u"no url at all", 0, 0, &parts));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  EXPECT_FALSE(InternetCrackUrlW(u"http://host:65536/", 0, 0, &parts));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
  EXPECT_FALSE(InternetCrackUrlW(u"https:///path", 0, 0, &parts));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
  // Only the given length is looked at.
  EXPECT_TRUE(InternetCrackUrlW(u"ftp://h/pathIGNORED", 9, 0, &parts));
  EXPECT_EQ(parts.nScheme, INTERNET_SCHEME_FTP);
  EXPECT_EQ(Part(parts.lpszUrlPath, parts.dwUrlPathLength), u"/p");
}

TEST(InternetHandles, ClosingAParentInvalidatesItsChildren) {
  HINTERNET root = InternetOpenW(u"agent", INTERNET_OPEN_TYPE_DIRECT, u"", u"", 0);
  ASSERT_NE(root, nullptr);
  HINTERNET connection =
      InternetConnectW(root, u"127.0.0.1", 1, u"", u"", INTERNET_SERVICE_HTTP, 0, 0);
  ASSERT_NE(connection, nullptr);
  HINTERNET request = HttpOpenRequestW(connection, u"POST", u"/", nullptr, nullptr, nullptr, 0, 0);
  ASSERT_NE(request, nullptr);
  // A request is not a connection.
  EXPECT_EQ(HttpOpenRequestW(request, u"POST", u"/", nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);

  EXPECT_TRUE(InternetCloseHandle(root));
  EXPECT_FALSE(
      HttpAddRequestHeadersW(request, u"A: b", static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(InternetCloseHandle(connection));
  EXPECT_FALSE(InternetCloseHandle(request));
  EXPECT_FALSE(InternetCloseHandle(root));
}

TEST(InternetOptions, ProcessWideTimeoutsHoldUntilAHandleSetsItsOwn) {
  SetInternetTimeouts(1234);
  DWORD value = 0;
  DWORD length = sizeof value;
  ASSERT_TRUE(InternetQueryOptionW(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
  EXPECT_EQ(value, 1234u);
  ASSERT_TRUE(InternetQueryOptionW(nullptr, INTERNET_OPTION_CONNECT_TIMEOUT, &value, &length));
  EXPECT_EQ(value, 1234u);

  InternetHandle root(InternetOpenW(u"agent", INTERNET_OPEN_TYPE_DIRECT, u"", u"", 0));
  InternetHandle connection(
      InternetConnectW(root.Get(), u"127.0.0.1", 1, u"", u"", INTERNET_SERVICE_HTTP, 0, 0));
  InternetHandle request(
      HttpOpenRequestW(connection.Get(), u"POST", u"/", nullptr, nullptr, nullptr, 0, 0));
  ASSERT_TRUE(
      InternetQueryOptionW(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
  EXPECT_EQ(value, 1234u);
  value = 99;
  ASSERT_TRUE(InternetSetOptionW(connection.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, 4));
  ASSERT_TRUE(
      InternetQueryOptionW(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
  EXPECT_EQ(value, 99u);

  // Security flags belong to requests only.
  value = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
  EXPECT_FALSE(InternetSetOptionW(root.Get(), INTERNET_OPTION_SECURITY_FLAGS, &value, 4));
  EXPECT_TRUE(InternetSetOptionW(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &value, 4));
  EXPECT_FALSE(InternetSetOptionW(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &value, 2));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_BAD_OPTION_LENGTH);
  SetInternetTimeouts(600000);
}

TEST(InternetMessages, EveryReportedCodeHasItsText) {
  for (DWORD code : {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_NAME_NOT_RESOLVED,
                     ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_ABORTED,
                     ERROR_INTERNET_CONNECTION_RESET, ERROR_HTTP_INVALID_SERVER_RESPONSE,
                     ERROR_INTERNET_SECURE_FAILURE, ERROR_INTERNET_INVALID_CA,
                     ERROR_INTERNET_SEC_CERT_CN_INVALID, ERROR_INTERNET_SEC_CERT_DATE_INVALID,
                     ERROR_INTERNET_INVALID_URL, ERROR_INTERNET_UNRECOGNIZED_SCHEME,
                     ERROR_INTERNET_INCORRECT_HANDLE_TYPE, ERROR_INTERNET_OPERATION_CANCELLED}) {
    WCHAR buffer[256];
    EXPECT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE,
                             GetModuleHandleW(u"wininet.dll"), code, 0, buffer, 256, nullptr),
              0u)
        << code;
  }
  WCHAR buffer[256];
  FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE, GetModuleHandleW(u"wininet.dll"),
                 ERROR_INTERNET_TIMEOUT, 0, buffer, 256, nullptr);
  EXPECT_EQ(Utf16ToUtf8(buffer), "The operation timed out.\r\n");
}

// A request on the simulator, driven through the layer directly.
class RawRequest : public SimulatorTest {
protected:
  void Open(const char16_t* path) {
    root_.reset(InternetOpenW(u"raw", INTERNET_OPEN_TYPE_DIRECT, u"", u"", 0));
    connection_.reset(InternetConnectW(root_.Get(), u"127.0.0.1",
                                       static_cast<INTERNET_PORT>(Sim().Port()), u"", u"",
                                       INTERNET_SERVICE_HTTP, 0, 0));
    request_.reset(HttpOpenRequestW(connection_.Get(), u"POST", path, nullptr, nullptr, nullptr,
                                    INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID,
                                    0));
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
    ASSERT_TRUE(InternetSetOptionW(request_.Get(), INTERNET_OPTION_SECURITY_FLAGS, &flags, 4));
  }
  HINTERNET Request() const { return request_.Get(); }

  InternetHandle root_, connection_, request_;
};

TEST_F(RawRequest, StreamedBodyGoesOutWithItsDeclaredLengthAndNoMore) {
  Sim().Script(R"({"body": "<ok/>", "content_type": "text/xml"})");
  Open(u"/stream");
  INTERNET_BUFFERSW buffers{};
  buffers.dwStructSize = sizeof buffers;
  buffers.dwBufferTotal = 10;
  ASSERT_TRUE(HttpSendRequestExW(Request(), &buffers, nullptr, HSR_INITIATE | HSR_SYNC, 0));
  DWORD written = 0;
  ASSERT_TRUE(InternetWriteFile(Request(), "abcdef", 6, &written));
  EXPECT_EQ(written, 6u);
  // Beyond the declared size would spill into the connection's next request.
  EXPECT_FALSE(InternetWriteFile(Request(), "ghijk", 5, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(InternetWriteFile(Request(), "ghij", 4, &written));
  ASSERT_TRUE(HttpEndRequestW(Request(), nullptr, 0, 0));

  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body, "abcdefghij");
  EXPECT_EQ(requests[0].contentLength, 10);
  EXPECT_FALSE(requests[0].chunked);
}

TEST_F(RawRequest, EndingBeforeTheDeclaredBodyIsWrittenFails) {
  Open(u"/short");
  INTERNET_BUFFERSW buffers{};
  buffers.dwStructSize = sizeof buffers;
  buffers.dwBufferTotal = 10;
  ASSERT_TRUE(HttpSendRequestExW(Request(), &buffers, nullptr, HSR_INITIATE | HSR_SYNC, 0));
  DWORD written = 0;
  ASSERT_TRUE(InternetWriteFile(Request(), "abc", 3, &written));
  EXPECT_FALSE(HttpEndRequestW(Request(), nullptr, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
}

TEST_F(RawRequest, HeaderQueriesReportMissingHeadersAndShortBuffers) {
  Sim().Script(R"({"status": 418, "reason": "Teapot Trouble", "content_type": null,
                   "body": "tea"})");
  Open(u"/query");
  ASSERT_TRUE(HttpAddRequestHeadersW(Request(), u"X-One: 1\r\nX-Two: 2", static_cast<DWORD>(-1),
                                     HTTP_ADDREQ_FLAG_ADD));
  // A line without a colon could only smuggle something into the request.
  EXPECT_FALSE(HttpAddRequestHeadersW(Request(), u"X-Three: 3\r\nbroken", static_cast<DWORD>(-1),
                                      HTTP_ADDREQ_FLAG_ADD));
  ASSERT_TRUE(HttpSendRequestW(Request(), nullptr, 0, const_cast<char*>("x"), 1));

  DWORD status = 0;
  DWORD length = sizeof status;
  ASSERT_TRUE(HttpQueryInfoW(Request(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                             &length, nullptr));
  EXPECT_EQ(status, 418u);
  WCHAR text[8];
  length = sizeof text;
  EXPECT_FALSE(HttpQueryInfoW(Request(), HTTP_QUERY_STATUS_TEXT, text, &length, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(length, sizeof(u"Teapot Trouble"));
  WCHAR reason[32];
  length = sizeof reason;
  ASSERT_TRUE(HttpQueryInfoW(Request(), HTTP_QUERY_STATUS_TEXT, reason, &length, nullptr));
  EXPECT_EQ(std::u16string(reason), u"Teapot Trouble");
  length = sizeof reason;
  EXPECT_FALSE(HttpQueryInfoW(Request(), HTTP_QUERY_CONTENT_TYPE, reason, &length, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);

  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Header("X-One"), "1");
  EXPECT_EQ(requests[0].Header("X-Two"), "2");
  EXPECT_EQ(requests[0].Header("User-Agent"), "raw");
}

} // namespace
} // namespace tellavo::test
