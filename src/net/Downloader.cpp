#include "net/Downloader.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include "base/StringTable.h"
#include "net/CurlLibrary.h"
#include "net/InternetError.h"

namespace tallyhawk {

namespace {

using Clock = std::chrono::steady_clock;

// Receive buffer handed to libcurl; chunks are cut to kChunkSize on delivery.
constexpr long kReceiveBufferSize = 100 * 1024;
// Longest sleep of the transfer loop when libcurl names no earlier deadline.
constexpr std::chrono::milliseconds kLongestPoll{1000};
constexpr long kMaxRedirects = 20;

std::string HostOf(const char* url) {
    std::string host;
    CURLU* parsed = Curl().url();
    if (!parsed) return host;
    char* part = nullptr;
    if (Curl().url_set(parsed, CURLUPART_URL, url,
                       CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
        Curl().url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
        host = part;
        Curl().free(part);
    }
    Curl().url_cleanup(parsed);
    return host;
}

// Names under ".invalid" never resolve (RFC 6761), so they fail at once
// instead of waiting for a name server.
bool IsInvalidName(std::string host) {
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!host.empty() && host.back() == '.') host.pop_back();
    constexpr std::string_view suffix = ".invalid";
    return host == "invalid" ||
           (host.size() > suffix.size() && host.ends_with(suffix));
}

bool IsHttpUrl(const std::string& url) {
    const auto startsWith = [&url](std::string_view scheme) {
        return url.size() >= scheme.size() &&
               std::equal(scheme.begin(), scheme.end(), url.begin(), [](char a, char b) {
                   return a == std::tolower(static_cast<unsigned char>(b));
               });
    };
    return startsWith("http://") || startsWith("https://");
}

// A TLS record begins with its type (20 to 23) and the major version 3: a
// server that answers a plain request so speaks only https.
bool LooksLikeTls(const char* data, std::size_t length) {
    return length >= 2 && data[0] >= 20 && data[0] <= 23 && data[1] == 3;
}

std::string AddressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    } else if (address->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    }
    return text;
}

}  // namespace

// What one download's callbacks share with the transfer loop.
struct CDownloader::Transfer {
    CURL* easy = nullptr;
    std::string address;  // the URL as requested, "http://" added where needed
    std::uint64_t bytes = 0;  // where bytesOut points unless the caller gave a place
    CTimeLimits limits;
    bool http = false;   // http: or https:, where every answer has a status line
    CResponseHead head;  // the response being received
    // Set when a callback refused the response: the code, and the text
    // when it has a more precise one than the code's.
    std::uint32_t refused = 0;
    std::string refusedText;
    Clock::time_point start;
    std::uint64_t* bytesOut = nullptr;
    std::exception_ptr pending;       // thrown by the sink or a subscriber
    Clock::time_point lastActivity;   // last time bytes moved or the connection advanced
    curl_off_t lastDown = 0;
    curl_off_t lastUp = 0;
    bool resolving = false;   // Resolving announced, Resolved not yet
    bool connecting = false;  // Connecting announced, Connected not yet
    bool receiving = false;   // the body has begun
    bool conditional = false;  // validators were sent
    bool decoding = false;     // compressed bodies were accepted, and arrive decoded
    // The request's own header lines; libcurl reads them until the transfer
    // is over, so they live as long as it.
    curl_slist* headers = nullptr;

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() {
        if (headers) Curl().slist_free_all(headers);
    }
};

CDownloader::CDownloader(std::chrono::milliseconds timeout) {
    limits.connect = timeout;
    limits.stall = timeout;
}

CDownloader::~CDownloader() {
    Close();
}

void CDownloader::SetCredentials(const std::string& name, const std::string& secret) {
    std::lock_guard lock(fieldsLock);
    userName = name;
    password = secret;
}

void CDownloader::ClearCredentials() { SetCredentials(std::string(), std::string()); }

void CDownloader::SetValidators(const std::string& entityTag, const std::string& modified) {
    std::lock_guard lock(fieldsLock);
    sentETag = entityTag;
    sentLastModified = modified;
}

void CDownloader::ClearValidators() { SetValidators(std::string(), std::string()); }

void CDownloader::SetAcceptCompressed(bool accept) {
    std::lock_guard lock(fieldsLock);
    acceptCompressed = accept;
}

void CDownloader::SetSecurity(const CTransportSecurity& value) {
    std::lock_guard lock(fieldsLock);
    security = value;
}

CTransportSecurity CDownloader::GetSecurity() const {
    std::lock_guard lock(fieldsLock);
    return security;
}

void CDownloader::SetTimeLimits(const CTimeLimits& value) {
    std::lock_guard lock(fieldsLock);
    limits = value;
}

CTimeLimits CDownloader::GetTimeLimits() const {
    std::lock_guard lock(fieldsLock);
    return limits;
}

std::uint32_t CDownloader::GetError() const {
    std::lock_guard lock(fieldsLock);
    return error;
}

std::int32_t CDownloader::GetHttpStatus() const {
    std::lock_guard lock(fieldsLock);
    return httpStatus;
}

std::string CDownloader::GetHttpReason() const {
    std::lock_guard lock(fieldsLock);
    return httpReason;
}

std::int64_t CDownloader::GetRetryAfter() const {
    std::lock_guard lock(fieldsLock);
    return retryAfter;
}

std::string CDownloader::GetContentType() const {
    std::lock_guard lock(fieldsLock);
    return contentType;
}

std::string CDownloader::GetETag() const {
    std::lock_guard lock(fieldsLock);
    return etag;
}

std::string CDownloader::GetLastModified() const {
    std::lock_guard lock(fieldsLock);
    return lastModified;
}

std::string CDownloader::GetErrorMessage() const {
    std::lock_guard lock(fieldsLock);
    if (error == kErrorHttpStatus && (httpStatus >= 400 || httpStatus == kHttpNotModified)) {
        const std::string answer = httpReason.empty()
                                       ? std::to_string(httpStatus)
                                       : std::to_string(httpStatus) + " " + httpReason;
        return FormatString(httpStatus == 401 ? IDS_HTTP_UNAUTHORIZED : IDS_HTTP_STATUS, {answer});
    }
    if (!errorText.empty()) return errorText;
    return InternetErrorText(error);
}

void CDownloader::SetError(std::uint32_t code) {
    std::lock_guard lock(fieldsLock);
    error = code;
}

void CDownloader::Cancel() {
    canceled.store(true, std::memory_order_release);
    std::lock_guard lock(wakeLock);
    if (multi) Curl().multi_wakeup(multi);
}

void CDownloader::Close() {
    canceled.store(false, std::memory_order_release);
    std::unique_lock idle(downloading, std::try_to_lock);
    if (idle.owns_lock() && !transferring.load(std::memory_order_acquire)) session.Close();
}

std::string CDownloader::NormalizeUrl(const std::string& url) {
    if (url.find("://") != std::string::npos) return url;
    return "http://" + url;
}

bool CDownloader::Download(const std::string& url, CDownloadSink* target,
                           std::uint64_t* bytesOut) {
    std::uint64_t count = 0;
    if (!bytesOut) bytesOut = &count;
    *bytesOut = 0;
    std::lock_guard running(downloading);
    CURL* easy = BeginTransfer(url, target, nullptr);
    active->bytesOut = bytesOut;
    const CURLcode result = easy && !IsCanceled() ? Perform(*active) : CURLE_FAILED_INIT;
    return FinishTransfer(result);
}

CURL* CDownloader::BeginTransfer(const std::string& url, CDownloadSink* target, CURLM* shared) {
    // Between here and FinishTransfer the session is in use: Close leaves it.
    transferring.store(true, std::memory_order_release);
    active = std::make_unique<Transfer>();
    Transfer& current = *active;
    {
        std::lock_guard lock(fieldsLock);
        error = 0;
        errorText.clear();
        httpStatus = 0;
        httpReason.clear();
        retryAfter = -1;
        contentType.clear();
        etag.clear();
        lastModified.clear();
        current.limits = limits;
    }
    sink = target;
    current.bytesOut = &current.bytes;
    canceled.store(false, std::memory_order_release);
    if (sink) sink->Truncate();

    session.Open();  // every download in a fresh session
    progress = CDownloadProgress();
    progress.state = Connecting;
    progress.url = url;

    current.easy = session.Handle();
    current.address = NormalizeUrl(url);
    current.http = IsHttpUrl(current.address);
    transfer = &current;
    if (!current.easy) return nullptr;
    Configure(current.easy, current.address, current.limits);
    current.start = current.lastActivity = Clock::now();
    if (shared) {
        std::lock_guard lock(wakeLock);
        multi = shared;
    }
    return current.easy;
}

CURLcode CDownloader::StepTransfer(Clock::time_point now, std::chrono::milliseconds& wait) {
    Transfer& current = *active;
    if (current.pending) return CURLE_WRITE_ERROR;
    if (IsCanceled()) return CURLE_ABORTED_BY_CALLBACK;
    // A stall or a whole download longer than its limit fails the
    // transfer; libcurl's own connect time-out covers the connection.
    const auto stallLeft = current.limits.stall - (now - current.lastActivity);
    const auto totalLeft = current.limits.total - (now - current.start);
    if (stallLeft <= Clock::duration::zero() || totalLeft <= Clock::duration::zero())
        return CURLE_OPERATION_TIMEDOUT;
    wait = std::min({wait, std::chrono::ceil<std::chrono::milliseconds>(stallLeft),
                     std::chrono::ceil<std::chrono::milliseconds>(totalLeft)});
    return CURLE_OK;
}

bool CDownloader::FinishTransfer(CURLcode result) {
    struct CEnd {
        std::atomic<bool>& flag;
        ~CEnd() { flag.store(false, std::memory_order_release); }
    } end{transferring};
    std::unique_ptr<Transfer> ended = std::move(active);
    Transfer& current = *ended;
    {
        std::lock_guard lock(wakeLock);
        multi = nullptr;
    }
    long verifyResult = 0;
    if (current.easy) Curl().easy_getinfo(current.easy, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    session.Close();
    transfer = nullptr;
    if (current.pending) std::rethrow_exception(current.pending);

    KeepResponse(current);
    if (result == CURLE_OK && current.head.Status() >= 400) {
        // The server's own error page: the sink has it, but it is no page.
        SetError(kErrorHttpStatus);
        return false;
    }
    if (result == CURLE_OK) {
        // The final, empty read: the body is complete.
        if (!current.receiving) BeginReceiving(nullptr);
        Announce(&progress);
        OnData(nullptr, 0);
        progress.state = Done;
        Announce(&progress);
        return true;
    }
    return Fail(result, verifyResult, current);
}

void CDownloader::KeepResponse(const Transfer& current) {
    const std::int32_t status = current.head.Status();
    std::int64_t wait = -1;
    if (status == 429 || status == 503) {
        wait = ParseRetryAfter(current.head.RetryAfter(),
                               static_cast<std::int64_t>(std::time(nullptr)));
    }
    std::lock_guard lock(fieldsLock);
    httpStatus = status;
    httpReason = status ? current.head.Reason() : std::string();
    contentType = current.head.ContentType();
    etag = current.head.ETag();
    lastModified = current.head.LastModified();
    retryAfter = wait;
}

bool CDownloader::Fail(CURLcode result, long verifyResult, const Transfer& current) {
    if (IsCanceled()) {
        SetError(kErrorOperationCanceled);
        progress.state = Canceled;
        Announce(&progress);
        return false;
    }
    std::uint32_t code = 0;
    std::string text;
    if (!CSession::StartLibrary() || !current.easy) {
        code = kErrorNotInitialized;
    } else if (current.refused) {
        code = current.refused;
        text = current.refusedText;
    } else if (result == CURLE_UNSUPPORTED_PROTOCOL && current.head.Status() >= 300 &&
               current.head.Status() < 400) {
        // The address was fine; the redirect led to a scheme not followed.
        code = kErrorRedirectSchemeChange;
    } else {
        code = InternetErrorFromCurl(result, verifyResult);
    }
    std::lock_guard lock(fieldsLock);
    error = code;
    errorText = std::move(text);
    return false;
}

CURLcode CDownloader::Perform(Transfer& current) {
    {
        std::lock_guard lock(wakeLock);
        multi = Curl().multi_init();
    }
    struct MultiCleanup {
        CDownloader* self;
        ~MultiCleanup() {
            std::lock_guard lock(self->wakeLock);
            Curl().multi_cleanup(self->multi);
            self->multi = nullptr;
        }
    } cleanup{this};
    if (!multi) return CURLE_FAILED_INIT;
    if (Curl().multi_add_handle(multi, current.easy) != CURLM_OK) return CURLE_FAILED_INIT;

    CURLcode result = CURLE_OK;
    for (;;) {
        int stillRunning = 0;
        if (Curl().multi_perform(multi, &stillRunning) != CURLM_OK) {
            result = CURLE_UNRECOVERABLE_POLL;
            break;
        }
        auto wait = kLongestPoll;
        result = StepTransfer(Clock::now(), wait);
        if (result != CURLE_OK) {
            // A finished transfer's own result comes first, unless the end
            // was the caller's (a cancel, a failed sink).
            if (result == CURLE_OPERATION_TIMEDOUT && stillRunning == 0) result = CURLE_OK;
            else break;
        }
        if (stillRunning == 0) {
            int left = 0;
            CURLMsg* message = Curl().multi_info_read(multi, &left);
            result = message && message->msg == CURLMSG_DONE ? message->data.result
                                                             : CURLE_GOT_NOTHING;
            break;
        }
        if (Curl().multi_poll(multi, nullptr, 0, static_cast<int>(wait.count()) + 1, nullptr) !=
            CURLM_OK) {
            result = CURLE_UNRECOVERABLE_POLL;
            break;
        }
    }
    Curl().multi_remove_handle(multi, current.easy);
    return result;
}

void CDownloader::Configure(CURL* easy, const std::string& target, const CTimeLimits& limits) {
    Curl().easy_setopt(easy, CURLOPT_URL, target.c_str());
    Curl().easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CDownloader::WriteCallback);
    Curl().easy_setopt(easy, CURLOPT_WRITEDATA, this);
    Curl().easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CDownloader::HeaderCallback);
    Curl().easy_setopt(easy, CURLOPT_HEADERDATA, this);
    Curl().easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CDownloader::ProgressCallback);
    Curl().easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    Curl().easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    Curl().easy_setopt(easy, CURLOPT_RESOLVER_START_FUNCTION, &CDownloader::ResolverStartCallback);
    Curl().easy_setopt(easy, CURLOPT_RESOLVER_START_DATA, this);
    Curl().easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &CDownloader::OpenSocketCallback);
    Curl().easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    Curl().easy_setopt(easy, CURLOPT_PREREQFUNCTION, &CDownloader::PrereqCallback);
    Curl().easy_setopt(easy, CURLOPT_PREREQDATA, this);
    Curl().easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    Curl().easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    Curl().easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
    // A reply without a status line is let through to the write callback,
    // which refuses it with the reason it can tell from the first bytes.
    Curl().easy_setopt(easy, CURLOPT_HTTP09_ALLOWED, 1L);
    Curl().easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    // A cancel must not wait for a name lookup that is still running.
    Curl().easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);

    std::lock_guard lock(fieldsLock);
    if (security.httpsOnly) {
        // Neither the address nor a redirect may leave https, where the
        // server has to prove who it is.
        Curl().easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
        Curl().easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        Curl().easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        Curl().easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    }
    if (!security.caFile.empty()) Curl().easy_setopt(easy, CURLOPT_CAINFO, security.caFile.c_str());
    if (!userName.empty() || !password.empty()) {
        Curl().easy_setopt(easy, CURLOPT_USERNAME, userName.c_str());
        Curl().easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
        Curl().easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    }
    // "" names every encoding this libcurl can decode (gzip, deflate,
    // brotli, zstd), and has it decode them before the write callback.
    if (acceptCompressed) Curl().easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    if (transfer) {
        transfer->decoding = acceptCompressed;
        AddValidators(easy, *transfer);
    }
}

void CDownloader::AddValidators(CURL* easy, Transfer& current) {
    // A validator goes out only as it came in; one that could carry a line
    // end of its own (from a damaged or crafted document) is never sent.
    const auto add = [&current](const char* name, const std::string& value) {
        if (!IsSendableValidator(value)) return;
        curl_slist* more = Curl().slist_append(current.headers, (name + value).c_str());
        if (!more) return;  // out of memory: the request goes out unconditional
        current.headers = more;
        current.conditional = true;
    };
    add("If-None-Match: ", sentETag);
    add("If-Modified-Since: ", sentLastModified);
    if (current.headers) Curl().easy_setopt(easy, CURLOPT_HTTPHEADER, current.headers);
}

void CDownloader::BeginReceiving(CURL* easy) {
    progress.state = Receiving;
    progress.contentLength = 0;
    curl_off_t length = -1;
    // The length of an encoded body says nothing about the decoded one that
    // is counted and delivered (a few kilobytes may unpack to gigabytes).
    const bool decoded = transfer && transfer->decoding && transfer->head.Encoded();
    if (easy && !decoded &&
        Curl().easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        length > 0) {
        progress.contentLength = static_cast<std::uint64_t>(length);
    }
    if (transfer) transfer->receiving = true;
}

void CDownloader::Deliver(const char* data, std::size_t length, Transfer& current) {
    for (std::size_t offset = 0; offset < length && !IsCanceled(); offset += kChunkSize) {
        std::size_t chunk = std::min(kChunkSize, length - offset);
        progress.bytesReceived += chunk;
        Announce(&progress);
        OnData(data + offset, chunk);
        *current.bytesOut += chunk;
    }
}

void CDownloader::OnData(const char* buffer, std::size_t length) {
    if (sink) sink->Write(buffer, length);
}

void CDownloader::OnStatus(DownloadState state, const std::string& information) {
    progress.state = state;
    if (!information.empty()) progress.statusText = information;
    if (!IsCanceled()) Announce(&progress);
}

void CDownloader::Status(DownloadState state, const std::string& information) noexcept {
    // A subscriber's failure must not unwind through libcurl.
    try {
        OnStatus(state, information);
    } catch (...) {
    }
}

std::size_t CDownloader::WriteCallback(char* data, std::size_t size, std::size_t count,
                                       void* user) {
    auto* self = static_cast<CDownloader*>(user);
    Transfer& current = *self->transfer;
    const std::size_t length = size * count;
    if (self->IsCanceled() || current.pending) return CURL_WRITEFUNC_ERROR;
    current.lastActivity = Clock::now();
    if (current.http && current.head.Status() == 0) {
        // No status line: whatever this is, it is no web page.
        current.refused = kErrorInvalidServerResponse;
        if (LooksLikeTls(data, length)) current.refusedText = LoadString(IDS_TLS_OVER_HTTP);
        return CURL_WRITEFUNC_ERROR;
    }
    try {
        if (!current.receiving) self->BeginReceiving(current.easy);
        self->Deliver(data, length, current);
    } catch (...) {
        current.pending = std::current_exception();
        return CURL_WRITEFUNC_ERROR;
    }
    return self->IsCanceled() ? CURL_WRITEFUNC_ERROR : length;
}

std::size_t CDownloader::HeaderCallback(char* data, std::size_t size, std::size_t count,
                                        void* user) {
    auto* self = static_cast<CDownloader*>(user);
    if (self->IsCanceled()) return 0;
    Transfer& current = *self->transfer;
    current.lastActivity = Clock::now();
    const std::size_t length = size * count;
    if (!current.head.Add({data, length})) {
        current.refused = kErrorInvalidServerResponse;
        current.refusedText =
            FormatString(IDS_RESPONSE_HEAD_TOO_LARGE,
                         {CResponseHead::kMaxLines, CResponseHead::kMaxBytes / 1024});
        return 0;
    }
    if (current.head.Status() == kHttpNotModified && !current.conditional) {
        // "Not modified" since no version that was named: the answer has no
        // body, and the caller holds nothing that it could stand for.
        current.refused = kErrorHttpStatus;
        return 0;
    }
    return length;
}

int CDownloader::ProgressCallback(void* user, curl_off_t, curl_off_t dlNow, curl_off_t,
                                  curl_off_t ulNow) {
    auto* self = static_cast<CDownloader*>(user);
    if (self->IsCanceled()) return 1;
    Transfer& current = *self->transfer;
    if (dlNow != current.lastDown || ulNow != current.lastUp) {
        current.lastDown = dlNow;
        current.lastUp = ulNow;
        current.lastActivity = Clock::now();
    }
    return 0;
}

int CDownloader::ResolverStartCallback(void*, void*, void* user) {
    auto* self = static_cast<CDownloader*>(user);
    if (self->IsCanceled()) return 1;
    Transfer& current = *self->transfer;
    char* url = nullptr;
    Curl().easy_getinfo(current.easy, CURLINFO_EFFECTIVE_URL, &url);
    std::string host = url ? HostOf(url) : std::string();
    if (IsInvalidName(host)) return 1;  // reported as a name that does not resolve
    current.resolving = true;
    self->Status(Resolving, host);
    return 0;
}

curl_socket_t CDownloader::OpenSocketCallback(void* user, curlsocktype purpose,
                                              struct curl_sockaddr* address) {
    auto* self = static_cast<CDownloader*>(user);
    if (self->IsCanceled()) return CURL_SOCKET_BAD;
    Transfer& current = *self->transfer;
    current.lastActivity = Clock::now();
    if (purpose == CURLSOCKTYPE_IPCXN) {
        std::string text = AddressText(&address->addr);
        if (current.resolving) {
            current.resolving = false;
            self->Status(Resolved, text);
        }
        current.connecting = true;
        self->Status(Connecting, text);
    }
    int type = address->socktype;
#ifdef SOCK_CLOEXEC
    type |= SOCK_CLOEXEC;  // programs the user starts must not inherit it
#endif
    return socket(address->family, type, address->protocol);
}

int CDownloader::PrereqCallback(void* user, char* primaryIp, char*, int, int) {
    auto* self = static_cast<CDownloader*>(user);
    if (self->IsCanceled()) return CURL_PREREQFUNC_ABORT;
    Transfer& current = *self->transfer;
    current.lastActivity = Clock::now();
    // Called before every request, redirects included: the answer to come
    // has yet to show its status line.
    current.head.ExpectNewResponse();
    if (current.connecting) {
        current.connecting = false;
        self->Status(Connected, primaryIp ? primaryIp : "");
    }
    return CURL_PREREQFUNC_OK;
}

}  // namespace tallyhawk
