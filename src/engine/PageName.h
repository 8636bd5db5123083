// The page name rule: the name a new page gets from its address when the
// user leaves the name empty (the property sheet's Page page and
// tallyhawk-cli add use the same rule).
#pragma once

#include <string>

namespace tallyhawk {

// The word after "www." (any letter case) or, without one, after "://", up
// to the next dot, with its first letter in upper case; the address's own
// spelling is kept otherwise. Empty when the address has neither marker or
// no dot follows the word's start with at least one character between.
std::string PageNameFromUrl(const std::string& url);

}  // namespace tallyhawk
