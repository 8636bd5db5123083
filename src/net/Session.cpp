#include "net/Session.h"

#include <mutex>

#include "net/CurlLibrary.h"

namespace tallyhawk {

CSession::CSession() { Open(); }

CSession::~CSession() { Close(); }

bool CSession::StartLibrary() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        const CCurlFunctions* curl = CurlLibrary();
        started = curl && curl->global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    });
    return started;
}

void CSession::Open() {
    Close();
    if (!StartLibrary()) return;
    handle = Curl().easy_init();
    if (!handle) return;
    Curl().easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    // Worker threads must not get signals from libcurl's own time-outs.
    Curl().easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    Curl().easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https,ftp,file");
    // A server may send us on to another web address only: never to a
    // local file, nor to a protocol the page's address did not name.
    Curl().easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // libcurl takes the proxy from http_proxy, https_proxy and no_proxy by
    // itself when CURLOPT_PROXY is left unset: those are the user's settings.
}

bool CSession::Close() {
    if (!handle) return false;
    Curl().easy_cleanup(handle);
    handle = nullptr;
    return true;
}

}  // namespace tallyhawk
