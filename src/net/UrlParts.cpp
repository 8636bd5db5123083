#include "net/UrlParts.h"

#include <curl/curl.h>

#include <memory>

namespace tallyhawk {

namespace {

struct CUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// One part, decoded when `decode`; empty when the URL has none.
std::string Part(CURLU* url, CURLUPart which, bool decode) {
    char* text = nullptr;
    if (curl_url_get(url, which, &text, decode ? CURLU_URLDECODE : 0) != CURLUE_OK) return {};
    std::string value = text;
    curl_free(text);
    return value;
}

}  // namespace

bool CrackUrl(const std::string& url, CUrlParts& parts) {
    std::unique_ptr<CURLU, CUrlDeleter> parsed(curl_url());
    if (!parsed ||
        curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
            CURLUE_OK) {
        return false;
    }
    parts.scheme = Part(parsed.get(), CURLUPART_SCHEME, false);
    parts.host = Part(parsed.get(), CURLUPART_HOST, true);
    parts.path = Part(parsed.get(), CURLUPART_PATH, true);
    const std::string query = Part(parsed.get(), CURLUPART_QUERY, true);
    if (!query.empty()) parts.path += "?" + query;
    return true;
}

}  // namespace tallyhawk
