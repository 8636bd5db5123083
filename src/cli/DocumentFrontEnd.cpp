// What tallyhawk-cli's document commands share.
#include "cli/DocumentFrontEnd.h"

#include <cstdio>
#include <exception>

#include "base/Exception.h"

namespace tallyhawk::cli {

FrontEnd::FrontEnd() {
    LoadDefaultPage(store, defaultPage);
    LoadAppSettings(store, app);
}

int Run(const char* command, const std::function<int()>& body, int trouble) {
    try {
        return body();
    } catch (const UsageError& error) {
        std::fprintf(stderr, "tallyhawk-cli %s: %s\n", command, error.message.c_str());
        return 2;
    } catch (const CException& error) {
        std::fprintf(stderr, "tallyhawk-cli %s: %s\n", command, error.Message().c_str());
        return trouble;
    } catch (const CXpException& error) {
        std::fprintf(stderr, "tallyhawk-cli %s: %s\n", command, error.GetMessage());
        return trouble;
    } catch (const std::exception& error) {
        // Out of memory, or no thread to watch with: a message, not an abort.
        std::fprintf(stderr, "tallyhawk-cli %s: %s\n", command, error.what());
        return trouble;
    }
}

Parsed Parse(const Args& args, bool pageOptions, std::initializer_list<const char*> flags) {
    auto allowed = [&](const char* flag) {
        for (const char* f : flags) {
            if (std::string(f) == flag) return true;
        }
        return false;
    };
    Parsed parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
            return args[++i];
        };
        if (arg == "--json" && allowed("--json")) {
            parsed.json = true;
        } else if (arg == "--print" && allowed("--print")) {
            parsed.print = true;
        } else if (arg == "--removed" && allowed("--removed")) {
            parsed.removed = true;
        } else if (arg == "--prune" && allowed("--prune")) {
            parsed.prune = true;
        } else if (arg == "--show" && allowed("--show")) {
            parsed.show = value();
        } else if (arg == "--output" && allowed("--output")) {
            parsed.output = value();
        } else if (arg == "--diff" && allowed("--diff")) {
            std::string from = value();
            parsed.diff = std::make_pair(from, value());
        } else if (arg == "--history-versions" && allowed("--history-versions")) {
            parsed.historyVersions = value();
        } else if (arg == "--history-days" && allowed("--history-days")) {
            parsed.historyDays = value();
        } else if (arg == "--all" && allowed("--all")) {
            parsed.all = true;
        } else if (arg == "--accept" && allowed("--accept")) {
            parsed.accept = true;
        } else if (arg == "--html" && allowed("--html")) {
            parsed.html = true;
        } else if (arg == "--for" && allowed("--for")) {
            parsed.forSeconds = value();
        } else if (arg == "--favorites" && allowed("--favorites")) {
            parsed.favorites = true;
        } else if (arg == "--list" && allowed("--list")) {
            parsed.list = true;
        } else if (arg == "--match" && allowed("--match")) {
            parsed.match = value();
        } else if (arg == "--log-file" && allowed("--log-file")) {
            parsed.logFile = value();
        } else if (arg == "--logging" && allowed("--logging")) {
            parsed.logging = value();
        } else if (arg == "--max-lines" && allowed("--max-lines")) {
            parsed.maxLines = value();
        } else if (arg == "--time-limit" && allowed("--time-limit")) {
            parsed.timeLimit = value();
        } else if (arg == "--transfers" && allowed("--transfers")) {
            parsed.transfers = value();
        } else if (arg == "--per-server" && allowed("--per-server")) {
            parsed.perServer = value();
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            bool taken = false;
            if (pageOptions) {
                try {
                    taken = ParsePageOption(args, i, parsed.page);
                } catch (const CException& error) {
                    throw UsageError{error.Message()};
                }
            }
            if (!taken) throw UsageError{"unknown option '" + arg + "'"};
            parsed.anyPageOption = true;
        } else {
            parsed.positional.push_back(arg);
        }
    }
    return parsed;
}

void RequirePositional(const Parsed& parsed, std::size_t count, const char* what) {
    if (parsed.positional.size() > count)
        throw UsageError{"unexpected argument '" + parsed.positional[count] + "'"};
    if (parsed.positional.size() < count) throw UsageError{std::string("expected ") + what};
}

std::unique_ptr<CTallyhawkDoc> OpenDocument(FrontEnd& front, const std::string& path, bool forWriting) {
    auto doc = std::make_unique<CTallyhawkDoc>(&front.app);
    try {
        if (forWriting) doc->LockFile(path);  // "in use" names the path itself
    } catch (const COsException& error) {
        throw CGenericException(path + ": " + error.Message());
    }
    try {
        doc->OnOpenDocument(path);
    } catch (const COsException& error) {
        throw CGenericException(path + ": " + error.Message());
    } catch (const CException& error) {
        throw CGenericException(path + ": " + error.Message() + " The document was left as it is.");
    }
    front.app.ApplyTo(doc->GetMessageLog());
    return doc;
}

void Save(CTallyhawkDoc& doc, const std::string& path) { doc.OnSaveDocument(path); }

void NoteShownInWindow(const char* command, const std::string& path) {
    // Standard error, so that standard output stays what scripts read.
    if (CDocument::IsShownInWindow(path))
        std::fprintf(stderr,
                     "tallyhawk-cli %s: note: the desktop program has this document open; what "
                     "its window shows may be newer than what is printed here.\n",
                     command);
}

std::string PageJson(std::int32_t index, const CWatchSite& page) {
    return "{\"index\": " + std::to_string(index) + ", \"name\": " + JsonString(page.GetName()) +
           ", \"url\": " + JsonString(page.GetUrl()) + ", \"status\": " +
           JsonString(StatusName(page.GetStatus())) + ", \"statusCode\": " +
           std::to_string(page.GetStatus()) + ", \"lastUpdated\": " +
           std::to_string(page.GetLastUpdated()) + ", \"failures\": " +
           std::to_string(page.GetFailures());
}

}  // namespace tallyhawk::cli

namespace tallyhawk::cli {

namespace {

std::string JsonList(const std::vector<std::string>& entries) {
    std::string json = "[";
    for (std::size_t i = 0; i < entries.size(); ++i) json += (i ? ", " : "") + JsonString(entries[i]);
    return json + "]";
}

}  // namespace

std::string WatchSettingsJson(const CWatcherSettings& s) {
    return std::string("\"compare\": ") +
           (s.GetCompareWhat() == CWatcherSettings::CompareText ? "\"text\"" : "\"source\"") +
           ", \"region\": " + JsonString(s.GetRegion()) +
           ", \"ignoreRegions\": " + JsonList(s.GetIgnoreRegions()) +
           ", \"ignoreText\": " + JsonList(s.GetIgnoreText()) +
           ", \"learnNoise\": " + (s.GetLearnNoise() ? "true" : "false");
}

}  // namespace tallyhawk::cli
