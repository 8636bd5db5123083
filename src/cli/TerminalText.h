// Text from pages and documents as tallyhawk-cli prints it for people to read
// in a terminal: nothing in it may act as a terminal's escape sequence.
#pragma once

#include <string>

namespace tallyhawk::cli {

// `text` on one line of a terminal: tabs and line breaks become blanks;
// other control characters (C0, DEL and the C1 controls U+0080-U+009F,
// which some terminals obey as escapes) and bytes that are not UTF-8 are
// shown as \xHH, one per byte; everything else, UTF-8 included, passes
// unchanged.
std::string OneLine(const std::string& text);

// `text` with its character references ("&amp;", "&#233;", "&#xE9;") turned
// into the characters they stand for, in UTF-8; a few common named ones are
// known, and "&nbsp;" becomes a blank. A reference that is unknown or names
// no character (0, a surrogate, above U+10FFFF) stays as it is.
std::string DecodeCharacterReferences(const std::string& text);

// One of the changed texts of a page (a text output: CR LF line ends) as
// lines for a reader: each line that holds more than white space, trimmed,
// its character references decoded, made safe with OneLine and put after
// `marker` and a blank ("+ added words\n"). Empty when no line holds text.
std::string MarkedLines(const std::string& text, char marker);

}  // namespace tallyhawk::cli
