// The program's download error codes and how a failed download becomes an
// exception.
//
// Download errors are numbered as WinInet numbers them (12001-12174), so that
// codes and texts stay the same on every platform; libcurl's results are
// mapped onto them in one place, InternetErrorFromCurl.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <string>

namespace tallyhawk {

inline constexpr std::uint32_t kInternetErrorFirst = 12001;
inline constexpr std::uint32_t kInternetErrorLast = 12174;

// The codes the downloader produces itself or that tests name.
inline constexpr std::uint32_t kErrorOutOfHandles = 12001;
inline constexpr std::uint32_t kErrorTimeout = 12002;
inline constexpr std::uint32_t kErrorExtendedError = 12003;
inline constexpr std::uint32_t kErrorInternalError = 12004;
inline constexpr std::uint32_t kErrorInvalidUrl = 12005;
inline constexpr std::uint32_t kErrorUnrecognizedScheme = 12006;
inline constexpr std::uint32_t kErrorNameNotResolved = 12007;
inline constexpr std::uint32_t kErrorProtocolNotFound = 12008;
inline constexpr std::uint32_t kErrorInvalidOption = 12009;
inline constexpr std::uint32_t kErrorLoginFailure = 12015;
inline constexpr std::uint32_t kErrorInvalidOperation = 12016;
inline constexpr std::uint32_t kErrorOperationCanceled = 12017;
inline constexpr std::uint32_t kErrorItemNotFound = 12028;
inline constexpr std::uint32_t kErrorCannotConnect = 12029;
inline constexpr std::uint32_t kErrorConnectionAborted = 12030;
inline constexpr std::uint32_t kErrorConnectionReset = 12031;
inline constexpr std::uint32_t kErrorCertDateInvalid = 12037;
inline constexpr std::uint32_t kErrorCertNameInvalid = 12038;
inline constexpr std::uint32_t kErrorClientAuthCertNeeded = 12044;
inline constexpr std::uint32_t kErrorInvalidCa = 12045;
inline constexpr std::uint32_t kErrorRedirectSchemeChange = 12048;
inline constexpr std::uint32_t kErrorClientAuthNotSetUp = 12046;
inline constexpr std::uint32_t kErrorNoPassiveMode = 12112;
inline constexpr std::uint32_t kErrorInvalidServerResponse = 12152;
inline constexpr std::uint32_t kErrorRedirectFailed = 12156;
inline constexpr std::uint32_t kErrorSecureChannel = 12157;
inline constexpr std::uint32_t kErrorProxyUnreachable = 12165;
inline constexpr std::uint32_t kErrorInvalidCertificate = 12169;
inline constexpr std::uint32_t kErrorCertificateRevoked = 12170;
inline constexpr std::uint32_t kErrorNotInitialized = 12172;

// The program's code for "the server answered with an HTTP status of 400 or
// more": the server sent an error of its own instead of the page, which
// CDownloader::GetErrorMessage words with the status and its reason.
inline constexpr std::uint32_t kErrorHttpStatus = kErrorExtendedError;

class CDownloader;

// The program's code for a libcurl result (0 for CURLE_OK). For
// CURLE_PEER_FAILED_VERIFICATION, `certificateVerifyResult` (the handle's
// CURLINFO_SSL_VERIFYRESULT, an X.509 verification code) picks the certificate
// code; 0 there means the chain was fine and the host name did not match.
// A result with no better match gives 12029.
std::uint32_t InternetErrorFromCurl(CURLcode result, long certificateVerifyResult = 0);

// The message of a code in 12001-12174: its text in the string table, or
// IDS_INTERNET_ERROR ("Internet error %lu") when the table has none.
std::string InternetErrorText(std::uint32_t code);

// What every caller of CDownloader::Download does with a failure that was not
// a cancellation: throws CGenericException with InternetErrorText for codes in
// 12001-12174, otherwise COsException with the code.
[[noreturn]] void ThrowDownloadError(std::uint32_t code);

// The same for the last download of `downloader`, with its own message
// (CDownloader::GetErrorMessage): CGenericException for an HTTP status, a
// code in 12001-12174 or a failure with a text of its own; otherwise as
// ThrowDownloadError(GetError()).
[[noreturn]] void ThrowDownloadError(const CDownloader& downloader);

}  // namespace tallyhawk
