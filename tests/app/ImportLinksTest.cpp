// Imported links as pages: which links a search picks, and the page each
// becomes.
#include <gtest/gtest.h>

#include "app/ImportLinks.h"
#include "engine/WatchSite.h"
#include "engine/WatchSiteList.h"

namespace tallyhawk {
namespace {

class CNoLog : public IPageLog {
public:
    void Add(const std::string&, const std::string&) override {}
    void Add(const CException&, const std::string&) override {}
};

TEST(ImportLinksTest, SelectsOneKindByNameOrAddressInAnyCase) {
    const std::vector<CBookmarkItem> links = {{"Debian News", "https://debian.example/", 1},
                                              {"Mail", "https://news.example/", 1},
                                              {"News", "https://fav.example/", 2},
                                              {"Other", "https://other.example/", 1}};
    EXPECT_EQ(SelectLinks(links, 1, "NEWS"),
              (std::vector<CBookmarkItem>{links[0], links[1]}));
    EXPECT_EQ(SelectLinks(links, 1, "").size(), 3u);
    EXPECT_EQ(SelectLinks(links, 2, ""), std::vector<CBookmarkItem>{links[2]});
    EXPECT_TRUE(SelectLinks(links, 1, "newsy").empty());
}

TEST(ImportLinksTest, PageComesFromTheDefaultPageWithTheLinksNameAndAddress) {
    CWatchSite defaults;
    CWatcherSettings settings = defaults.GetSettings();
    settings.SetRetryCount(7);
    settings.SetInterval(600);
    defaults.SetSettings(settings);
    defaults.SetName("Default name");
    CNoLog log;
    CWatchSiteList list(&log);
    list.Add(CWatchSite());
    // Neither duplicates nor empty addresses are refused.
    const CBookmarkItem link{"  Tom &amp; Jerry ", "", 1};
    EXPECT_EQ(AddLinkAsPage(list, defaults, link), 1);
    EXPECT_EQ(AddLinkAsPage(list, defaults, link), 2);
    const CWatchSite& page = *list.GetAt(2);
    EXPECT_EQ(page.GetName(), "  Tom &amp; Jerry ");
    EXPECT_EQ(page.GetUrl(), "");
    EXPECT_EQ(page.GetSettings().GetRetryCount(), 7);
    EXPECT_EQ(page.GetSettings().GetInterval(), 600);
    EXPECT_EQ(defaults.GetName(), "Default name") << "the default page stays as it was";
}

}  // namespace
}  // namespace tallyhawk
