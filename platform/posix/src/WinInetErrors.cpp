// libcurl's failures in WinINet's terms.
#include <openssl/x509_vfy.h>

#include "WinInetRequest.h"

namespace wininet {

namespace {

// libcurl reports every refused certificate alike; OpenSSL's verification
// result tells which check refused it. A chain that verified but was still
// refused failed the host name check.
DWORD CertificateError(CURL* easy) {
  long result = X509_V_OK;
  curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &result);
  switch (result) {
  case X509_V_OK:
  case X509_V_ERR_HOSTNAME_MISMATCH:
    return ERROR_INTERNET_SEC_CERT_CN_INVALID;
  case X509_V_ERR_CERT_NOT_YET_VALID:
  case X509_V_ERR_CERT_HAS_EXPIRED:
    return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
  case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
  case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
  case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
  case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
  case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    return ERROR_INTERNET_INVALID_CA;
  default:
    return ERROR_INTERNET_SECURE_FAILURE;
  }
}

} // namespace

DWORD ErrorFromCurl(CURLcode code, CURL* easy) {
  switch (code) {
  case CURLE_OK:
    return ERROR_SUCCESS;
  case CURLE_UNSUPPORTED_PROTOCOL:
    return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
  case CURLE_URL_MALFORMAT:
    return ERROR_INTERNET_INVALID_URL;
  case CURLE_COULDNT_RESOLVE_PROXY:
  case CURLE_COULDNT_RESOLVE_HOST:
    return ERROR_INTERNET_NAME_NOT_RESOLVED;
  case CURLE_COULDNT_CONNECT:
  case CURLE_PROXY:
    return ERROR_INTERNET_CANNOT_CONNECT;
  case CURLE_OPERATION_TIMEDOUT:
    return ERROR_INTERNET_TIMEOUT;
  // A body cut short is lost data, never a complete answer.
  case CURLE_PARTIAL_FILE:
    return ERROR_INTERNET_CONNECTION_ABORTED;
  case CURLE_SEND_ERROR:
  case CURLE_RECV_ERROR:
  // A kept connection died after the body was written; libcurl would send
  // it again on a new one, but a body in pieces is never rewound.
  case CURLE_SEND_FAIL_REWIND:
    return ERROR_INTERNET_CONNECTION_RESET;
  case CURLE_GOT_NOTHING:
  case CURLE_WEIRD_SERVER_REPLY:
    return ERROR_HTTP_INVALID_SERVER_RESPONSE;
  case CURLE_PEER_FAILED_VERIFICATION:
    return CertificateError(easy);
  case CURLE_SSL_CONNECT_ERROR:
  case CURLE_SSL_CERTPROBLEM:
  case CURLE_SSL_CIPHER:
  case CURLE_SSL_CACERT_BADFILE:
  case CURLE_SSL_CRL_BADFILE:
  case CURLE_SSL_ISSUER_ERROR:
  case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
  case CURLE_USE_SSL_FAILED:
    return ERROR_INTERNET_SECURE_FAILURE;
  // The callbacks fail a transfer only when memory runs out.
  case CURLE_OUT_OF_MEMORY:
  case CURLE_WRITE_ERROR:
    return ERROR_OUTOFMEMORY;
  default:
    return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

} // namespace wininet
