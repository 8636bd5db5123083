// Internals of WatchedText.cpp that its tests and fuzz target check
// against each other; not for the rest of the program.
#pragma once

#include <string_view>

#include "content/WatchedText.h"

namespace tallyhawk::detail {

// True when ExtractWatched reads the page as a stream of parser events
// instead of building its tree: text form, no region, no ignored regions.
bool ReadsAsStream(const CCompiledFilter& filter);

// ExtractWatched always through the parsed tree, the way every other
// filter is read, and with all of the page given to the parser (stray end
// tags too): the stream must give the same document.
CWatchedVersion ExtractWatchedFromTree(std::string_view page, std::string_view headerCharset,
                                       const CCompiledFilter& filter);

}  // namespace tallyhawk::detail
