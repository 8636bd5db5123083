// The readers of the three text formats that hold links. Each takes the
// file's bytes as they are and appends what it finds to a CBookmarkList;
// damaged or hostile text only yields fewer links. Each runs in time linear
// in its input, allocates no more than the list allows, and stops soon
// after the list's collection is canceled (CBookmarkList::ShouldStop).
#pragma once

#include <string>
#include <string_view>

#include "import/BookmarkList.h"

namespace tallyhawk {

// A Netscape bookmark file ("bookmark.htm", "bookmarks.html"), read as a
// zero-terminated text in one pass:
//
//   "<"         in state 5: a link (name: the text from just after the last
//               ">" up to here, unchanged; address: the captured one).
//               Then, always, state 1.
//   "href"      (any case) in state 1: state 2, past the four letters.
//   "="         in state 2: state 3.
//   '"'         in state 3: the address starts after it, state 4.
//   '"'         in state 4: the address ends before it, state 5.
//   ">"         always: remember the position after it.
//
// Only double quotes delimit an address, so a single-quoted one yields
// nothing; further quoted attributes after the address (ADD_DATE="...")
// leave state 5 alone. Links are of kind 1. Returns the number of links
// appended.
std::size_t ParseBookmarkFile(std::string_view text, CBookmarkList& list);

// The value of `key` in `section` of an INI text (the form of a "*.url"
// internet shortcut), as the system's profile reader gives it: the text
// ends at its first zero byte; section and key names compare without
// regard to case; blanks around names and values are dropped, and so is one
// pair of quotes around a value; the first matching line counts. Empty when
// there is none.
std::string ReadProfileString(std::string_view text, std::string_view section, std::string_view key);

// A Chromium-family "Bookmarks" file: JSON whose "roots" hold the top nodes
// of trees, each folder node its own in "children"; every node with
// "type": "url" is a link, named by its "name" (its address when that is
// empty), at its "url", of kind 1, in file order.
// The text is read as a stream: nesting costs one bit per level, and only
// the first kMaxJsonDepth levels are looked into. Reading stops at the first
// error, keeping what came before. Returns the number of links appended.
inline constexpr std::size_t kMaxJsonDepth = 512;
std::size_t ParseChromiumBookmarks(std::string_view text, CBookmarkList& list);

}  // namespace tallyhawk
