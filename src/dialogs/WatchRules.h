// The rules of the What to Watch page that need no window: how its fields
// become the settings' entry lists, which field holds a selector or pattern
// that cannot be used, and what the Preview lists as removed by each
// setting. CWatchPropPage and CWatchPreviewDlg call these; the unit tests
// drive them directly.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "content/WatchedText.h"
#include "engine/WatcherSettings.h"

namespace tallyhawk {

// A multi-line field's text as an entry list: one entry a line ("\n" or
// "\r\n"), blank lines at the end dropped, every other line kept as typed
// (blank lines between entries too, which the engine skips).
std::vector<std::string> EntriesFromField(const std::string& text);

// The fields of the page that hold selectors and patterns.
enum class WatchField { Region, IgnoreRegions, IgnoreText };

struct CWatchFieldProblem {
    WatchField field;
    std::size_t line = 0;  // the entry's index in its list (its line in the field)
    std::string message;   // the CFilterError's, for the user
};

// The first setting of `settings` that cannot be used: the region, then
// each ignored region, then each ignored text, in their order; nothing when
// all of them compile. Each entry is compiled alone, so that the problem is
// pinned to its line.
std::optional<CWatchFieldProblem> FindWatchProblem(const CWatcherSettings& settings);

// What one setting took away from the page, as the Preview lists it.
struct CRemovedSection {
    std::string heading;  // "Outside the region", "Ignored region \".ad\"", ...
    std::string text;     // what it removed, one line each
    std::size_t lines = 0;
};

// The sections for `preview`, made with `settings`: "Outside the region"
// when there is a region, then one per non-blank ignored region and per
// non-blank ignored text, in their order.
std::vector<CRemovedSection> RemovedSections(const CWatcherSettings& settings,
                                             const CWatchPreview& preview);
// The sections as one text: each heading with its count of lines ("3
// lines", "nothing"), then its lines indented, a blank line between sections.
std::string FormatRemoved(const std::vector<CRemovedSection>& sections);
// The lines of `text`; a last line without its line feed counts, an empty
// text has none.
std::size_t CountLines(const std::string& text);

}  // namespace tallyhawk
