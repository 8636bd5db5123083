// What a page's check compares when the user chose what to watch: the
// page's visible text or a region of its markup, without what the user
// said to ignore.
//
// A page's stored versions stay the bytes as downloaded; each comparison
// derives the watched form of both versions from them with the page's
// current settings, so that changing a setting applies to the versions
// already held.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "content/Selector.h"

namespace tallyhawk {

// What a page's comparison looks at.
enum class CompareWhat : std::uint8_t {
    Source = 0,  // the page's source lines, as downloaded
    Text = 1,    // the visible text, one line per block
};

// The user's choice of what to watch on one page, as the settings hold it.
struct CWatchFilter {
    CompareWhat compare = CompareWhat::Source;
    std::string region;                      // CSS selector or XPath; empty: the whole page
    std::vector<std::string> ignoreRegions;  // CSS selectors or XPath
    std::vector<std::string> ignoreText;     // regular expressions (PCRE), one per entry

    // The page is compared as downloaded: source, no region, nothing ignored.
    bool IsPlain() const {
        return compare == CompareWhat::Source && region.empty() && ignoreRegions.empty() &&
               ignoreText.empty();
    }
    bool operator==(const CWatchFilter&) const = default;
};

// A filter checked and made ready for use: selectors translated and
// compiled, patterns compiled. Immutable and safe to share between threads.
class CCompiledFilter {
public:
    // Throws CFilterError naming the setting and the problem ("The region
    // ...", "The ignored region ...", "The ignored text ...") for a selector,
    // XPath expression or pattern that cannot be used.
    static std::shared_ptr<const CCompiledFilter> Compile(const CWatchFilter& filter);

    const CWatchFilter& Filter() const { return filter; }

    ~CCompiledFilter();
    CCompiledFilter(const CCompiledFilter&) = delete;
    CCompiledFilter& operator=(const CCompiledFilter&) = delete;

    struct CImpl;
    const CImpl& Impl() const { return *impl; }

private:
    CCompiledFilter() = default;
    CWatchFilter filter;
    std::unique_ptr<CImpl> impl;
};

// The watched form of one version of a page.
struct CWatchedVersion {
    // What the change detector compares, an HTML document in UTF-8. For
    // `Text`: a charset declaration line, then one line per block of
    // visible text, "<" and "&" escaped, each line ending in "<br>". For
    // `Source` with a region or ignore rules: the declaration line, then
    // the markup of the region's elements, each block element on a line of
    // its own, without ignored regions and ignored text.
    std::string document;
    // False when the filter has a region and it matched nothing on the page.
    bool regionMatched = true;
};

// Derives the watched form of `page` (the bytes as downloaded).
// `headerCharset` is the HTTP header's charset when known (empty
// otherwise); the page's own byte-order mark wins over it and it wins over
// the page's <meta>; with none of them, bytes that are valid UTF-8 are read
// as UTF-8 and others as windows-1252. Never throws for any input bytes;
// linear in the page's size. Must not be called with a plain filter.
CWatchedVersion ExtractWatched(std::string_view page, std::string_view headerCharset,
                               const CCompiledFilter& filter);

// The text outputs of a `Text` comparison carry the escapes of the watched
// document; this gives the plain text back ("&lt;" to "<", "&amp;" to "&").
std::string UnescapeWatchedText(std::string_view text);

// What the Preview shows: the watched text of a version and what each
// setting took away from the visible text.
struct CWatchPreview {
    std::string watchedText;                // plain UTF-8, one line per block
    bool regionMatched = true;
    std::string outsideRegion;              // visible text outside the region
    std::vector<std::string> ignoredRegions;  // per ignored region: the text it removed
    std::vector<std::string> ignoredText;     // per pattern: what it removed, one match a line
};

// The failure of a check, preview or comparison whose region matched
// nothing on the page, in the words every front end shows.
std::string RegionMatchedNothing(const std::string& region);

CWatchPreview PreviewWatched(std::string_view page, std::string_view headerCharset,
                             const CCompiledFilter& filter);

}  // namespace tallyhawk
