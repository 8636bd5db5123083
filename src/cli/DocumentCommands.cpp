// tallyhawk-cli's document commands: keep pages in a .wat file, check them,
// view their changes and watch them, without a window. The one-pass check
// is in CheckCommand.cpp.
#include <sys/stat.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/PageCheck.h"
#include "app/TallyhawkDoc.h"
#include "base/Exception.h"
#include "base/StringTable.h"
#include "cli/Commands.h"
#include "cli/DocumentFrontEnd.h"
#include "cli/OutputModes.h"
#include "cli/PageOptions.h"
#include "cli/TerminalText.h"
#include "diff/ChangeDetector.h"
#include "engine/PageName.h"
#include "engine/PagePreview.h"
#include "net/Downloader.h"
#include "net/Session.h"
#include "engine/WatchSite.h"

namespace tallyhawk::cli {

#define TALLYHAWK_PAGE_OPTIONS_HELP                                                     \
    "Page options:\n"                                                                   \
    "  --url U, --name N         the page's address and name\n"                         \
    "  --enable, --disable       check the page, or leave it alone\n"                   \
    "  --always                  check at any time of day\n"                            \
    "  --periodic HH:MM:SS-HH:MM:SS  check only inside this daily window\n"             \
    "  --interval HH:MM:SS       time between checks\n"                                 \
    "  --days mon,tue,...,sun    days on which to check\n"                              \
    "  --retry N                 failures (0-9) before the page is disabled\n"          \
    "  --ignore-first N, --ignore-last N  changes (0-100) to disregard\n"               \
    "  --notify LIST             of sound, app, tray, browser; or none\n"               \
    "  --output MODE             added-text, deleted-text, added-html, deleted-html,\n" \
    "                            highlighted\n"                                         \
    "  --highlight #RRGGBB       colour of the added text (or 0xBBGGRR, as stored)\n"   \
    "  --viewer PATH, --sound PATH, --user NAME, --password PASS\n"                  \
    "What to watch:\n"                                                                  \
    "  --compare text|source     the visible text (one line per block) or the source\n" \
    "  --region SELECTOR         only this part: a CSS selector, or XPath when it\n"    \
    "                            starts with / or (; \"\" for the whole page\n"          \
    "  --ignore-region SELECTOR  leave this part out (repeatable; \"\" clears)\n"       \
    "  --ignore-text REGEX       leave out text that matches (repeatable; \"\" clears)\n" \
    "  --learn-noise on|off|reset  learn on its own what changes at every visit;\n" \
    "                            reset forgets what the page learned\n"

const char* const kNewHelp =
    "Usage: tallyhawk-cli new FILE\nCreates FILE as an empty document.\n";
const char* const kAddHelp =
    "Usage: tallyhawk-cli add FILE URL [--name NAME] [PAGE OPTIONS]\n"
    "Adds a page with the default settings; without --name it is named from\n"
    "its address.\n\n" TALLYHAWK_PAGE_OPTIONS_HELP;

// Where a command takes one page.
#define TALLYHAWK_PAGE_HELP                                                          \
    "PAGE is the page's number as list prints it (from 0) or its name; when no\n"    \
    "page has that name exactly, one that differs only in the case of its letters\n" \
    "will do. A name that several pages share is an error that lists them.\n"

// What list and show say when the desktop program has the document open.
#define TALLYHAWK_WINDOW_NOTE_HELP                                                 \
    "When the desktop program has FILE open, a note on standard error says that\n" \
    "its window may show newer states than those printed.\n"

const char* const kListHelp =
    "Usage: tallyhawk-cli list FILE [--json]\n"
    "Lists the pages as \"NUMBER<TAB>STATUS<TAB>NAME<TAB>URL\"; NUMBER counts\n"
    "from 0.\n" TALLYHAWK_WINDOW_NOTE_HELP;
const char* const kShowHelp =
    "Usage: tallyhawk-cli show FILE PAGE [--json]\n"
    "Shows one page and its settings: notifications in words, colours as\n"
    "#RRGGBB (the JSON keeps the stored numbers).\n" TALLYHAWK_PAGE_HELP TALLYHAWK_WINDOW_NOTE_HELP;
const char* const kSetHelp =
    "Usage: tallyhawk-cli set FILE PAGE [PAGE OPTIONS]\n"
    "       tallyhawk-cli set FILE --all [PAGE OPTIONS]\n"
    "Changes a page, or with --all every page (--url and --name excepted).\n" TALLYHAWK_PAGE_HELP
    "\n" TALLYHAWK_PAGE_OPTIONS_HELP;
const char* const kRemoveHelp =
    "Usage: tallyhawk-cli remove FILE PAGE\nRemoves a page.\n" TALLYHAWK_PAGE_HELP;
const char* const kDefaultsHelp =
    "Usage: tallyhawk-cli defaults [--json] [PAGE OPTIONS] [--log-file PATH]\n"
    "                              [--logging on|off] [--max-lines N]\n"
    "                              [--time-limit SECONDS] [--transfers N]\n"
    "                              [--per-server N] [--history-versions N]\n"
    "                              [--history-days N]\n"
    "Shows or changes the settings new pages start with, the log settings\n"
    "(--max-lines -1: no bound), the time limit of a whole download (10 to\n"
    "3600 seconds, 120 at first; connecting and any stall may take at most 30\n"
    "seconds of it) and how many pages watching and check download at once\n"
    "(--transfers, 16 at first) and at once from one server (--per-server, 2\n"
    "at first), each 1 to 64, and how much history each page keeps (the newest\n"
    "--history-versions, 500 at first, and none older than --history-days, 730\n"
    "at first; 0: no bound). --url, --name, --enable and --disable do not\n"
    "apply here.\n\n" TALLYHAWK_PAGE_OPTIONS_HELP;
const char* const kUpdateHelp =
    "Usage: tallyhawk-cli update FILE PAGE\n"
    "Enables the page, checks it now (progress on standard error) and, when the\n"
    "check succeeds, shows its changes and accepts them.\n" TALLYHAWK_PAGE_HELP;
const char* const kViewHelp =
    "Usage: tallyhawk-cli view FILE PAGE [--print]\n"
    "Shows the page's changes as its settings say and accepts them; with --print\n"
    "the change output is written to standard output instead.\n" TALLYHAWK_PAGE_HELP;
const char* const kPreviewHelp =
    "Usage: tallyhawk-cli preview FILE PAGE [--removed]\n"
    "Downloads the page now and prints what its settings watch on it: the\n"
    "visible text or the region, without what they ignore, as the next check\n"
    "will compare it. With --removed it then prints what each setting took\n"
    "away, and for a page that learns its noise each line the noise changes,\n"
    "as the checks compare it (\"…\" where the noise is). The page and the\n"
    "document are left as they are; exits 1 when the download fails or the\n"
    "region matches nothing.\n" TALLYHAWK_PAGE_HELP;
const char* const kWatchHelp =
    "Usage: tallyhawk-cli watch FILE [--for SECONDS]\n"
    "Watches the pages until interrupted (or for SECONDS), printing each log\n"
    "entry and each status change, and saves the document as it changes.\n";

namespace {

// Equal bytes, ASCII letters in either case; other bytes (a name in any
// character set) must match exactly.
bool SameLetters(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

// PAGE as the user gives it: digits alone are the page's number; anything
// else its name, byte for byte, or else with ASCII letters in any case. A
// name that several pages share is an error that lists them.
std::int32_t FindPage(const std::string& text, CTallyhawkDoc& doc) {
    CWatchSiteList& list = doc.GetPageList();
    const std::int32_t count = list.GetCount();
    if (text.empty()) throw UsageError{"PAGE must be a page's number or name, not empty"};
    if (text.find_first_not_of("0123456789") == std::string::npos) {
        const long index = text.size() > 9 ? count : std::strtol(text.c_str(), nullptr, 10);
        if (index >= count)
            throw UsageError{"there is no page " + text + " (the document has " +
                             std::to_string(count) + (count == 1 ? " page)" : " pages)")};
        return static_cast<std::int32_t>(index);
    }
    std::vector<std::int32_t> exact, anyCase;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string name = list.GetAt(i)->GetName();
        if (name == text)
            exact.push_back(i);
        else if (SameLetters(name, text))
            anyCase.push_back(i);
    }
    const std::vector<std::int32_t>& found = exact.empty() ? anyCase : exact;
    if (found.size() == 1) return found[0];
    if (found.empty()) throw UsageError{"no page is named '" + OneLine(text) + "'"};
    std::string message = std::to_string(found.size()) + " pages are named '" + OneLine(text) +
                          "'; give the number of one of them:";
    for (std::int32_t i : found)
        message += "\n  " + std::to_string(i) + "\t" + OneLine(list.GetAt(i)->GetName());
    throw UsageError{message};
}

namespace {

std::string DaysText(std::int32_t days) {
    static const char* const kDays[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    std::string text;
    for (int i = 0; i < 7; ++i) {
        if (days & (1 << i)) text += std::string(text.empty() ? "" : ",") + kDays[i];
    }
    return text.empty() ? "none" : text;
}

std::string SettingsJson(const CWatcherSettings& s) {
    char colors[64];
    std::snprintf(colors, sizeof colors, "\"highlightColor\": %u, \"secondHighlightColor\": %u",
                  s.GetHighlightColor(), s.GetSecondHighlightColor());
    return std::string("{\"alwaysUpdate\": ") + (s.GetAlwaysUpdate() ? "true" : "false") +
           ", \"beginTime\": " + JsonString(FormatTimeOfDay(s.GetStoredBeginTime())) +
           ", \"endTime\": " + JsonString(FormatTimeOfDay(s.GetStoredEndTime())) +
           ", \"days\": " + std::to_string(s.GetDays()) +
           ", \"notifyFlags\": " + std::to_string(s.GetNotifyFlags()) +
           ", \"viewer\": " + JsonString(s.GetViewer()) +
           ", \"soundFile\": " + JsonString(s.GetSoundFile()) +
           ", \"interval\": " + std::to_string(s.GetInterval()) +
           ", \"ignoreBeginning\": " + std::to_string(s.GetIgnoreBeginning()) +
           ", \"ignoreEnding\": " + std::to_string(s.GetIgnoreEnding()) +
           ", \"retryCount\": " + std::to_string(s.GetRetryCount()) +
           ", \"outputMode\": " + std::to_string(s.GetOutputMode()) + ", " + colors +
           ", \"userName\": " + JsonString(s.GetUserName()) +
           ", \"hasPassword\": " + (s.GetPassword().empty() ? "false" : "true") + ", " +
           WatchSettingsJson(s) + "}";
}

void PrintSettings(const CWatcherSettings& s) {
    std::printf("schedule:  %s\n", s.GetAlwaysUpdate()
                                       ? "always"
                                       : ("periodic " + FormatTimeOfDay(s.GetStoredBeginTime()) + "-" +
                                          FormatTimeOfDay(s.GetStoredEndTime()))
                                             .c_str());
    std::printf("interval:  %d seconds\n", s.GetInterval());
    std::printf("days:      %s\n", DaysText(s.GetDays()).c_str());
    std::printf("retry:     %d\n", s.GetRetryCount());
    std::printf("ignore:    first %d, last %d\n", s.GetIgnoreBeginning(), s.GetIgnoreEnding());
    std::printf("notify:    %s\n", NotifyWords(s.GetNotifyFlags()).c_str());
    std::printf("output:    %s\n", OutputModeName(s.GetOutputMode()));
    std::printf("highlight: %s, removed text %s\n", ColorText(s.GetHighlightColor()).c_str(),
                ColorText(s.GetSecondHighlightColor()).c_str());
    std::printf("viewer:    %s\n", s.GetViewer().c_str());
    std::printf("sound:     %s\n", s.GetSoundFile().c_str());
    std::printf("user:      %s\n", s.GetUserName().c_str());
    std::printf("password:  %s\n", s.GetPassword().empty() ? "(none)" : "(set)");
    std::printf("compare:   %s\n", s.GetCompareWhat() == CWatcherSettings::CompareText
                                       ? "text (the visible text)"
                                       : "source (the page's source)");
    std::printf("region:    %s\n", s.GetRegion().empty() ? "(the whole page)" : s.GetRegion().c_str());
    for (const std::string& entry : s.GetIgnoreRegions())
        std::printf("ignore region: %s\n", entry.c_str());
    for (const std::string& entry : s.GetIgnoreText())
        std::printf("ignore text:   %s\n", entry.c_str());
    std::printf("learn noise: %s\n", s.GetLearnNoise() ? "on" : "off");
}

// The page list's ViewChanges, its failure said as such: a bare "No such
// file or directory" would not tell that the viewer or browser did not start.
// Views a page's changes. The change files outlive this process: the
// browser or viewer it started may open them only after we have ended.
void ViewChanges(CTallyhawkDoc& doc, std::int32_t index) {
    try {
        doc.ViewChanges(index);
    } catch (const CException& error) {
        throw CGenericException("the changes could not be shown: " + error.Message());
    }
    if (auto page = doc.GetPageList().GetAt(index)) page->KeepTempFiles();
}

}  // namespace

int RunNew(const Args& args) {
    return Run("new", [&] {
        Parsed parsed = Parse(args, false, {});
        RequirePositional(parsed, 1, "FILE");
        const std::string& path = parsed.positional[0];
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0)
            throw CGenericException(path + " already exists; it was left as it is.");
        FrontEnd front;
        CTallyhawkDoc doc(&front.app);
        doc.OnNewDocument();
        Save(doc, path);
        return 0;
    });
}

int RunAdd(const Args& args) {
    return Run("add", [&] {
        Parsed parsed = Parse(args, true, {});
        RequirePositional(parsed, 2, "FILE URL");
        FrontEnd front;
        auto doc = OpenDocument(front, parsed.positional[0], true);
        CWatchSite page(front.defaultPage);
        page.SetUrl(parsed.positional[1]);
        if (parsed.positional[1].empty()) throw UsageError{LoadString(IDS_URL_EMPTY)};
        ApplyPageOptions(parsed.page, page, true);
        if (page.GetName().empty()) page.SetName(PageNameFromUrl(page.GetUrl()));
        if (page.GetName().empty())
            throw UsageError{LoadString(IDS_NAME_EMPTY) + " (give --name)"};
        std::int32_t index = doc->GetPageList().Add(page);
        Save(*doc, parsed.positional[0]);
        std::printf("%d\n", index);
        return 0;
    });
}

int RunList(const Args& args) {
    return Run("list", [&] {
        Parsed parsed = Parse(args, false, {"--json"});
        RequirePositional(parsed, 1, "FILE");
        FrontEnd front;
        auto doc = OpenDocument(front, parsed.positional[0], false);
        NoteShownInWindow("list", parsed.positional[0]);
        CWatchSiteList& list = doc->GetPageList();
        if (parsed.json) std::printf("[");
        for (std::int32_t i = 0; i < list.GetCount(); ++i) {
            const CWatchSite& page = *list.GetAt(i);
            if (parsed.json) {
                std::printf("%s%s, %s}", i ? ",\n " : "", PageJson(i, page).c_str(),
                            WatchSettingsJson(page.GetSettings()).c_str());
            } else {
                std::printf("%d\t%s\t%s\t%s\n", i, StatusName(page.GetStatus()).c_str(), page.GetName().c_str(),
                            page.GetUrl().c_str());
            }
        }
        if (parsed.json) std::printf("]\n");
        return 0;
    });
}

int RunShow(const Args& args) {
    return Run("show", [&] {
        Parsed parsed = Parse(args, false, {"--json"});
        RequirePositional(parsed, 2, "FILE PAGE");
        FrontEnd front;
        auto doc = OpenDocument(front, parsed.positional[0], false);
        NoteShownInWindow("show", parsed.positional[0]);
        std::int32_t index = FindPage(parsed.positional[1], *doc);
        const CWatchSite& page = *doc->GetPageList().GetAt(index);
        const std::vector<std::string> learned = page.GetLearnedNoise().Describe();
        if (parsed.json) {
            std::string list;
            for (const std::string& rule : learned) list += (list.empty() ? "" : ", ") + JsonString(rule);
            std::printf("%s, \"settings\": %s, \"learnedNoise\": [%s]}\n", PageJson(index, page).c_str(),
                        SettingsJson(page.GetSettings()).c_str(), list.c_str());
            return 0;
        }
        std::printf("name:      %s\nurl:       %s\nstatus:    %s\nupdated:   %s\nfailures:  %d\n",
                    page.GetName().c_str(), page.GetUrl().c_str(), StatusName(page.GetStatus()).c_str(),
                    LastUpdatedText(page.GetLastUpdated()).c_str(), page.GetFailures());
        PrintSettings(page.GetSettings());
        if (learned.empty()) std::printf("learned:   (nothing yet)\n");
        for (const std::string& rule : learned) std::printf("learned:   %s\n", rule.c_str());
        return 0;
    });
}

int RunSet(const Args& args) {
    return Run("set", [&] {
        Parsed parsed = Parse(args, true, {"--all"});
        RequirePositional(parsed, parsed.all ? 1 : 2, parsed.all ? "FILE" : "FILE PAGE");
        if (parsed.all && (parsed.page.url || parsed.page.name))
            throw UsageError{"--url and --name belong to one page, not to --all"};
        FrontEnd front;
        auto doc = OpenDocument(front, parsed.positional[0], true);
        CWatchSiteList& list = doc->GetPageList();
        if (parsed.all) {
            for (std::int32_t i = 0; i < list.GetCount(); ++i)
                ApplyPageOptions(parsed.page, *list.GetAt(i), true);
        } else {
            ApplyPageOptions(parsed.page, *list.GetAt(FindPage(parsed.positional[1], *doc)), true);
        }
        doc->SetModifiedFlag(true);
        Save(*doc, parsed.positional[0]);
        return 0;
    });
}

int RunRemove(const Args& args) {
    return Run("remove", [&] {
        Parsed parsed = Parse(args, false, {});
        RequirePositional(parsed, 2, "FILE PAGE");
        FrontEnd front;
        auto doc = OpenDocument(front, parsed.positional[0], true);
        doc->GetPageList().RemoveAt(FindPage(parsed.positional[1], *doc));
        Save(*doc, parsed.positional[0]);
        return 0;
    });
}

int RunDefaults(const Args& args) {
    return Run("defaults", [&] {
        Parsed parsed =
            Parse(args, true, {"--json", "--log-file", "--logging", "--max-lines", "--time-limit",
                               "--transfers", "--per-server", "--history-versions",
                               "--history-days"});
        RequirePositional(parsed, 0, "");
        if (parsed.page.url || parsed.page.name || parsed.page.enable)
            throw UsageError{"--url, --name, --enable and --disable belong to pages, not to the defaults"};
        // Every value is checked before anything is stored, so a bad one
        // changes nothing.
        if (parsed.logging && *parsed.logging != "on" && *parsed.logging != "off")
            throw UsageError{"--logging takes on or off"};
        std::optional<std::int32_t> maxLines;
        if (parsed.maxLines) {
            // Any integer, as the Logging page takes it; -1 means no bound.
            const std::string& text = *parsed.maxLines;
            const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
            if (text.size() == digits || text.size() - digits > 9 ||
                text.find_first_not_of("0123456789", digits) != std::string::npos)
                throw UsageError{"Please enter an integer."};
            maxLines = static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
        }
        std::optional<std::int32_t> timeLimit;
        if (parsed.timeLimit) {
            const std::string& text = *parsed.timeLimit;
            const long seconds = text.empty() || text.size() > 9 ||
                                         text.find_first_not_of("0123456789") != std::string::npos
                                     ? -1
                                     : std::strtol(text.c_str(), nullptr, 10);
            if (seconds < CAppSettings::kMinimumTimeLimit ||
                seconds > CAppSettings::kMaximumTimeLimit)
                throw UsageError{
                    FormatString(IDS_ENTER_INTEGER_BETWEEN, {CAppSettings::kMinimumTimeLimit,
                                                             CAppSettings::kMaximumTimeLimit}) +
                    " (--time-limit, in seconds)"};
            timeLimit = static_cast<std::int32_t>(seconds);
        }
        // A whole number from `low` to `high`; `note` ends the message.
        auto count = [](const std::optional<std::string>& text, std::int32_t low,
                        std::int32_t high, const std::string& note) -> std::optional<std::int32_t> {
            if (!text) return std::nullopt;
            const long value = text->empty() || text->size() > 9 ||
                                       text->find_first_not_of("0123456789") != std::string::npos
                                   ? -1
                                   : std::strtol(text->c_str(), nullptr, 10);
            if (value < low || value > high)
                throw UsageError{FormatString(IDS_ENTER_INTEGER_BETWEEN, {low, high}) + " (" + note + ")"};
            return static_cast<std::int32_t>(value);
        };
        const std::optional<std::int32_t> transfers =
            count(parsed.transfers, 1, CAppSettings::kMaximumTransfers, "--transfers");
        const std::optional<std::int32_t> perServer =
            count(parsed.perServer, 1, CAppSettings::kMaximumTransfers, "--per-server");
        const std::optional<std::int32_t> historyVersions =
            count(parsed.historyVersions, 0, CAppSettings::kMaximumHistoryVersions,
                  "--history-versions; 0: no bound");
        const std::optional<std::int32_t> historyDays = count(
            parsed.historyDays, 0, CAppSettings::kMaximumHistoryDays, "--history-days; 0: no bound");
        FrontEnd front;
        if (parsed.anyPageOption) {
            ApplyPageOptions(parsed.page, front.defaultPage, false);
            SaveDefaultPage(front.store, front.defaultPage);
        }
        if (parsed.logFile || parsed.logging || maxLines || timeLimit || transfers || perServer ||
            historyVersions || historyDays) {
            if (historyVersions) front.app.SetHistoryVersions(*historyVersions);
            if (historyDays) front.app.SetHistoryDays(*historyDays);
            if (transfers) front.app.SetTransfers(*transfers);
            if (perServer) front.app.SetTransfersPerServer(*perServer);
            if (parsed.logFile) front.app.SetLogFile(*parsed.logFile);
            if (parsed.logging) front.app.SetLoggingEnabled(*parsed.logging == "on");
            if (maxLines) front.app.SetMaximumLines(*maxLines);
            if (timeLimit) front.app.SetTimeLimit(*timeLimit);
            SaveAppSettings(front.store, front.app);
        }
        const CWatcherSettings settings = front.defaultPage.GetSettings();
        if (parsed.json) {
            std::string page = SettingsJson(settings);
            page.pop_back();
            std::printf(
                "%s, \"logFile\": %s, \"logging\": %s, \"maxLines\": %d, \"timeLimit\": %d, "
                "\"transfers\": %d, \"transfersPerServer\": %d, \"historyVersions\": %d, "
                "\"historyDays\": %d}\n",
                page.c_str(), JsonString(front.app.GetLogFile()).c_str(),
                front.app.GetLoggingEnabled() ? "true" : "false", front.app.GetMaximumLines(),
                front.app.GetTimeLimit(), front.app.GetTransfers(),
                front.app.GetTransfersPerServer(), front.app.GetHistoryVersions(),
                front.app.GetHistoryDays());
        } else {
            PrintSettings(settings);
            std::printf("log file:  %s\nlogging:   %s\nmax lines: %d\ntime limit: %d seconds\n"
                        "transfers: %d at once, %d from one server\n"
                        "history:   %d versions, %d days per page (0: no bound)\n",
                        front.app.GetLogFile().c_str(),
                        front.app.GetLoggingEnabled() ? "on" : "off", front.app.GetMaximumLines(),
                        front.app.GetTimeLimit(), front.app.GetTransfers(),
                        front.app.GetTransfersPerServer(), front.app.GetHistoryVersions(),
                        front.app.GetHistoryDays());
        }
        return 0;
    });
}

int RunPreview(const Args& args) {
    return Run("preview", [&] {
        Parsed parsed = Parse(args, false, {"--removed"});
        RequirePositional(parsed, 2, "FILE PAGE");
        FrontEnd front;
        auto doc = OpenDocument(front, parsed.positional[0], false);
        const std::int32_t index = FindPage(parsed.positional[1], *doc);
        const CWatchSite& page = *doc->GetPageList().GetAt(index);
        CSession::StartLibrary();
        CDownloader downloader;
        downloader.SetTimeLimits(front.app.GetTimeLimits());
        const CPagePreview preview =
            PreviewPage(downloader, page.GetUrl(), page.GetSettings(), page.GetLearnedNoise());
        const CWatchPreview& watched = preview.watched;
        if (!watched.regionMatched) {
            throw CGenericException(RegionMatchedNothing(page.GetSettings().GetRegion()));
        }
        std::fwrite(watched.watchedText.data(), 1, watched.watchedText.size(), stdout);
        if (!watched.watchedText.empty() && watched.watchedText.back() != '\n') std::putchar('\n');
        if (parsed.removed) {
            const CWatcherSettings settings = page.GetSettings();
            auto section = [](const std::string& title, const std::string& text) {
                std::printf("\n--- %s ---\n%s", title.c_str(), text.empty() ? "(nothing)\n" : text.c_str());
                if (!text.empty() && text.back() != '\n') std::putchar('\n');
            };
            if (!settings.GetRegion().empty()) section("outside the region", watched.outsideRegion);
            const CWatchFilter filter = CWatchedVersions::FilterOf(settings);
            for (std::size_t i = 0; i < watched.ignoredRegions.size() && i < filter.ignoreRegions.size(); ++i)
                section("ignored region " + filter.ignoreRegions[i], watched.ignoredRegions[i]);
            for (std::size_t i = 0; i < watched.ignoredText.size() && i < filter.ignoreText.size(); ++i)
                section("ignored text " + filter.ignoreText[i], watched.ignoredText[i]);
            if (settings.GetLearnNoise()) {
                std::string marks;
                for (const std::string& mark : preview.noise) marks += mark + "\n";
                section("noise (as compared)", marks);
            }
        }
        return 0;
    });
}

int RunUpdate(const Args& args) {
    return Run("update", [&] {
        Parsed parsed = Parse(args, false, {});
        RequirePositional(parsed, 2, "FILE PAGE");
        FrontEnd front;
        const std::string& path = parsed.positional[0];
        auto doc = OpenDocument(front, path, true);
        std::int32_t index = FindPage(parsed.positional[1], *doc);
        CWatchSite& page = *doc->GetPageList().GetAt(index);
        if (!page.IsEnabled()) page.Enable(true);
        auto check = doc->MakePageCheck(index);
        std::string shown;
        int result = doc->UpdatePage(*check, [&shown](const std::string& status, int) {
            std::fprintf(stderr, "%s\n", status.c_str());
            shown = status;
        });
        if (result == IDOK) {
            try {
                ViewChanges(*doc, index);
            } catch (const CException&) {
                // The check's result is kept though its changes could not be shown.
                Save(*doc, path);
                throw;
            }
        }
        Save(*doc, path);
        if (result != IDOK) {
            // A failure's own text is normally the last progress line printed.
            std::string status = check->GetStatus();
            if (status == shown) status.clear();
            std::fprintf(stderr, "tallyhawk-cli update: the check failed%s%s\n", status.empty() ? "" : ": ",
                         status.c_str());
            return 1;
        }
        return 0;
    });
}

int RunView(const Args& args) {
    return Run("view", [&] {
        Parsed parsed = Parse(args, false, {"--print"});
        RequirePositional(parsed, 2, "FILE PAGE");
        FrontEnd front;
        const std::string& path = parsed.positional[0];
        auto doc = OpenDocument(front, path, true);
        std::int32_t index = FindPage(parsed.positional[1], *doc);
        if (!parsed.print) {
            ViewChanges(*doc, index);
        } else {
            CWatchSite& page = *doc->GetPageList().GetAt(index);
            if (std::optional<std::string> text = page.ChangeOutput())
                std::fwrite(text->data(), 1, text->size(), stdout);
            page.AcceptChanges();
        }
        doc->SetModifiedFlag(true);
        Save(*doc, path);
        return 0;
    });
}

namespace {

// Prints the watch's log entries and status changes as they happen.
class CWatchPrinter : public CEventSink {
public:
    explicit CWatchPrinter(CTallyhawkDoc& doc) {
        doc.GetMessageLog().Subscribe(this, &CWatchPrinter::OnLog);
        doc.GetPageList().Subscribe(this, &CWatchPrinter::OnList);
    }
    ~CWatchPrinter() override { UnsubscribeAll(); }

    bool OnLog(CLogEvent* event) {
        if (event->code != LogEntryAdded) return true;
        std::optional<CLogEntry> entry = event->log->GetAt(event->index);
        if (entry) Print(entry->FileLine());
        return true;
    }
    bool OnList(SiteListEvent* event) {
        if (event->code != PageChanged && event->code != PageDisabled) return true;
        CWatchSite* page = event->list->GetAt(event->index);
        if (!page) return true;
        const std::int32_t status = page->GetStatus();
        std::lock_guard<std::mutex> guard(lock);
        auto [last, fresh] = statuses.try_emplace(page, status);
        if (!fresh && last->second == status) return true;
        last->second = status;
        std::printf("[%s] %s\n", page->GetName().c_str(), StatusName(status).c_str());
        std::fflush(stdout);
        return true;
    }

private:
    void Print(const std::string& line) {
        std::lock_guard<std::mutex> guard(lock);
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    std::mutex lock;
    std::map<const CWatchSite*, std::int32_t> statuses;  // guarded by lock
};

}  // namespace

int RunWatch(const Args& args) {
    return Run("watch", [&] {
        Parsed parsed = Parse(args, false, {"--for"});
        RequirePositional(parsed, 1, "FILE");
        double seconds = -1;
        if (parsed.forSeconds) {
            char* end = nullptr;
            seconds = std::strtod(parsed.forSeconds->c_str(), &end);
            if (parsed.forSeconds->empty() || *end != '\0' || !(seconds >= 0))
                throw UsageError{"--for takes a number of seconds"};
        }
        CStopSignals signals;
        FrontEnd front;
        const std::string& path = parsed.positional[0];
        auto doc = OpenDocument(front, path, true);
        CWatchPrinter printer(*doc);
        if (!doc->StartWatching())
            throw CGenericException(path + " has no pages to watch.");
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        auto lastSave = start;
        for (;;) {
            const timespec wait{0, 100 * 1000 * 1000};
            if (signals.Wait(&wait) != 0) break;
            const auto now = Clock::now();
            if (seconds >= 0 && now - start >= std::chrono::duration<double>(seconds)) break;
            if (!doc->GetPageList().IsWatching()) break;
            if (doc->IsModified() && now - lastSave >= std::chrono::seconds(1)) {
                Save(*doc, path);
                lastSave = now;
            }
        }
        doc->GetPageList().StopWatching(true);
        if (doc->IsModified()) Save(*doc, path);
        return 0;
    });
}

}  // namespace tallyhawk::cli
