// What the downloader reads from the head of an HTTP response: the status
// line and the few header fields it reports (Content-Type, Retry-After).
//
// Heads come from any server on the network, so every field is bounded: the
// head as a whole (kMaxBytes, kMaxLines) and the reason phrase (kMaxReason),
// which also loses its control characters.
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

    // Forgets the status of the response so far, so that an answer with no
    // status line (before the next Add) shows as Status() 0.
    void ExpectNewResponse() { status = 0; }

private:
    std::int32_t status = 0;
    std::string reason;
    std::string contentType;
    std::string retryAfter;
    std::size_t bytes = 0;
    std::size_t lines = 0;
};

}  // namespace tallyhawk
