// Reading the bookmarks of a Firefox profile from its places database.
#pragma once

#include <cstddef>
#include <string>

#include "import/BookmarkList.h"

namespace tallyhawk {

// How much work one database may cost: SQLite virtual-machine steps, in
// thousands. A hostile database cannot make the reader spin for long.
inline constexpr long kMaxPlacesSteps = 200000;

// Appends the bookmarks of the "places.sqlite" at `path` to `list`, of kind
// 1, in the order they were made: every bookmark (not folders, separators
// or Firefox's own "place:" queries) with its title, or its address when it
// has none. The database is opened read-only and immutable, so Firefox's
// lock is neither taken nor waited for while Firefox runs; bookmarks that
// Firefox has not yet moved from its write-ahead log into the database are
// not seen. A file that is no such database yields nothing; a canceled
// collection stops the query within a thousand steps. Returns the number of
// links appended.
std::size_t ReadFirefoxPlaces(const std::string& path, CBookmarkList& list);

// The URI that opens `path` (absolute) immutable and read-only.
std::string ImmutableUri(const std::string& path);

}  // namespace tallyhawk
