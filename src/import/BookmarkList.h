// CBookmarkList: the links found so far, with the bounds that keep hostile
// or damaged browser files from taking the program's memory: a number of
// links, a total of bytes, a longest name and a longest address. A list may
// report to a CCollectProgress, whose cancel its readers obey.
//
// One thread at a time.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "import/BookmarkItem.h"
#include "import/CollectProgress.h"

namespace tallyhawk {

// At most this many links are kept; readers stop when the list is full.
inline constexpr std::size_t kMaxBookmarks = 100000;
// At most this many bytes of names and addresses together.
inline constexpr std::size_t kMaxBookmarkBytes = 64u << 20;
// A longer name is cut (at a character boundary) to this many bytes.
inline constexpr std::size_t kMaxBookmarkNameLength = 1024;
// A link with a longer address is left out: cut, it would lead elsewhere.
inline constexpr std::size_t kMaxBookmarkUrlLength = 65536;

class CBookmarkList {
public:
    // Appends a link, its name and address each ended at a zero byte (a
    // page's texts are zero-terminated) and its name cut to
    // kMaxBookmarkNameLength. False when the list is full (this link may be
    // its last), so the reader should stop; true otherwise, also after a
    // link left out because its address is too long.
    bool Add(std::string_view name, std::string_view url, int kind);
    bool IsFull() const;

    // From now on the number of links is reported to `progress` (null: to
    // none), which must outlive the list or the next ReportTo.
    void ReportTo(CCollectProgress* progress);
    // The collection this list reports to was canceled.
    bool IsCanceled() const { return progress && progress->IsCanceled(); }
    // Full or canceled: a reader stops.
    bool ShouldStop() const { return IsFull() || IsCanceled(); }

    const std::vector<CBookmarkItem>& Items() const { return items; }
    std::size_t Count() const { return items.size(); }

private:
    std::vector<CBookmarkItem> items;
    std::size_t bytes = 0;  // of every name and address in items
    CCollectProgress* progress = nullptr;
};

// `text` ended at its first zero byte, then cut to at most `limit` bytes
// without splitting a UTF-8 character.
std::string_view CutText(std::string_view text, std::size_t limit);

// Comparisons that ignore the case of ASCII letters, as the system's file
// names and profile files compare.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
// <0, 0 or >0 as `a` sorts before, with or after `b`, byte by byte.
int CompareNoCase(std::string_view a, std::string_view b);

}  // namespace tallyhawk
