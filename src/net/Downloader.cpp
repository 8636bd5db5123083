#include "net/Downloader.h"

#include <algorithm>
#include <cctype>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

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
    CURLU* parsed = curl_url();
    if (!parsed) return host;
    char* part = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, url, CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) ==
            CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
        host = part;
        curl_free(part);
    }
    curl_url_cleanup(parsed);
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
    std::uint64_t* bytesOut = nullptr;
    std::exception_ptr pending;       // thrown by the sink or a subscriber
    Clock::time_point lastActivity;   // last time bytes moved or the connection advanced
    curl_off_t lastDown = 0;
    curl_off_t lastUp = 0;
    bool resolving = false;   // Resolving announced, Resolved not yet
    bool connecting = false;  // Connecting announced, Connected not yet
    bool receiving = false;   // the body has begun
};

CDownloader::CDownloader(std::chrono::milliseconds timeout) : timeout(timeout) {}

CDownloader::~CDownloader() {
    Close();
}

void CDownloader::SetCredentials(const std::string& name, const std::string& secret) {
    std::lock_guard lock(fieldsLock);
    userName = name;
    password = secret;
}

void CDownloader::ClearCredentials() { SetCredentials(std::string(), std::string()); }

void CDownloader::SetSecurity(const CTransportSecurity& value) {
    std::lock_guard lock(fieldsLock);
    security = value;
}

std::uint32_t CDownloader::GetError() const {
    std::lock_guard lock(fieldsLock);
    return error;
}

void CDownloader::SetError(std::uint32_t code) {
    std::lock_guard lock(fieldsLock);
    error = code;
}

void CDownloader::Cancel() {
    canceled.store(true, std::memory_order_release);
    std::lock_guard lock(wakeLock);
    if (multi) curl_multi_wakeup(multi);
}

void CDownloader::Close() {
    canceled.store(false, std::memory_order_release);
    std::unique_lock idle(downloading, std::try_to_lock);
    if (idle.owns_lock()) session.Close();
}

std::string CDownloader::NormalizeUrl(const std::string& url) {
    if (url.find("://") != std::string::npos) return url;
    return "http://" + url;
}

bool CDownloader::Download(const std::string& url, CDownloadSink* target,
                           std::uint64_t* bytesOut) {
    std::lock_guard running(downloading);
    SetError(0);
    sink = target;
    if (sink) sink->Truncate();
    std::uint64_t count = 0;
    if (!bytesOut) bytesOut = &count;
    *bytesOut = 0;
    canceled.store(false, std::memory_order_release);

    session.Open();  // every download in a fresh session
    progress = CDownloadProgress();
    progress.state = Connecting;
    progress.url = url;

    Transfer current;
    current.bytesOut = bytesOut;
    current.easy = session.Handle();
    transfer = &current;
    CURLcode result = CURLE_FAILED_INIT;
    if (current.easy && !IsCanceled()) result = Perform(NormalizeUrl(url), current);

    long verifyResult = 0;
    if (current.easy) curl_easy_getinfo(current.easy, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    session.Close();
    transfer = nullptr;
    if (current.pending) std::rethrow_exception(current.pending);

    if (result == CURLE_OK) {
        // The final, empty read: the body is complete.
        if (!current.receiving) BeginReceiving(nullptr);
        Announce(&progress);
        OnData(nullptr, 0);
        progress.state = Done;
        Announce(&progress);
        return true;
    }
    if (IsCanceled()) {
        SetError(kErrorOperationCanceled);
        progress.state = Canceled;
        Announce(&progress);
    } else if (!CSession::StartLibrary() || !current.easy) {
        SetError(kErrorNotInitialized);
    } else {
        SetError(InternetErrorFromCurl(result, verifyResult));
    }
    return false;
}

CURLcode CDownloader::Perform(const std::string& target, Transfer& current) {
    {
        std::lock_guard lock(wakeLock);
        multi = curl_multi_init();
    }
    struct MultiCleanup {
        CDownloader* self;
        ~MultiCleanup() {
            std::lock_guard lock(self->wakeLock);
            curl_multi_cleanup(self->multi);
            self->multi = nullptr;
        }
    } cleanup{this};
    if (!multi) return CURLE_FAILED_INIT;

    Configure(current.easy, target);
    if (curl_multi_add_handle(multi, current.easy) != CURLM_OK) return CURLE_FAILED_INIT;

    CURLcode result = CURLE_OK;
    current.lastActivity = Clock::now();
    for (;;) {
        int stillRunning = 0;
        if (curl_multi_perform(multi, &stillRunning) != CURLM_OK) {
            result = CURLE_UNRECOVERABLE_POLL;
            break;
        }
        if (current.pending) {
            result = CURLE_WRITE_ERROR;
            break;
        }
        if (IsCanceled()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (stillRunning == 0) {
            int left = 0;
            CURLMsg* message = curl_multi_info_read(multi, &left);
            result = message && message->msg == CURLMSG_DONE ? message->data.result
                                                             : CURLE_GOT_NOTHING;
            break;
        }
        // A stall longer than the time-out fails the transfer; libcurl's own
        // connect time-out covers the connection phase.
        auto idle = Clock::now() - current.lastActivity;
        if (idle >= timeout) {
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        auto wait = std::min(std::chrono::duration_cast<std::chrono::milliseconds>(timeout - idle),
                             kLongestPoll);
        if (curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait.count()) + 1, nullptr) !=
            CURLM_OK) {
            result = CURLE_UNRECOVERABLE_POLL;
            break;
        }
    }
    curl_multi_remove_handle(multi, current.easy);
    return result;
}

void CDownloader::Configure(CURL* easy, const std::string& target) {
    curl_easy_setopt(easy, CURLOPT_URL, target.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CDownloader::WriteCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CDownloader::HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CDownloader::ProgressCallback);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_RESOLVER_START_FUNCTION, &CDownloader::ResolverStartCallback);
    curl_easy_setopt(easy, CURLOPT_RESOLVER_START_DATA, this);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &CDownloader::OpenSocketCallback);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &CDownloader::PrereqCallback);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    // A cancel must not wait for a name lookup that is still running.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);

    std::lock_guard lock(fieldsLock);
    if (security.httpsOnly) {
        // Neither the address nor a redirect may leave https, where the
        // server has to prove who it is.
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    }
    if (!security.caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, security.caFile.c_str());
    if (!userName.empty() || !password.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, userName.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    }
}

void CDownloader::BeginReceiving(CURL* easy) {
    progress.state = Receiving;
    progress.contentLength = 0;
    curl_off_t length = -1;
    if (easy && curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
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
    try {
        if (!current.receiving) self->BeginReceiving(current.easy);
        self->Deliver(data, length, current);
    } catch (...) {
        current.pending = std::current_exception();
        return CURL_WRITEFUNC_ERROR;
    }
    return self->IsCanceled() ? CURL_WRITEFUNC_ERROR : length;
}

std::size_t CDownloader::HeaderCallback(char*, std::size_t size, std::size_t count, void* user) {
    auto* self = static_cast<CDownloader*>(user);
    if (self->IsCanceled()) return 0;
    self->transfer->lastActivity = Clock::now();
    return size * count;
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
    curl_easy_getinfo(current.easy, CURLINFO_EFFECTIVE_URL, &url);
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
    if (current.connecting) {
        current.connecting = false;
        self->Status(Connected, primaryIp ? primaryIp : "");
    }
    return CURL_PREREQFUNC_OK;
}

}  // namespace tallyhawk
