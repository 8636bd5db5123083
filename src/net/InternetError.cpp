#include "net/InternetError.h"

#include "base/Exception.h"
#include "base/StringTable.h"
#include "net/Downloader.h"

namespace tallyhawk {

namespace {

// X.509 verification results (OpenSSL's numbering) that name a certificate
// problem more precisely than "verification failed".
constexpr long kCertNotYetValid = 9;
constexpr long kCertHasExpired = 10;
constexpr long kSelfSignedLeaf = 18;
constexpr long kSelfSignedInChain = 19;
constexpr long kIssuerUnknownLocally = 20;
constexpr long kLeafUnverifiable = 21;
constexpr long kCertRevoked = 23;
constexpr long kHostNameMismatch = 62;

std::uint32_t FromVerifyResult(long verifyResult) {
    switch (verifyResult) {
    case 0:  // the chain verified, so the host name check failed
    case kHostNameMismatch:
        return kErrorCertNameInvalid;
    case kCertNotYetValid:
    case kCertHasExpired:
        return kErrorCertDateInvalid;
    case kSelfSignedLeaf:
    case kSelfSignedInChain:
    case kIssuerUnknownLocally:
    case kLeafUnverifiable:
        return kErrorInvalidCa;
    case kCertRevoked:
        return kErrorCertificateRevoked;
    default:
        return kErrorInvalidCertificate;
    }
}

}  // namespace

std::uint32_t InternetErrorFromCurl(CURLcode result, long certificateVerifyResult) {
    switch (result) {
    case CURLE_OK:
        return 0;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return kErrorUnrecognizedScheme;
    case CURLE_FAILED_INIT:
        return kErrorNotInitialized;
    case CURLE_URL_MALFORMAT:
        return kErrorInvalidUrl;
    case CURLE_NOT_BUILT_IN:
        return kErrorProtocolNotFound;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_PROXY:
        return kErrorProxyUnreachable;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_FTP_CANT_GET_HOST:
        return kErrorNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return kErrorCannotConnect;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_PRET_FAILED:
    case CURLE_FTP_BAD_FILE_LIST:
        return kErrorInvalidServerResponse;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_FTP_WEIRD_PASS_REPLY:
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
        return kErrorLoginFailure;
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
        return kErrorNoPassiveMode;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return kErrorTimeout;
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
    case CURLE_SEND_FAIL_REWIND:
        return kErrorConnectionAborted;
    case CURLE_RECV_ERROR:
        return kErrorConnectionReset;
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FILE_COULDNT_READ_FILE:
    case CURLE_REMOTE_FILE_NOT_FOUND:
        return kErrorItemNotFound;
    case CURLE_QUOTE_ERROR:
    case CURLE_HTTP_RETURNED_ERROR:
        return kErrorExtendedError;
    case CURLE_WRITE_ERROR:  // the write callback refuses data only when canceled
    case CURLE_ABORTED_BY_CALLBACK:
        return kErrorOperationCanceled;
    case CURLE_READ_ERROR:
    case CURLE_OUT_OF_MEMORY:
    case CURLE_FUNCTION_NOT_FOUND:
    case CURLE_BAD_FUNCTION_ARGUMENT:
    case CURLE_CHUNK_FAILED:
    case CURLE_RECURSIVE_API_CALL:
    case CURLE_UNRECOVERABLE_POLL:
        return kErrorInternalError;
    case CURLE_FTP_COULDNT_USE_REST:
    case CURLE_RANGE_ERROR:
    case CURLE_HTTP_POST_ERROR:
    case CURLE_BAD_DOWNLOAD_RESUME:
    case CURLE_FILESIZE_EXCEEDED:
        return kErrorInvalidOperation;
    case CURLE_UNKNOWN_OPTION:
    case CURLE_SETOPT_OPTION_SYNTAX:
        return kErrorInvalidOption;
    case CURLE_TOO_MANY_REDIRECTS:
        return kErrorRedirectFailed;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CIPHER:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
        return kErrorSecureChannel;
    case CURLE_PEER_FAILED_VERIFICATION:
        return FromVerifyResult(certificateVerifyResult);
    case CURLE_SSL_ISSUER_ERROR:
        return kErrorInvalidCa;
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return kErrorInvalidCertificate;
    case CURLE_SSL_CERTPROBLEM:
        return kErrorClientAuthNotSetUp;
    case CURLE_SSL_CLIENTCERT:
        return kErrorClientAuthCertNeeded;
    default:
        // Everything else (an interface that cannot be bound, an accept that
        // failed, protocols we never enable) means the server was not reached.
        return kErrorCannotConnect;
    }
}

std::string InternetErrorText(std::uint32_t code) {
    std::string text = LoadString(code);
    return text.empty() ? FormatString(IDS_INTERNET_ERROR, {code}) : text;
}

void ThrowDownloadError(std::uint32_t code) {
    if (code >= kInternetErrorFirst && code <= kInternetErrorLast)
        throw CGenericException(InternetErrorText(code));
    throw COsException(code);
}

void ThrowDownloadError(const CDownloader& downloader) {
    const std::uint32_t code = downloader.GetError();
    if (code >= kInternetErrorFirst && code <= kInternetErrorLast)
        throw CGenericException(downloader.GetErrorMessage());
    ThrowDownloadError(code);
}

}  // namespace tallyhawk
