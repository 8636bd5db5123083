#include "net/InternetError.h"

#include <cstdio>
#include <mutex>

#include "base/Exception.h"
#include "base/StringTable.h"

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

void RegisterInternetStrings() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterStrings({
            {IDS_FAILED_TO_DOWNLOAD, "Failed to download file."},
            {12001, "No more internet handles can be created at the moment."},
            {12002, "The request has timed out."},
            {12003, "The server sent back an extended error description."},
            {12004, "Something went wrong inside the internet functions."},
            {12005, "The URL is invalid."},
            {12006, "The URL scheme could not be recognized, or is not supported."},
            {12007, "The server name could not be resolved."},
            {12008, "No handler exists for the requested protocol."},
            {12009, "An internet option was given a value it does not accept."},
            {12010, "An internet option was given data of the wrong length."},
            {12011, "This internet option can be read but not changed."},
            {12012, "The internet functions are shutting down."},
            {12013, "The server rejected the user name."},
            {12014, "The server rejected the password."},
            {12015, "Logging on to the server failed."},
            {12016, "The requested operation cannot be performed."},
            {12017, "The operation was canceled, usually because the handle on which the request "
                    "was operating was closed before the operation completed."},
            {12018, "The handle given is of the wrong kind for this operation."},
            {12019, "The handle given is not in a state that allows this operation."},
            {12020, "This request cannot be sent through a proxy."},
            {12021, "A required configuration value is missing."},
            {12022, "A required configuration value has the wrong type or an unusable value."},
            {12023, "The network cannot be reached directly at the moment."},
            {12024, "An asynchronous request was made without a context value."},
            {12025, "An asynchronous request was made without a callback function."},
            {12026, "The operation cannot complete while other requests are still pending."},
            {12027, "The request is not in a valid format."},
            {12028, "The requested item does not exist."},
            {12029, "The attempt to connect to the server failed."},
            {12030, "The connection with the server has been terminated."},
            {12031, "The connection with the server has been reset."},
            {12032, "The request has to be sent again."},
            {12033, "The request sent to the proxy was not valid."},
            {12034, "The request needs user interaction that cannot be given here."},
            {12036, "The handle to be created exists already."},
            {12037, "The server's certificate has expired or is not yet valid."},
            {12038, "The server's certificate was issued for a different host name."},
            {12039, "A redirect leads from an unsecured connection to a secure one."},
            {12040, "A redirect leads from a secure connection to an unsecured one."},
            {12041, "Part of the content comes from servers that are not secure."},
            {12042, "Changed data is about to be posted to a server that is not secure."},
            {12043, "Data is about to be posted to a server that is not secure."},
            {12044, "The server asks for a client certificate."},
            {12045, "The server's certificate was issued by an authority that is not trusted."},
            {12046, "No client certificate has been set up on this computer."},
            {12047, "A thread for asynchronous work could not be started."},
            {12048, "A redirect changed the scheme of the URL and could not be followed."},
            {12049, "Another thread is already showing a password dialog."},
            {12050, "The dialog should be shown again."},
            {12052, "Data sent over a secure connection is being redirected to an unsecured one."},
            {12053, "The requested resource is on a CD-ROM that has to be inserted."},
            {12054, "The requested resource requires Fortezza authentication."},
            {12055, "The server's certificate has errors."},
            {12110, "Another FTP operation is already in progress on this session."},
            {12111, "The FTP session ended before the operation completed."},
            {12112, "The FTP server does not offer passive mode."},
            {12130, "The data from the Gopher server could not be parsed."},
            {12131, "The Gopher request has to name a file."},
            {12132, "An error occurred while receiving data from the Gopher server."},
            {12133, "All of the Gopher data has been read."},
            {12134, "The Gopher locator is not valid."},
            {12135, "The Gopher locator is of the wrong type for this operation."},
            {12136, "The operation needs a Gopher+ server or locator."},
            {12137, "The requested Gopher attribute does not exist."},
            {12138, "The Gopher locator type is unknown."},
            {12150, "The requested HTTP header is not present."},
            {12151, "The server did not send any headers."},
            {12152, "The server response could not be parsed."},
            {12153, "The HTTP header given is not valid."},
            {12154, "The query for HTTP header information is not valid."},
            {12155, "The HTTP header cannot be added because it is present already."},
            {12156, "The redirect could not be followed: the scheme changed or there were too "
                    "many redirects."},
            {12157, "The secure channel could not be set up."},
            {12158, "The downloaded file could not be stored in the cache."},
            {12159, "The network protocols needed are not installed."},
            {12160, "The HTTP request was not redirected."},
            {12161, "The HTTP cookie needs to be confirmed."},
            {12162, "The HTTP cookie was declined."},
            {12163, "The Internet connection has been lost."},
            {12164, "The Web site or server indicated is unreachable."},
            {12165, "The proxy server cannot be reached."},
            {12166, "The automatic proxy configuration script has an error."},
            {12167, "The automatic proxy configuration script could not be downloaded."},
            {12168, "The redirect needs to be confirmed by the user."},
            {12169, "The server's certificate is not valid."},
            {12170, "The server's certificate has been revoked."},
            {12171, "The operation was refused by a security check."},
            {12172, "Initialization of the Win32 Internet API has not occurred. Indicates that a "
                    "higher-level function, such as InternetOpen, has not been called yet."},
        });
    });
}

std::string InternetErrorText(std::uint32_t code) {
    RegisterInternetStrings();
    std::string text = LoadString(code);
    if (text.empty()) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "Internet error %lu", static_cast<unsigned long>(code));
        text = buffer;
    }
    return text;
}

void ThrowDownloadError(std::uint32_t code) {
    if (code >= kInternetErrorFirst && code <= kInternetErrorLast)
        throw CGenericException(InternetErrorText(code));
    throw COsException(code);
}

}  // namespace tallyhawk
