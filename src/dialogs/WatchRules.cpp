#include "dialogs/WatchRules.h"

#include "content/Selector.h"
#include "engine/WatchedVersions.h"

namespace tallyhawk {

namespace {

bool IsBlankLine(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

// The message of the CFilterError `settings` give, or nothing.
std::optional<std::string> CompileProblem(const CWatcherSettings& settings) {
    try {
        CCompiledFilter::Compile(CWatchedVersions::FilterOf(settings));
    } catch (const CFilterError& error) {
        return error.Message();
    }
    return std::nullopt;
}

std::string Quoted(const std::string& entry) {
    return "\"" + entry + "\"";
}

}  // namespace

std::vector<std::string> EntriesFromField(const std::string& text) {
    std::vector<std::string> entries = CWatcherSettings::SplitLines(text);
    for (std::string& entry : entries) {
        if (!entry.empty() && entry.back() == '\r') entry.pop_back();
    }
    while (!entries.empty() && IsBlankLine(entries.back())) entries.pop_back();
    return entries;
}

std::optional<CWatchFieldProblem> FindWatchProblem(const CWatcherSettings& settings) {
    CWatcherSettings probe = settings;
    probe.SetIgnoreRegions({});
    probe.SetIgnoreText({});
    if (auto message = CompileProblem(probe))
        return CWatchFieldProblem{WatchField::Region, 0, *message};
    probe.SetRegion({});
    const auto& regions = settings.GetIgnoreRegions();
    for (std::size_t i = 0; i < regions.size(); ++i) {
        probe.SetIgnoreRegions({regions[i]});
        if (auto message = CompileProblem(probe))
            return CWatchFieldProblem{WatchField::IgnoreRegions, i, *message};
    }
    probe.SetIgnoreRegions({});
    const auto& patterns = settings.GetIgnoreText();
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        probe.SetIgnoreText({patterns[i]});
        if (auto message = CompileProblem(probe))
            return CWatchFieldProblem{WatchField::IgnoreText, i, *message};
    }
    // Each entry compiles alone; what is left to refuse belongs to no line.
    if (auto message = CompileProblem(settings))
        return CWatchFieldProblem{WatchField::Region, 0, *message};
    return std::nullopt;
}

std::vector<CRemovedSection> RemovedSections(const CWatcherSettings& settings,
                                             const CWatchPreview& preview) {
    // The preview's lists follow the filter, which leaves blank entries out.
    const CWatchFilter filter = CWatchedVersions::FilterOf(settings);
    std::vector<CRemovedSection> sections;
    auto add = [&sections](std::string heading, const std::string& text) {
        sections.push_back({std::move(heading), text, CountLines(text)});
    };
    if (!filter.region.empty()) add("Outside the region", preview.outsideRegion);
    for (std::size_t i = 0; i < filter.ignoreRegions.size(); ++i) {
        add("Ignored region " + Quoted(filter.ignoreRegions[i]),
            i < preview.ignoredRegions.size() ? preview.ignoredRegions[i] : std::string());
    }
    for (std::size_t i = 0; i < filter.ignoreText.size(); ++i) {
        add("Ignored text " + Quoted(filter.ignoreText[i]),
            i < preview.ignoredText.size() ? preview.ignoredText[i] : std::string());
    }
    return sections;
}

std::size_t CountLines(const std::string& text) {
    if (text.empty()) return 0;
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    return text.back() == '\n' ? lines : lines + 1;
}

std::string FormatRemoved(const std::vector<CRemovedSection>& sections) {
    std::string out;
    for (const CRemovedSection& section : sections) {
        if (!out.empty()) out += '\n';
        out += section.heading + ": ";
        out += section.lines == 0   ? std::string("nothing")
               : section.lines == 1 ? std::string("1 line")
                                    : std::to_string(section.lines) + " lines";
        out += '\n';
        std::vector<std::string> lines = CWatcherSettings::SplitLines(section.text);
        if (!lines.empty() && lines.back().empty()) lines.pop_back();  // the last line feed
        for (const std::string& line : lines) out += "    " + line + '\n';
    }
    return out;
}

}  // namespace tallyhawk
