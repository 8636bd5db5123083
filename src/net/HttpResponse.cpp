#include "net/HttpResponse.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "net/CurlLibrary.h"

namespace tallyhawk {

namespace {

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool NameIs(std::string_view name, std::string_view wanted) {
    return name.size() == wanted.size() &&
           std::equal(name.begin(), name.end(), wanted.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// "HTTP/1.1 404 Not Found": the three digits after the version, then the
// reason. False when the line has no status code.
bool ParseStatusLine(std::string_view line, std::int32_t& status, std::string& reason) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    std::string_view rest = line.substr(space + 1);
    if (rest.size() < 3 ||
        !std::all_of(rest.begin(), rest.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    status = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
    reason.clear();
    for (char c : Trim(rest.substr(3))) {
        if (reason.size() == CResponseHead::kMaxReason) break;
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) reason.push_back(c);
    }
    return true;
}

}  // namespace

std::string_view StandardReasonPhrase(std::int32_t status) {
    switch (status) {
        case 100:
            return "Continue";
        case 101:
            return "Switching Protocols";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted";
        case 203:
            return "Non-Authoritative Information";
        case 204:
            return "No Content";
        case 205:
            return "Reset Content";
        case 206:
            return "Partial Content";
        case 300:
            return "Multiple Choices";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 305:
            return "Use Proxy";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 402:
            return "Payment Required";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 406:
            return "Not Acceptable";
        case 407:
            return "Proxy Authentication Required";
        case 408:
            return "Request Timeout";
        case 409:
            return "Conflict";
        case 410:
            return "Gone";
        case 411:
            return "Length Required";
        case 412:
            return "Precondition Failed";
        case 413:
            return "Content Too Large";
        case 414:
            return "URI Too Long";
        case 415:
            return "Unsupported Media Type";
        case 416:
            return "Range Not Satisfiable";
        case 417:
            return "Expectation Failed";
        case 421:
            return "Misdirected Request";
        case 422:
            return "Unprocessable Content";
        case 425:
            return "Too Early";
        case 426:
            return "Upgrade Required";
        case 428:
            return "Precondition Required";
        case 429:
            return "Too Many Requests";
        case 431:
            return "Request Header Fields Too Large";
        case 451:
            return "Unavailable For Legal Reasons";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        case 505:
            return "HTTP Version Not Supported";
        case 511:
            return "Network Authentication Required";
        default:
            return {};
    }
}

std::int64_t ParseRetryAfter(std::string_view value, std::int64_t now) {
    value = Trim(value);
    if (value.empty()) return -1;
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        std::int64_t seconds = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), seconds);
        // More seconds than fit are as good as forever.
        return error == std::errc() ? seconds : std::numeric_limits<std::int64_t>::max();
    }
    // A date needs a letter: libcurl's reader takes a bare "-5" or "1.5" as
    // some time of its own.
    if (!std::any_of(value.begin(), value.end(),
                     [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
        return -1;
    const CCurlFunctions* curl = CurlLibrary();
    if (!curl) return -1;
    const std::string text(value);
    const std::int64_t when = curl->getdate(text.c_str(), nullptr);
    if (when == -1) return -1;
    return std::max<std::int64_t>(when - now, 0);
}

bool IsSendableValidator(std::string_view value) {
    return !value.empty() && value.size() <= kMaxValidator &&
           std::none_of(value.begin(), value.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
           });
}

bool CResponseHead::Add(std::string_view line) {
    if (line.starts_with("HTTP/")) {
        std::int32_t code = 0;
        std::string phrase;
        if (ParseStatusLine(line, code, phrase)) {
            *this = CResponseHead();
            status = code;
            reason = std::move(phrase);
        }
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trim(line.substr(colon + 1));
        if (NameIs(name, "Content-Type")) {
            contentType = value;
        } else if (NameIs(name, "Retry-After")) {
            retryAfter = value;
        } else if (NameIs(name, "ETag")) {
            etag = IsSendableValidator(value) ? value : std::string_view();
        } else if (NameIs(name, "Last-Modified")) {
            lastModified = IsSendableValidator(value) ? value : std::string_view();
        } else if (NameIs(name, "Content-Encoding")) {
            encoded = !value.empty() && !NameIs(value, "identity");
        }
    }
    bytes += line.size();
    ++lines;
    return bytes <= kMaxBytes && lines <= kMaxLines;
}

std::string CResponseHead::Reason() const {
    return reason.empty() ? std::string(StandardReasonPhrase(status)) : reason;
}

}  // namespace tallyhawk
