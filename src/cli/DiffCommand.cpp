// tallyhawk-cli diff: compare two stored versions of a page.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/OutputModes.h"
#include "cli/PageFile.h"
#include "diff/ChangeDetector.h"

namespace tallyhawk::cli {

const char* const kDiffHelp =
    "Usage: tallyhawk-cli diff [OPTIONS] OLD NEW\n"
    "Compares OLD, the previous version of a page, with NEW, the new version,\n"
    "line by line, and writes one of the change outputs to standard output.\n"
    "Each file is read as bytes up to its first zero byte.\n\n"
    "Options:\n"
    "  --output MODE       the output to write (default highlighted):\n"
    "                        added-text    text added, as plain text\n"
    "                        deleted-text  text deleted, as plain text\n"
    "                        added-html    lines added, as HTML\n"
    "                        deleted-html  lines deleted, as HTML\n"
    "                        highlighted   the new page with added text highlighted\n"
    "                                      and removed text struck through\n"
    "  --flags             print the comparison flags as a number instead:\n"
    "                        1 no change, 2 added text, 4 deleted text,\n"
    "                        8 added HTML, 16 deleted HTML\n"
    "  --ignore-first N    leave out the first N changes\n"
    "  --ignore-last N     leave out the last N changes\n"
    "  --colors ADD,DEL    highlight colours as 0x00BBGGRR values\n"
    "                        (default 0x0064FFFF,0x006464FF)\n"
    "  --base URL          the page's address: the HTML outputs take it as their\n"
    "                        base, so that the page's styles, images and links\n"
    "                        work, and name it\n"
    "The added and deleted HTML are documents of their own that name NEW.\n\n"
    "Exit status: 0 when there is no change, 1 when there are changes,\n"
    "2 on trouble.\n";

namespace {

struct DiffOptions {
    OutputMode mode = OutputMode::HighlightedHtml;
    bool flagsOnly = false;
    std::int32_t ignoreFirst = 0;
    std::int32_t ignoreLast = 0;
    std::uint32_t addedColor = CChangeDetector::kDefaultAddedColor;
    std::uint32_t deletedColor = CChangeDetector::kDefaultDeletedColor;
    std::string base;
    std::string oldPath;
    std::string newPath;
};

int Trouble(const std::string& message) {
    std::fprintf(stderr, "tallyhawk-cli diff: %s\n", message.c_str());
    return 2;
}

std::optional<std::int32_t> ParseCount(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::int32_t(std::strtol(text.c_str(), nullptr, 10));
}

std::optional<std::uint32_t> ParseColor(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value > 0x00FFFFFF || text[0] == '-') return std::nullopt;
    return std::uint32_t(value);
}

// Parses the arguments; returns an error message, empty on success.
std::string ParseDiffArgs(const Args& args, DiffOptions& options) {
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        if (arg == "--flags") {
            options.flagsOnly = true;
        } else if (arg == "--output" || arg == "--ignore-first" || arg == "--ignore-last" ||
                   arg == "--colors" || arg == "--base") {
            const std::string* v = value();
            if (!v) return "option " + arg + " needs a value";
            if (arg == "--base") {
                options.base = *v;
            } else if (arg == "--output") {
                auto mode = OutputModeFromName(*v);
                if (!mode) return "unknown output mode '" + *v + "'";
                options.mode = *mode;
            } else if (arg == "--colors") {
                std::size_t comma = v->find(',');
                auto added = ParseColor(v->substr(0, comma));
                auto deleted =
                    comma == std::string::npos ? std::nullopt : ParseColor(v->substr(comma + 1));
                if (!added || !deleted)
                    return "--colors needs two colours such as 0x0064FFFF,0x006464FF";
                options.addedColor = *added;
                options.deletedColor = *deleted;
            } else {
                auto count = ParseCount(*v);
                if (!count) return arg + " needs a whole number of changes, not '" + *v + "'";
                (arg == "--ignore-first" ? options.ignoreFirst : options.ignoreLast) = *count;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option '" + arg + "' (try --help)";
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return "needs two files, OLD and NEW (try --help)";
    options.oldPath = files[0];
    options.newPath = files[1];
    return {};
}

struct StdoutSink : COutputSink {
    bool failed = false;
    void Write(const char* bytes, std::size_t size) override {
        if (!failed && std::fwrite(bytes, 1, size, stdout) != size) failed = true;
    }
};

}  // namespace

int RunDiff(const Args& args) {
    DiffOptions options;
    std::string error = ParseDiffArgs(args, options);
    if (!error.empty()) return Trouble(error);
    CPageFile previous, current;
    if (!previous.Open(options.oldPath, error) || !current.Open(options.newPath, error))
        return Trouble(error);
    CPageFile::GuardMappedFiles();

    std::uint32_t flags;
    CChangeDetector detector;
    detector.SetColors(options.addedColor, options.deletedColor);
    detector.SetIgnoreFirst(options.ignoreFirst);
    detector.SetIgnoreLast(options.ignoreLast);
    // Neither the time of the change nor the character set is known here.
    detector.SetContext({options.base, options.newPath, "", ""});
    // The output goes to standard output as it is composed, never held whole.
    StdoutSink sink;
    try {
        if (options.flagsOnly) {
            detector.SetOutputs(0);
            flags = detector.Compare(previous.Page(), current.Page());
        } else {
            flags = detector.CompareInto(previous.Page(), current.Page(), options.mode, sink);
        }
    } catch (const CXpException& e) {
        return Trouble(e.GetMessage());
    } catch (const std::bad_alloc&) {
        return Trouble(kAllocationFailed);
    }

    if (options.flagsOnly) std::printf("%u\n", flags);
    if (sink.failed || std::fflush(stdout) != 0) return Trouble("cannot write the output");
    return flags == NoChange ? 0 : 1;
}

}  // namespace tallyhawk::cli
