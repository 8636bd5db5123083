// The page options shared by tallyhawk-cli's add, set and defaults, checked
// as the page property sheet checks its fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallyhawk {
class CWatchSite;
}

namespace tallyhawk::cli {

struct PageOptions {
    std::optional<std::string> url;
    std::optional<std::string> name;
    std::optional<bool> enable;
    bool always = false;
    std::optional<std::int64_t> beginTime;  // 1 Jan 1970, local
    std::optional<std::int64_t> endTime;
    std::optional<std::int32_t> interval;  // seconds
    std::optional<std::int32_t> days;
    std::optional<std::int32_t> retry;
    std::optional<std::int32_t> ignoreFirst;
    std::optional<std::int32_t> ignoreLast;
    std::optional<std::uint32_t> notify;
    std::optional<std::int32_t> outputMode;
    std::optional<std::uint32_t> highlight;
    std::optional<std::string> viewer;
    std::optional<std::string> sound;
    std::optional<std::string> user;
    std::optional<std::string> password;
    // What to watch. A list option given once or more replaces the list;
    // an empty value clears it.
    std::optional<bool> compareText;
    std::optional<std::string> region;
    std::optional<std::vector<std::string>> ignoreRegions;
    std::optional<std::vector<std::string>> ignoreText;
    std::optional<bool> learnNoise;
    bool resetNoise = false;  // forget what the page learned
};

// Takes the page option at args[i] (and its value, advancing i). Returns
// false when args[i] is not a page option; throws CGenericException with the
// message for a bad value.
bool ParsePageOption(const std::vector<std::string>& args, std::size_t& i, PageOptions& options);

// Writes the options into the page (read-modify-write of its settings). The
// page's own fields (url, name, enable) only when `withPageFields`. Throws
// CFilterError, leaving the page as it was, when the region, an ignored
// region or an ignored text cannot be used.
void ApplyPageOptions(const PageOptions& options, CWatchSite& page, bool withPageFields);

// Names and values. A status is named by its text in the string table.
std::string StatusName(std::int32_t status);
// Notification flags in words, in the order of the Notify page: "play
// sound, launch application, launch browser, flash tray icon", "none" for
// none; a bit of no known meaning as its number ("0x08").
std::string NotifyWords(std::uint32_t flags);
// A stored colour (a COLORREF, 0x00BBGGRR) as "#RRGGBB".
std::string ColorText(std::uint32_t color);
// `text` as a JSON string literal. Well-formed UTF-8 is kept; any other byte
// above 0x7F (a page in another character set) is written as \u00XX, the
// character of that number, so that the result is always valid JSON.
std::string JsonString(const std::string& text);
// The length of the well-formed UTF-8 sequence of two bytes or more at
// `at` (no overlong forms, no surrogates, nothing above U+10FFFF), or 0; 0
// for an ASCII byte too.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at);
std::string FormatTimeOfDay(std::int64_t seconds);  // "HH:MM:SS", local

}  // namespace tallyhawk::cli
