// Page pairs shaped like pages of real sites, generated independently of
// PageGenerator's nested sections: a head with meta lines, a style block and
// an inline script holding one long line of JSON; a navigation list; a
// listing of article cards (many short markup lines, closing tags on lines of
// their own, each card's text on one long line); a footer. Edits are those a
// watched page sees between two checks: a price or a date changes, a word in
// a long text line changes, a card appears or goes, an attribute changes.
// Everything comes from fixed seeds, so every run measures the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tallyhawk::bench {

// A page of about `bytes` bytes (never less).
std::string GenerateSitePage(std::size_t bytes, std::uint32_t seed);

// `page` with `edits` edits at places spread evenly over it, each at a
// random line of its slice of the page.
std::string EditSitePage(const std::string& page, int edits, std::uint32_t seed);

}  // namespace tallyhawk::bench
