#include "cli/PageOptions.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "base/Exception.h"
#include "cli/DocumentFrontEnd.h"
#include "cli/OutputModes.h"
#include "engine/LocalTime.h"
#include "engine/WatchSite.h"

namespace tallyhawk::cli {

namespace {

constexpr const char* kEnterInteger = "Please enter an integer.";

std::int32_t ParseInteger(const std::string& text, std::int32_t low, std::int32_t high) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        throw CGenericException(kEnterInteger);
    std::int32_t value = static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
    if (value < low || value > high) {
        char message[128];
        std::snprintf(message, sizeof message, "Please enter an integer between %d and %d.", low, high);
        throw CGenericException(message);
    }
    return value;
}

struct Clock {
    int hour, minute, second;
};

// "HH:MM:SS"; hours up to `maxHour`.
Clock ParseClock(const std::string& text, int maxHour) {
    unsigned h = 0, m = 0, s = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%u:%u:%u%c", &h, &m, &s, &tail) != 3)
        throw CGenericException("Please enter a time as HH:MM:SS.");
    char message[128];
    if (h > static_cast<unsigned>(maxHour)) {
        std::snprintf(message, sizeof message, "Please enter an integer between 0 and %d.", maxHour);
        throw CGenericException(message);
    }
    if (m > 59 || s > 59) throw CGenericException("Please enter an integer between 0 and 59.");
    return {int(h), int(m), int(s)};
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

std::int32_t ParseDays(const std::string& text) {
    static const char* const kDays[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    std::int32_t days = 0;
    for (const std::string& item : SplitList(text)) {
        if (item == "none" && text == "none") return 0;
        bool found = false;
        for (int i = 0; i < 7; ++i) {
            if (item == kDays[i]) {
                days |= 1 << i;
                found = true;
            }
        }
        if (!found) throw CGenericException("Unknown day '" + item + "' (use mon,tue,wed,thu,fri,sat,sun).");
    }
    return days;
}

std::uint32_t ParseNotify(const std::string& text) {
    if (text == "none") return 0;
    std::uint32_t flags = 0;
    for (const std::string& item : SplitList(text)) {
        if (item == "sound") flags |= NotifyPlaySound;
        else if (item == "app") flags |= NotifyLaunchApplication;
        else if (item == "tray") flags |= NotifyFlashTrayIcon;
        else if (item == "browser") flags |= NotifyLaunchBrowser;
        else throw CGenericException("Unknown notification '" + item + "' (use sound, app, tray, browser or none).");
    }
    return flags;
}

std::int32_t ParseOutput(const std::string& text) {
    if (std::optional<OutputMode> mode = OutputModeFromName(text)) return static_cast<std::int32_t>(*mode);
    throw CGenericException("Unknown output '" + text + "' (use " + kOutputModeChoices + ").");
}

// "#RRGGBB", as show prints a colour, or the stored value 0xBBGGRR.
std::uint32_t ParseColor(const std::string& text) {
    constexpr const char* kBadColor = "Please enter a colour as #RRGGBB or 0xBBGGRR.";
    if (!text.empty() && text[0] == '#') {
        if (text.size() != 7 ||
            text.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
            throw CGenericException(kBadColor);
        const auto rgb = static_cast<std::uint32_t>(std::strtoul(text.c_str() + 1, nullptr, 16));
        // Red comes first in the text and lowest in the stored value.
        return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
    }
    char* end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end != '\0' || value > 0xFFFFFF)
        throw CGenericException(kBadColor);
    return static_cast<std::uint32_t>(value);
}

}  // namespace

bool ParsePageOption(const std::vector<std::string>& args, std::size_t& i, PageOptions& options) {
    const std::string& option = args[i];
    if (option == "--enable" || option == "--disable") {
        options.enable = option == "--enable";
        return true;
    }
    if (option == "--always") {
        options.always = true;
        return true;
    }
    static const char* const kWithValue[] = {
        "--url", "--name", "--periodic", "--interval", "--days", "--retry", "--ignore-first",
        "--ignore-last", "--notify", "--output", "--highlight", "--viewer", "--sound", "--user",
        "--password", "--compare", "--region", "--ignore-region", "--ignore-text", "--learn-noise"};
    bool known = false;
    for (const char* name : kWithValue) known = known || option == name;
    if (!known) return false;
    if (i + 1 >= args.size()) throw CGenericException(option + " needs a value.");
    const std::string& value = args[++i];
    if (option == "--url") {
        if (value.empty()) throw CGenericException("The page's URL field can not be empty.");
        options.url = value;
    } else if (option == "--name") {
        if (value.empty()) throw CGenericException("The page's name field can not be empty.");
        options.name = value;
    } else if (option == "--periodic") {
        std::size_t dash = value.find('-');
        if (dash == std::string::npos) throw CGenericException("Please enter the window as HH:MM:SS-HH:MM:SS.");
        Clock begin = ParseClock(value.substr(0, dash), 23);
        Clock end = ParseClock(value.substr(dash + 1), 23);
        options.beginTime = TimeOnFirstOfJanuary1970(begin.hour, begin.minute, begin.second);
        options.endTime = TimeOnFirstOfJanuary1970(end.hour, end.minute, end.second);
    } else if (option == "--interval") {
        Clock interval = ParseClock(value, 24);
        options.interval = interval.hour * 3600 + interval.minute * 60 + interval.second;
    } else if (option == "--days") {
        options.days = ParseDays(value);
    } else if (option == "--retry") {
        if (value.size() > 1) throw CGenericException("Please enter an integer between 0 and 9.");
        options.retry = ParseInteger(value, 0, 9);
    } else if (option == "--ignore-first") {
        options.ignoreFirst = ParseInteger(value, 0, 100);
    } else if (option == "--ignore-last") {
        options.ignoreLast = ParseInteger(value, 0, 100);
    } else if (option == "--notify") {
        options.notify = ParseNotify(value);
    } else if (option == "--output") {
        options.outputMode = ParseOutput(value);
    } else if (option == "--highlight") {
        options.highlight = ParseColor(value);
    } else if (option == "--viewer") {
        options.viewer = value;
    } else if (option == "--sound") {
        options.sound = value;
    } else if (option == "--user") {
        options.user = value;
    } else if (option == "--compare") {
        if (value != "text" && value != "source")
            throw CGenericException("Unknown comparison '" + value + "' (use text or source).");
        options.compareText = value == "text";
    } else if (option == "--region") {
        options.region = value;
    } else if (option == "--ignore-region" || option == "--ignore-text") {
        auto& list = option == "--ignore-region" ? options.ignoreRegions : options.ignoreText;
        if (!list) list.emplace();
        if (!value.empty()) list->push_back(value);
    } else if (option == "--learn-noise") {
        if (value == "reset") {
            options.resetNoise = true;
        } else if (value == "on" || value == "off") {
            options.learnNoise = value == "on";
        } else {
            throw CGenericException("Please give --learn-noise on, off or reset.");
        }
    } else {
        options.password = value;
    }
    return true;
}

void ApplyPageOptions(const PageOptions& options, CWatchSite& page, bool withPageFields) {
    CWatcherSettings settings = page.GetSettings();
    if (options.always) settings.SetAlwaysUpdate(true);
    if (options.beginTime) {
        settings.SetAlwaysUpdate(false);
        settings.SetBeginTime(*options.beginTime);
        settings.SetEndTime(*options.endTime);
    }
    if (options.interval) settings.SetInterval(*options.interval);
    if (options.days) settings.SetDays(*options.days);
    if (options.retry) settings.SetRetryCount(*options.retry);
    if (options.ignoreFirst) settings.SetIgnoreBeginning(*options.ignoreFirst);
    if (options.ignoreLast) settings.SetIgnoreEnding(*options.ignoreLast);
    if (options.notify) settings.SetNotifyFlags(*options.notify);
    if (options.outputMode) settings.SetOutputMode(*options.outputMode);
    if (options.highlight) settings.SetHighlightColor(*options.highlight);
    if (options.viewer) settings.SetViewer(*options.viewer);
    if (options.sound) settings.SetSoundFile(*options.sound);
    if (options.user) settings.SetUserName(*options.user);
    if (options.password) settings.SetPassword(*options.password);
    if (options.compareText) {
        settings.SetCompareWhat(*options.compareText ? CWatcherSettings::CompareText
                                                     : CWatcherSettings::CompareSource);
    }
    if (options.region) settings.SetRegion(*options.region);
    if (options.ignoreRegions) settings.SetIgnoreRegions(*options.ignoreRegions);
    if (options.ignoreText) settings.SetIgnoreText(*options.ignoreText);
    if (options.learnNoise) settings.SetLearnNoise(*options.learnNoise);
    // Checked before anything is written, as the property sheet checks it;
    // a selector or pattern that cannot be used is bad use, like a bad number.
    try {
        CCompiledFilter::Compile(CWatchedVersions::FilterOf(settings));
    } catch (const CFilterError& error) {
        throw UsageError{error.Message()};
    }
    if (options.resetNoise && !withPageFields)
        throw UsageError{"--learn-noise reset forgets what a page learned; new pages have learned nothing"};
    if (withPageFields && options.enable) page.Enable(*options.enable);
    if (withPageFields && options.resetNoise) page.SetLearnedNoise(CLearnedNoise());
    if (withPageFields && options.url) page.SetUrl(*options.url);
    if (withPageFields && options.name) page.SetName(*options.name);
    page.SetSettings(settings);
}

std::string StatusName(std::int32_t status) {
    std::string text = StatusText(status);
    return text.empty() ? "Unknown (" + std::to_string(status) + ")" : text;
}

std::string NotifyWords(std::uint32_t flags) {
    static const struct {
        std::uint32_t flag;
        const char* words;
    } kWords[] = {{NotifyPlaySound, "play sound"},
                  {NotifyLaunchApplication, "launch application"},
                  {NotifyLaunchBrowser, "launch browser"},
                  {NotifyFlashTrayIcon, "flash tray icon"}};
    std::string text;
    auto add = [&](const std::string& words) { text += (text.empty() ? "" : ", ") + words; };
    for (const auto& known : kWords) {
        if (flags & known.flag) add(known.words);
        flags &= ~known.flag;
    }
    for (std::uint32_t bit = 1; flags != 0; bit <<= 1) {
        if (!(flags & bit)) continue;
        char number[16];
        std::snprintf(number, sizeof number, "0x%02X", bit);
        add(number);
        flags &= ~bit;
    }
    return text.empty() ? "none" : text;
}

std::string ColorText(std::uint32_t color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF,
                  (color >> 16) & 0xFF);
    return text;
}

// The length of the well-formed UTF-8 sequence of two bytes or more at `at`
// (no overlong forms, no surrogates, nothing above U+10FFFF), or 0; 0 for
// an ASCII byte too.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c >= 0x20 && c < 0x80) {
                    out += static_cast<char>(c);
                } else if (const std::size_t length = Utf8SequenceLength(text, i)) {
                    out.append(text, i, length);
                    i += length - 1;
                } else {
                    // A control character, or a byte of no UTF-8 sequence (a
                    // page in another character set): JSON holds only
                    // Unicode, so the byte is written as the character of
                    // that number.
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                }
        }
    }
    return out + "\"";
}

std::string FormatTimeOfDay(std::int64_t seconds) {
    std::tm local = ToLocal(seconds);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

}  // namespace tallyhawk::cli
