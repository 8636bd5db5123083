// A downloaded page's character set, and its text as UTF-8 for the HTML
// parser and the pattern matcher.
#pragma once

#include <string>
#include <string_view>

namespace tallyhawk {

// The name of the character set `page` is in, one of "UTF-8", "UTF-16LE",
// "UTF-16BE", "windows-1252" or another name iconv knows. In order: a
// byte-order mark; `headerCharset` (the HTTP header's, may be empty); a
// <meta charset> or <meta http-equiv content="...; charset=..."> in the
// first 4096 bytes; UTF-8 when the bytes are valid UTF-8; windows-1252.
// A name nobody knows falls through to the next rule. "iso-8859-1" and
// "us-ascii" are read as windows-1252, and a <meta> naming UTF-16 as UTF-8,
// as browsers do.
std::string DetectCharset(std::string_view page, std::string_view headerCharset);

// `page` as UTF-8 in the character set DetectCharset chose, without its
// byte-order mark. Never fails and never stops early: each byte sequence
// that is not valid in that set, and each NUL, becomes U+FFFD and reading
// goes on after it. Linear in the page's size.
std::string DecodeToUtf8(std::string_view page, std::string_view headerCharset);

}  // namespace tallyhawk
