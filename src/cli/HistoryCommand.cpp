// tallyhawk-cli history: the versions a page had, kept in the history beside
// the document.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/TallyhawkDoc.h"
#include "base/Exception.h"
#include "cli/Commands.h"
#include "cli/DocumentFrontEnd.h"
#include "cli/OutputModes.h"
#include "cli/PageOptions.h"
#include "engine/WatchSite.h"
#include "history/HistoryStore.h"

namespace tallyhawk::cli {

const char* const kHistoryHelp =
    "Usage: tallyhawk-cli history FILE PAGE [--json]\n"
    "       tallyhawk-cli history FILE PAGE --show N\n"
    "       tallyhawk-cli history FILE PAGE --diff A B [--output MODE]\n"
    "       tallyhawk-cli history FILE --prune\n"
    "Lists the versions of the page kept in the history beside FILE\n"
    "(FILE.history), numbered from 1 (the oldest): its time, the page's status\n"
    "after that check, its size, how many bytes changed against the version\n"
    "before it, and when it was accepted. --show prints version N as it was\n"
    "downloaded; --diff prints the changes from version A to version B in the\n"
    "page's output mode or MODE (added-text, deleted-text, added-html,\n"
    "deleted-html, highlighted), read with the page's settings of what to\n"
    "watch; --prune applies the retention of the defaults (--history-versions,\n"
    "--history-days) to every page now.\n";

namespace {

std::string TimeText(std::int64_t seconds) {
    if (seconds == 0) return "";
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// Version N (from 1) of the list, as the user numbers them.
const CHistoryVersion& Numbered(const std::vector<CHistoryVersion>& versions, const std::string& text) {
    const long number = text.empty() || text.size() > 9 ||
                                text.find_first_not_of("0123456789") != std::string::npos
                            ? 0
                            : std::strtol(text.c_str(), nullptr, 10);
    if (number < 1 || static_cast<std::size_t>(number) > versions.size())
        throw UsageError{"there is no version " + text + " (the history has " +
                         std::to_string(versions.size()) +
                         (versions.size() == 1 ? " version)" : " versions)")};
    return versions[static_cast<std::size_t>(number) - 1];
}

}  // namespace

int RunHistory(const Args& args) {
    return Run("history", [&] {
        Parsed parsed = Parse(args, false, {"--json", "--show", "--diff", "--output", "--prune"});
        const std::size_t wanted = parsed.prune ? 1 : 2;
        RequirePositional(parsed, wanted, parsed.prune ? "FILE" : "FILE PAGE");
        if (parsed.prune && (parsed.show || parsed.diff || parsed.json))
            throw UsageError{"--prune goes alone"};
        if (parsed.show && parsed.diff) throw UsageError{"--show and --diff do not go together"};
        if (parsed.output && !parsed.diff) throw UsageError{"--output goes with --diff"};
        FrontEnd front;
        auto doc = OpenDocument(front, parsed.positional[0], false);
        CHistoryStore* store = doc->GetHistory();
        if (!store) throw CGenericException("the history of " + parsed.positional[0] + " cannot be opened");
        if (parsed.prune) {
            CHistoryRetention retention;
            retention.maxVersions = front.app.GetHistoryVersions();
            retention.maxAgeSeconds = std::int64_t{front.app.GetHistoryDays()} * 86400;
            const std::int64_t removed = store->Prune(retention, std::time(nullptr));
            std::printf("%lld %s removed\n", static_cast<long long>(removed),
                        removed == 1 ? "version" : "versions");
            return 0;
        }
        const std::int32_t index = FindPage(parsed.positional[1], *doc);
        const CWatchSite& page = *doc->GetPageList().GetAt(index);
        const std::vector<CHistoryVersion> versions = store->List(doc->HistoryKey(index));
        if (parsed.show) {
            const std::string bytes = store->Read(Numbered(versions, *parsed.show).id);
            std::fwrite(bytes.data(), 1, bytes.size(), stdout);
            return 0;
        }
        if (parsed.diff) {
            const CHistoryVersion& from = Numbered(versions, parsed.diff->first);
            const CHistoryVersion& to = Numbered(versions, parsed.diff->second);
            std::int32_t mode = page.GetSettings().GetOutputMode();
            if (parsed.output) {
                const std::optional<OutputMode> named = OutputModeFromName(*parsed.output);
                if (!named)
                    throw UsageError{"unknown output '" + *parsed.output + "' (use " +
                                     kOutputModeChoices + ")"};
                mode = static_cast<std::int32_t>(*named);
            }
            const std::optional<std::string> output =
                page.OutputBetween(store->Read(from.id), store->Read(to.id), mode);
            if (output) std::fwrite(output->data(), 1, output->size(), stdout);
            return output ? 1 : 0;
        }
        if (parsed.json) std::printf("[");
        for (std::size_t i = 0; i < versions.size(); ++i) {
            const CHistoryVersion& v = versions[i];
            if (parsed.json) {
                std::printf("%s{\"number\": %zu, \"time\": %lld, \"status\": %s, \"statusCode\": %d, "
                            "\"size\": %llu, \"changeSize\": %llu, \"acceptedTime\": %lld}",
                            i ? ",\n " : "", i + 1, static_cast<long long>(v.time),
                            JsonString(StatusName(v.status)).c_str(), v.status,
                            static_cast<unsigned long long>(v.size),
                            static_cast<unsigned long long>(v.changeSize),
                            static_cast<long long>(v.acceptedTime));
            } else {
                std::printf("%zu\t%s\t%s\t%llu\t%s\t%s\n", i + 1, TimeText(v.time).c_str(),
                            StatusName(v.status).c_str(), static_cast<unsigned long long>(v.size),
                            i == 0 ? "first" : std::to_string(v.changeSize).c_str(),
                            v.acceptedTime ? ("accepted " + TimeText(v.acceptedTime)).c_str() : "");
            }
        }
        if (parsed.json) std::printf("]\n");
        return 0;
    });
}

}  // namespace tallyhawk::cli
