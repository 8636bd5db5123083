// tallyhawk-cli import: the links the Bookmarks & Favorites dialog would
// list, for scripts: every one (or those that match) added as a page made
// from the default settings, or only listed.
#include <cstdio>
#include <string>
#include <vector>

#include "app/ImportLinks.h"
#include "app/TallyhawkDoc.h"
#include "base/StringTable.h"
#include "cli/Commands.h"
#include "cli/DocumentFrontEnd.h"
#include "cli/PageOptions.h"
#include "cli/TerminalText.h"
#include "import/BookmarkCollector.h"

namespace tallyhawk::cli {

const char* const kImportHelp =
    "Usage: tallyhawk-cli import FILE [--favorites] [--match TEXT] [--list]\n"
    "Adds a page with the default settings for every bookmark found on this\n"
    "machine: Netscape bookmark files under ~/.netscape and ~/.mozilla, Firefox's\n"
    "profiles and the profiles of Chromium, Google Chrome, Brave, Vivaldi and\n"
    "Microsoft Edge. With --favorites, for every favorite instead: the *.url\n"
    "files under ~/Favorites and the Favorites folders of Wine prefixes (~/.wine,\n"
    "$WINEPREFIX). Each page is named as the link is. --match keeps only the\n"
    "links whose name or address contains TEXT (letters in any case). Links come\n"
    "in the order found; each added page is printed as \"INDEX<TAB>NAME<TAB>URL\"\n"
    "(tabs and line breaks inside a name printed as blanks, other control\n"
    "characters and bytes that are not UTF-8 as \\xHH). --list prints the\n"
    "links as \"NAME<TAB>URL\" instead and leaves FILE alone (it may then be\n"
    "left out).\n"
    "Exit status: 0 done (also when no link was found: a message says so on\n"
    "standard error and FILE is not changed), 1 trouble, 2 bad use.\n";

namespace {

std::vector<CBookmarkItem> FindLinks(const Parsed& parsed) {
    CBookmarkCollector collector;
    if (parsed.favorites) collector.CollectFavorites();
    else collector.CollectBookmarks();
    const int kind = parsed.favorites ? kBookmarkKindFavorite : kBookmarkKindBookmark;
    return SelectLinks(collector.GetItems(), kind, parsed.match.value_or(""));
}

void SayNoneFound(const Parsed& parsed) {
    const std::string text =
        parsed.match && !parsed.match->empty()
            ? FormatString(IDS_IMPORT_NO_MATCH, {*parsed.match})
            : LoadString(parsed.favorites ? IDS_IMPORT_NO_FAVORITES : IDS_IMPORT_NO_BOOKMARKS);
    std::fprintf(stderr, "tallyhawk-cli import: %s\n", text.c_str());
}

}  // namespace

int RunImport(const Args& args) {
    return Run("import", [&] {
        Parsed parsed = Parse(args, false, {"--favorites", "--match", "--list"});
        if (!parsed.list || !parsed.positional.empty()) RequirePositional(parsed, 1, "FILE");
        if (parsed.list) {
            const std::vector<CBookmarkItem> links = FindLinks(parsed);
            if (links.empty()) SayNoneFound(parsed);
            for (const CBookmarkItem& link : links)
                std::printf("%s\t%s\n", OneLine(link.name).c_str(), OneLine(link.url).c_str());
            return 0;
        }
        FrontEnd front;
        const std::string& path = parsed.positional[0];
        auto doc = OpenDocument(front, path, true);
        const std::vector<CBookmarkItem> links = FindLinks(parsed);
        if (links.empty()) {
            SayNoneFound(parsed);
            return 0;
        }
        for (const CBookmarkItem& link : links) {
            const std::int32_t index = AddLinkAsPage(doc->GetPageList(), front.defaultPage, link);
            std::printf("%d\t%s\t%s\n", index, OneLine(link.name).c_str(),
                        OneLine(link.url).c_str());
        }
        Save(*doc, path);
        return 0;
    });
}

}  // namespace tallyhawk::cli
