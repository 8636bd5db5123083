// What turns a comparison's HTML outputs into files a browser shows the way
// the page looks: the page's address and character set, a heading for the
// added and deleted lines, the places in a page where text may be inserted,
// and the escaping of inserted text.
//
// Pages are bytes in their own character set; nothing here converts them.
// Texts of the program's own (the page's name, its address, a time) are
// written with numeric character references, so they read the same whatever
// the page's character set is.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "diff/PageContent.h"

namespace tallyhawk {

// The page a change file is about, as far as it is known.
struct CChangeContext {
    std::string url;        // the page's absolute address; empty: unknown
    std::string name;       // the page's name; empty: the address stands for it
    std::string charset;    // the download's character set; empty: unknown
    std::string changedAt;  // when the change was found, as the user reads it; empty: unknown
};

// The charset parameter of a Content-Type header value, as in
// "text/html; charset=ISO-8859-1" (any letter case, quoted or not), when it
// is a plausible character-set name: 1 to 40 letters, digits, "-", "_",
// ".", ":" or "+". Empty otherwise, so the value is safe in an attribute.
std::string CharsetFromContentType(std::string_view contentType);

// What the start of a version says about itself, up to its <body> tag or
// the end of its head.
struct CPageHead {
    // Where a <base> and a <meta charset> go: right after the <head> tag;
    // without one after the <html> tag; without that after a leading
    // <!DOCTYPE>; else at the start (after a byte-order mark).
    std::size_t insertAt = 0;
    bool hasBase = false;  // a <base href> of its own
    std::string baseHref;  // its value, as written
    std::string charset;   // a charset it declares in a <meta>, if plausible
};
CPageHead ScanPageHead(std::string_view page);

// "<meta charset=...>" when the context's charset is known, and
// "<base href=...>" with the context's address unless the page has a base of
// its own (or the address is unknown); each followed by a newline.
std::string HeadBlock(const CPageHead& head, const CChangeContext& context);

// The start and the end of the document that holds the added (`added`) or
// deleted lines of `page`, the version the lines come from: a head with the
// character set (the context's, else the page's own), the base (the page's
// own, else its address) and a title, then a heading that names the page,
// links its address and gives the time of the change. The lines go between.
std::string LinesDocumentStart(bool added, std::string_view page, const CChangeContext& context);
std::string LinesDocumentEnd();

// Appends `text`, bytes of a page's text, so that it can stand anywhere as
// text: "<" and ">" become references, and "&" too unless it begins a
// character reference ("&amp;", "&#233;").
void AppendEscapedText(std::string& out, std::string_view text);

// The elements of a version whose content is not markup (script, style,
// textarea, xmp), each from its start tag's "<" to its end tag's ">" (or the
// end of the page), in ascending order. Comments are skipped.
std::vector<TextRange> RawTextElements(std::string_view page);

// Finds, for ascending places in a version, the first place at or after each
// where text can be inserted: inside or at the edge of a text range
// (CTextRangeReader), outside raw-text elements. Reads the page once.
class CInsertionPlaces {
public:
    // `page` must outlive the object.
    explicit CInsertionPlaces(std::string_view page);

    // The place for `at`; no less than the place last returned; the page's
    // end when no text follows.
    std::size_t Next(std::size_t at);

private:
    std::string_view page;
    CTextRangeReader ranges;
    std::vector<TextRange> raw;
    std::size_t nextRaw = 0;
    TextRange current;
    bool have;
    std::size_t last = 0;
};

}  // namespace tallyhawk
