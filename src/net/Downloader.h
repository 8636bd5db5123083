// CDownloader: downloads one URL at a time into a caller's sink, announces its
// progress to subscribers and can be canceled from any thread.
//
// Callers: the watched page's check (into memory), the page list's watch
// thread (through the page), the download dialogs' workers and the command
// line's fetch (writing through to standard output).
//
// Progress: subscribers (CEventSource) receive a `CDownloadProgress*` on the
// downloading thread, while the source's lock is held:
//   Resolving (status text: the host name) -> Resolved (the address)
//   -> Connecting (the address) -> Connected (the address)
//   -> Receiving, once per chunk of at most kChunkSize bytes, the final empty
//      read included -> Done.
// A step that does not happen (no name to resolve for a file: URL) is not
// announced. A failure announces nothing more; a cancellation ends with
// Canceled. Status steps are not announced once the download is canceled.
//
// A final HTTP status of 400 or more fails the download: the body (the
// server's error page) still reaches the sink, but Download returns false
// with kErrorHttpStatus, and GetHttpStatus, GetHttpReason and
// GetErrorMessage say what the server answered.
//
// Every download is bounded in time (CTimeLimits); a limit that runs out
// fails it with kErrorTimeout.
//
// Conditional requests: with validators set (SetValidators), a download asks
// the server for the page only when it changed since the version those
// validators came with. A 304 Not Modified answer to such a request is a
// successful download with no body (the sink stays empty, GetHttpStatus is
// kHttpNotModified); a 304 to a request that sent no validators answers
// nothing that was asked and fails with kErrorHttpStatus.
//
// Compressed transfers (SetAcceptCompressed): the server may send the body
// compressed with any encoding libcurl knows, and the sink receives it
// decoded; byte counts and size limits are those of the decoded body, and
// the progress's contentLength is 0 for an encoded body (its Content-Length
// counts the encoded bytes, not the page's).
//
// Threads: Download and Close belong to the thread that downloads. The
// setters and the getters of the last download's outcome take a lock and may
// be called from any thread (a setting applies to later downloads). Cancel
// and IsCanceled may be called from any thread (Cancel takes a lock: not from
// a signal handler).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "base/EventSource.h"
#include "net/HttpResponse.h"
#include "net/Session.h"

namespace tallyhawk {

enum DownloadState : std::int32_t {
    Resolving = 0,
    Resolved = 1,
    Connecting = 2,
    Connected = 3,
    Receiving = 4,
    Canceled = 5,
    Done = 6,
};

struct CDownloadProgress {
    std::int32_t state = Connecting;    // a DownloadState
    std::uint64_t bytesReceived = 0;    // body bytes read so far
    std::uint64_t contentLength = 0;    // the response's Content-Length, 0 when absent
    std::string statusText;             // host name or address of the last status step
    std::string url;                    // the URL exactly as passed to Download
};

// Receives a download's body. Write may throw (disk full, out of memory): the
// exception ends the download and leaves Download.
class CDownloadSink {
public:
    virtual ~CDownloadSink() = default;
    // Called once when a download starts: drop earlier contents.
    virtual void Truncate() = 0;
    virtual void Write(const char* data, std::size_t length) = 0;
};

// Collects the body in memory.
class CMemorySink : public CDownloadSink {
public:
    void Truncate() override { data.clear(); }
    void Write(const char* bytes, std::size_t length) override { data.append(bytes, length); }
    const std::string& Data() const { return data; }
    std::string Take() { return std::move(data); }

private:
    std::string data;
};

// How a download that must come from a verified server is made. With
// `httpsOnly`, only https: URLs are fetched and only https: redirects are
// followed, with the server's certificate and host name checked. `caFile`,
// when not empty, is a PEM file of the certificate authorities to trust
// instead of the system's store (a test's own authority, a distributor's
// private one); it applies to every https: download.
struct CTransportSecurity {
    bool httpsOnly = false;
    std::string caFile;
};

// How long a download may take; a limit that runs out fails the download
// with kErrorTimeout. `connect`: setting up a connection (TLS included);
// `stall`: any stretch in which not a byte moves either way; `total`: the
// whole download, from its start to its last byte, redirects included.
struct CTimeLimits {
    std::chrono::milliseconds connect{30000};
    std::chrono::milliseconds stall{30000};
    std::chrono::milliseconds total{120000};

    bool operator==(const CTimeLimits&) const = default;
};

class CDownloader : public CEventSource {
public:
    static constexpr std::size_t kChunkSize = 10240;
    // The default connect and stall limits.
    static constexpr std::chrono::milliseconds kDefaultTimeout = CTimeLimits().connect;

    // `timeout` is the connect and the stall limit; the whole download may
    // take CTimeLimits().total.
    explicit CDownloader(std::chrono::milliseconds timeout = kDefaultTimeout);
    CDownloader(const CDownloader&) = delete;
    CDownloader& operator=(const CDownloader&) = delete;
    ~CDownloader() override;

    // Credentials sent with every later download, for whatever authentication
    // the server asks for (and as the FTP login).
    void SetCredentials(const std::string& userName, const std::string& password);
    void ClearCredentials();

    // Validators of the version the caller holds (an ETag and a
    // Last-Modified value, as a server sent them), sent as If-None-Match and
    // If-Modified-Since with every later download until cleared. An empty or
    // unsendable one (see IsSendableValidator: control characters, overlong)
    // is left out; with neither sent the request is unconditional.
    void SetValidators(const std::string& etag, const std::string& lastModified);
    void ClearValidators();

    // Whether later downloads accept compressed bodies (handed on decoded).
    // Off by default: a file must arrive byte for byte as the server stores
    // it, and a server that labels a .gz file as gzip-encoded would have it
    // unpacked.
    void SetAcceptCompressed(bool accept);

    // Applies to every later download; the default is no restriction and
    // the system's certificate authorities.
    void SetSecurity(const CTransportSecurity& security);
    CTransportSecurity GetSecurity() const;

    // Apply to every later download, not to one that runs.
    void SetTimeLimits(const CTimeLimits& limits);
    CTimeLimits GetTimeLimits() const;

    // Downloads `url` ("http://" is put in front when it contains no "://")
    // into `sink` (null: the body is dropped), which is truncated first.
    // *bytesOut ends as the number of body bytes handed to the sink. Returns
    // true when the whole body was read and its HTTP status (if any) is below
    // 400 (a 304 to a conditional request: no body, see above). On false,
    // GetError gives the code (12001-12174) and IsCanceled tells a
    // cancellation; an HTTP status of 400 or more gives
    // kErrorHttpStatus after the whole body has been handed to the sink, and
    // announces neither the final empty read nor Done. A reply that is not
    // HTTP at all (no status line) fails with kErrorInvalidServerResponse
    // before any of it reaches the sink. Clears an earlier cancellation
    // first. Exceptions from the sink or from a Receiving subscriber leave
    // this function after the transfer is closed.
    bool Download(const std::string& url, CDownloadSink* sink, std::uint64_t* bytesOut = nullptr);

    // The phases of Download, for one thread that runs several downloads at
    // once on a multi handle of its own (CTransferPool), each through a
    // downloader of its own. BeginTransfer does what Download does before
    // the transfer and returns the configured handle for `multi` (null: the
    // download cannot start; FinishTransfer still ends it). StepTransfer
    // applies the download's stall and whole-download limits and its
    // cancel at `now`: CURLE_OK while it may go on (with `wait` lowered to
    // its next deadline), else the result it ends with. After the handle
    // has left `multi`, FinishTransfer ends the download with libcurl's
    // result and answers as Download does (and throws what it throws).
    CURL* BeginTransfer(const std::string& url, CDownloadSink* sink, CURLM* multi);
    CURLcode StepTransfer(std::chrono::steady_clock::time_point now,
                          std::chrono::milliseconds& wait);
    bool FinishTransfer(CURLcode result);

    std::uint32_t GetError() const;

    // The final response of the last download, after redirects; reset when
    // a download starts.
    // The status code; 0 when no HTTP status was received.
    std::int32_t GetHttpStatus() const;
    // The reason phrase as the server sent it (at most
    // CResponseHead::kMaxReason bytes, control characters dropped), or the
    // standard phrase when it sent none (HTTP/2 has none).
    std::string GetHttpReason() const;
    // Seconds from a Retry-After header of a 429 or 503 answer, taken when it
    // arrived and never below 0; -1 when there is none or it cannot be read.
    std::int64_t GetRetryAfter() const;
    // The Content-Type header's value, trimmed; empty when absent.
    std::string GetContentType() const;
    // The validators the final response sent (ETag, Last-Modified), as
    // sent; empty when absent or unsendable.
    std::string GetETag() const;
    std::string GetLastModified() const;

    // The message of the last failed download: for kErrorHttpStatus "The
    // server answered 404 Not Found." (a 401 says the user name or password
    // was not accepted); for a failure that has a more precise text than its
    // code (a TLS server met over plain http, an oversized response head)
    // that text; otherwise InternetErrorText(GetError()).
    std::string GetErrorMessage() const;

    bool IsCanceled() const { return canceled.load(std::memory_order_acquire); }

    // Ends a download in progress at once, from any thread; the download
    // returns false with IsCanceled true. A cancel before Download starts is
    // forgotten, because Download clears it.
    void Cancel();

    // Clears the cancellation and closes the session. Owners call it before a
    // run of downloads; while a download runs it only clears the mark.
    void Close();

    // "http://" in front of a URL in which "://" occurs nowhere.
    static std::string NormalizeUrl(const std::string& url);

protected:
    // Each chunk of the body, then once with length 0 at the end. The default
    // writes to the sink.
    virtual void OnData(const char* buffer, std::size_t length);
    // A connection step (Resolving, Resolved, Connecting, Connected) with its
    // text; sets the progress and announces it unless canceled.
    virtual void OnStatus(DownloadState state, const std::string& information);

private:
    struct Transfer;

    CURLcode Perform(Transfer& transfer);
    void Configure(CURL* easy, const std::string& target, const CTimeLimits& limits);
    // The conditional request's header lines; fieldsLock held.
    void AddValidators(CURL* easy, Transfer& transfer);
    void KeepResponse(const Transfer& transfer);
    bool Fail(CURLcode result, long verifyResult, const Transfer& transfer);
    void BeginReceiving(CURL* easy);
    void Deliver(const char* data, std::size_t length, Transfer& transfer);
    void Status(DownloadState state, const std::string& information) noexcept;
    void SetError(std::uint32_t code);

    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t HeaderCallback(char* data, std::size_t size, std::size_t count, void* user);
    static int ProgressCallback(void* user, curl_off_t dlTotal, curl_off_t dlNow,
                                curl_off_t ulTotal, curl_off_t ulNow);
    static int ResolverStartCallback(void* resolverState, void* reserved, void* user);
    static curl_socket_t OpenSocketCallback(void* user, curlsocktype purpose,
                                            struct curl_sockaddr* address);
    static int PrereqCallback(void* user, char* primaryIp, char* localIp, int primaryPort,
                              int localPort);

    std::atomic<bool> canceled{false};
    std::mutex downloading;  // held by a running Download
    std::atomic<bool> transferring{false};  // from BeginTransfer to FinishTransfer

    // The transfer's multi handle, new for every download so that no
    // connection or name outlives it. Cancel wakes it from other threads.
    std::mutex wakeLock;
    CURLM* multi = nullptr;  // written under wakeLock by the downloading thread

    // Used by the downloading thread only.
    CSession session;
    CDownloadProgress progress;
    CDownloadSink* sink = nullptr;
    Transfer* transfer = nullptr;
    std::unique_ptr<Transfer> active;  // the download between its begin and finish

    mutable std::mutex fieldsLock;
    std::uint32_t error = 0;  // guarded by fieldsLock
    std::string userName;     // guarded by fieldsLock
    std::string password;     // guarded by fieldsLock
    CTransportSecurity security;  // guarded by fieldsLock
    CTimeLimits limits;           // guarded by fieldsLock
    std::string sentETag;         // guarded by fieldsLock
    std::string sentLastModified; // guarded by fieldsLock
    bool acceptCompressed = false;  // guarded by fieldsLock
    // The last download's final response, and the precise text of its
    // failure when it has one; all guarded by fieldsLock.
    std::int32_t httpStatus = 0;
    std::string httpReason;
    std::int64_t retryAfter = -1;
    std::string contentType;
    std::string etag;
    std::string lastModified;
    std::string errorText;
};

}  // namespace tallyhawk
