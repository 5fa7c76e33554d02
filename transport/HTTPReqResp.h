// The HTTP transport of a SOAP exchange: posts a request body to the endpoint
// with a SOAPAction header through the platform's Internet client (WinINet)
// and reads the whole response. Synchronous; one object per service proxy,
// never shared between threads. After a successful exchange the root and
// connection handles stay open for the next one; any failure closes them.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "Platform.h"
#include "common/UniqueHandle.h"
#include "transport/ExchangeTrace.h"

namespace tellavo {

// Members in declaration order; bit n of the set stands for member n.
enum TSOAPInvokeOption {
  soNoValueForEmptySOAPAction, // an empty action goes out empty, not as ""
  soIgnoreInvalidCerts,        // accept certificate name, date and issuer errors
  soNoSOAPActionHeader,        // send no SOAPAction header at all
  soAutoCheckAccessPointViaUDDI,
};
using TSOAPInvokeOptions = std::bitset<4>;

// The request body with a read position, read in pieces for large bodies.
class TRequestStream {
public:
  explicit TRequestStream(std::string_view bytes) : bytes_(bytes) {}
  size_t Size() const { return bytes_.size(); }
  size_t Position() const { return position_; }
  void SetPosition(size_t position) { position_ = position < Size() ? position : Size(); }
  // Copies up to `count` bytes from the position on and advances it.
  size_t Read(void* buffer, size_t count);

private:
  std::string_view bytes_;
  size_t position_ = 0;
};

// An Internet handle, closed when it goes.
using InternetHandle = UniqueHandle<HINTERNET, InternetCloseHandle>;

class THTTPReqResp {
public:
  using TBeforePostEvent = std::function<void(HINTERNET request)>;
  using TPostingDataEvent = std::function<void(int32_t sent, int32_t total)>;
  using TReceivingDataEvent = std::function<void(int32_t read, int32_t total)>;
  using TWinInetErrorEvent = std::function<DWORD(DWORD lastError, HINTERNET request)>;

  static constexpr std::u16string_view kDefaultAgent = u"Tellavo SOAP 1.2";
  // The build's bound on a response body.
  static const size_t kDefaultMaxAnswerBytes;
  // The default options; certificate errors are ignored unless the built-in
  // settings ask for verification.
  static TSOAPInvokeOptions DefaultInvokeOptions();

  THTTPReqResp() = default;
  ~THTTPReqResp() { Disconnect(); }
  THTTPReqResp(const THTTPReqResp&) = delete;
  THTTPReqResp& operator=(const THTTPReqResp&) = delete;

  // The endpoint, http or https. Any other scheme, or a URL that cannot be
  // split, raises ESOAPHTTPException here and changes nothing; otherwise the
  // parts are stored and any open connection is closed.
  const std::u16string& URL() const { return url_; }
  void SetURL(std::u16string_view url);

  const std::u16string& SOAPAction() const { return soapAction_; }
  void SetSOAPAction(std::u16string_view action) { soapAction_ = action; }

  // Called before every exchange with the action URI of the operation:
  // stores it as the SOAP action. Without a URL there is nowhere to send to.
  void BeforeExecute(std::u16string_view actionUri);

  // One exchange: posts `request` and appends the response body to
  // `response`. Raises ESOAPHTTPException or EAbort on failure; among the
  // failures are a body longer than MaxAnswerBytes and an exchange that
  // outlasts ExchangeTimeLimit(). A failure after the whole request was
  // written says so (Exception::RequestWritten).
  void Execute(std::string_view request, std::string& response);

  // Closes the connection handle, then the root handle.
  void Disconnect();
  bool Connected() const { return connected_; }

  // Of the last response: its Content-Type, and the boundary parameter of a
  // multipart one (empty otherwise).
  const std::u16string& ContentType() const { return contentType_; }
  const std::u16string& MimeBoundary() const { return mimeBoundary_; }

  // The text of the SOAPAction header line for the current action.
  std::u16string SOAPActionHeader() const;
  // The flags the request is opened with.
  DWORD RequestFlags() const;

  std::u16string Agent{kDefaultAgent};
  std::u16string Proxy;       // non-empty: this proxy instead of the system's settings
  std::u16string ProxyByPass; // hosts reached without the proxy
  std::u16string UserName;
  std::u16string Password;
  // Per-request time-outs in milliseconds; only values above 0 are applied,
  // otherwise the process-wide ones hold.
  int32_t ConnectTimeout = 0;
  int32_t SendTimeout = 0;
  int32_t ReceiveTimeout = 0;
  // Whether the request changes nothing at the server, so that it may be
  // sent once more when its connection ended after it was written and before
  // any answer (a kept connection the server had closed). Off, a request is
  // never sent twice: neither by this transport nor by the Internet client,
  // which is never given a whole body it could send again by itself.
  bool Repeatable = false;
  // The largest response body an exchange reads; a longer one is refused.
  size_t MaxAnswerBytes = kDefaultMaxAnswerBytes;
  bool UseUTF8InHeader = true;
  TSOAPInvokeOptions InvokeOptions = DefaultInvokeOptions();

  TBeforePostEvent OnBeforePost;
  TPostingDataEvent OnPostingData;
  TReceivingDataEvent OnReceivingData;
  // Replaces the platform's error dialog.
  TWinInetErrorEvent OnWinInetError;
  // The record of the exchange under way, when it is traced: the transport
  // adds what only it sees, the response's head and the connection used.
  TExchangeTrace* Trace = nullptr;

private:
  void Connect();
  InternetHandle OpenRequest();
  // One attempt at the exchange, within `limit` milliseconds (0: none).
  void Attempt(std::string_view request, std::string& response, DWORD limit);
  void Send(HINTERNET request, TRequestStream& stream);
  // The body goes in pieces after a declared length: the Internet client then
  // holds no copy of it to send again on its own.
  void PostInPieces(HINTERNET request, TRequestStream& stream);
  // The body whole in one call: only for a repeatable request whose client
  // could not start it in pieces.
  void PostWhole(HINTERNET request, TRequestStream& stream);
  void Receive(HINTERNET request, std::string& response);
  void AddHeader(HINTERNET request, const std::u16string& line);
  void SetTimeout(HINTERNET request, DWORD option, int32_t milliseconds);
  // Raises the platform's text for the thread's last error code when
  // `failed` and the code is not 0.
  void Check(bool failed) const;
  // Raises the platform's text for `code`, with the URL and action.
  [[noreturn]] void RaisePlatformError(DWORD code) const;
  DWORD HandleError(DWORD code, HINTERNET request);
  // The action as it goes into the header: "" stands for an empty one.
  std::u16string HeaderAction() const;

  std::u16string url_;
  bool urlSet_ = false;
  std::u16string soapAction_;
  INTERNET_SCHEME scheme_ = INTERNET_SCHEME_DEFAULT;
  std::u16string host_;
  INTERNET_PORT port_ = 0;
  std::u16string path_;

  InternetHandle root_;
  InternetHandle connection_;
  bool connected_ = false;

  std::u16string contentType_;
  std::u16string mimeBoundary_;

  // How far the attempt under way got.
  enum class Stage { Unsent, Written, Answered };
  Stage stage_ = Stage::Unsent;
  // The attempt under way found no tunnel through its proxy; the exchange's
  // requests go whole.
  bool tunnelMissing_ = false;
  bool sendWhole_ = false;
};

} // namespace tellavo
