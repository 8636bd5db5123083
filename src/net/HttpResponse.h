// What the downloader reads from the head of an HTTP response: the status
// line and the few header fields it reports (Content-Type, Retry-After, the
// validators ETag and Last-Modified, Content-Encoding).
//
// Heads come from any server on the network, so every field is bounded: the
// head as a whole (kMaxBytes, kMaxLines), the reason phrase (kMaxReason),
// which also loses its control characters, and the validators, which are
// kept only when they can be sent back as they are (IsSendableValidator).
//
// Plain values; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tallyhawk {

// The reason phrase the HTTP standards give `status` ("Not Found" for 404);
// empty for a status they do not name.
std::string_view StandardReasonPhrase(std::int32_t status);

// The seconds a Retry-After value asks to wait: delta-seconds ("120"), or an
// HTTP-date in any of the three forms HTTP allows, taken relative to `now`
// (seconds since 1970) and never below 0. -1 when the value is neither.
std::int64_t ParseRetryAfter(std::string_view value, std::int64_t now);

// The answer to a conditional request whose validators still match.
inline constexpr std::int32_t kHttpNotModified = 304;

// The longest validator (an ETag or a Last-Modified value) kept or sent.
// Real ones are a few dozen bytes; a longer one is no use to anybody.
inline constexpr std::size_t kMaxValidator = 1024;

// A validator that may go into a request header as it is: not empty, at
// most kMaxValidator bytes, and free of control characters (CR and LF
// above all, which would let it add header lines of its own).
bool IsSendableValidator(std::string_view value);

class CResponseHead {
public:
    // The most one response's head may take; a server that sends more is
    // not answering as a web server does.
    static constexpr std::size_t kMaxBytes = 100 * 1024;
    static constexpr std::size_t kMaxLines = 1000;
    static constexpr std::size_t kMaxReason = 200;

    // One line as libcurl hands it over, line end included. A status line
    // ("HTTP/...") begins a new response and forgets the fields of the one
    // before (a redirect, an interim 1xx answer). False once the head has
    // grown past the limits.
    bool Add(std::string_view line);

    // 0 until a status line has been read.
    std::int32_t Status() const { return status; }
    // The reason phrase as sent, or the standard one when none was sent.
    std::string Reason() const;
    const std::string& ContentType() const { return contentType; }
    // The raw Retry-After value; empty when absent.
    const std::string& RetryAfter() const { return retryAfter; }
    // The ETag and Last-Modified values as sent, trimmed; empty when absent
    // or not sendable (see IsSendableValidator).
    const std::string& ETag() const { return etag; }
    const std::string& LastModified() const { return lastModified; }
    // The body is sent encoded (Content-Encoding other than "identity"), so
    // its Content-Length counts the encoded bytes, not the page's.
    bool Encoded() const { return encoded; }

    // Forgets the status of the response so far, so that an answer with no
    // status line (before the next Add) shows as Status() 0.
    void ExpectNewResponse() { status = 0; }

private:
    std::int32_t status = 0;
    std::string reason;
    std::string contentType;
    std::string retryAfter;
    std::string etag;
    std::string lastModified;
    bool encoded = false;
    std::size_t bytes = 0;
    std::size_t lines = 0;
};

}  // namespace tallyhawk
