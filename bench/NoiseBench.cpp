// noise_bench: does watching the right part of a page keep the noise of
// today's web out of the reports, and still report every real edit?
//
// Generates sites in a modern style: security tokens, script nonces,
// request ids and cache-busting addresses in the markup; viewer counts,
// server times, a rotating "trending" block, a ticker and an advert in the
// text. Each new version changes all of that noise; about one in three also
// edits the article (a paragraph rewritten, one added, a price changed, an
// item removed). Every version is judged by a page's own decision
// (CWatchSite::HasChanges) against the version before it, under three
// settings, and the counts are printed:
//   source          the page's source, the whole page (older pages)
//   text            the visible text, the whole page (new pages)
//   text + region   the visible text of "main article", ignoring the
//                   article's own noise ("Updated at ...", "N people are
//                   viewing")
// Usage: noise_bench [SITES [VERSIONS]]   (defaults 20 and 30)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/WatchSite.h"

using namespace tallyhawk;

namespace {

const char* const kWords[] = {
    "market", "council", "river", "budget", "school", "report", "season", "station",
    "museum",  "vote",    "bridge", "harbour", "festival", "library", "storm", "price",
    "study",   "league",  "plan",  "road",   "garden", "energy", "train",  "water"};

std::string Words(std::mt19937& random, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i) text += ' ';
        text += kWords[random() % (sizeof kWords / sizeof *kWords)];
    }
    return text;
}

std::string Hex(std::mt19937& random, int digits) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < digits; ++i) text += kDigits[random() % 16];
    return text;
}

// The article: what a reader of the page cares about.
struct CArticle {
    std::string title;
    std::vector<std::string> paragraphs;
    std::vector<int> prices;
};

CArticle NewArticle(std::mt19937& random) {
    CArticle article;
    article.title = Words(random, 6);
    for (int i = 0; i < 40; ++i) article.paragraphs.push_back(Words(random, 40 + random() % 40));
    for (int i = 0; i < 12; ++i) article.prices.push_back(10 + static_cast<int>(random() % 990));
    return article;
}

void EditArticle(std::mt19937& random, CArticle& article) {
    switch (random() % 4) {
        case 0: article.paragraphs[random() % article.paragraphs.size()] = Words(random, 50); break;
        case 1:
            article.paragraphs.insert(article.paragraphs.begin() + random() % article.paragraphs.size(),
                                      Words(random, 30));
            break;
        case 2: article.prices[random() % article.prices.size()] += 1 + static_cast<int>(random() % 50); break;
        default:
            if (article.prices.size() > 1) article.prices.erase(article.prices.begin() + random() % article.prices.size());
            break;
    }
}

// One version of the page: the article and fresh noise everywhere else.
std::string Render(std::mt19937& random, const CArticle& article, int site) {
    const std::string token = Hex(random, 40), nonce = Hex(random, 16), request = Hex(random, 12);
    const std::string build = std::to_string(random() % 100000);
    const int hour = random() % 24, minute = random() % 60, second = random() % 60;
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", hour, minute, second);
    std::string page;
    page.reserve(64 * 1024);
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    page += "<title>" + article.title + " | Site " + std::to_string(site) + "</title>\n";
    page += "<meta name=\"csrf-token\" content=\"" + token + "\">\n";
    page += "<link rel=\"stylesheet\" href=\"/static/app.css?v=" + build + "\">\n";
    page += "<script nonce=\"" + nonce + "\">window.__STATE__={\"requestId\":\"" + request +
            "\",\"flags\":[" + std::to_string(random() % 9) + "],\"user\":null};</script>\n";
    page += "<style nonce=\"" + nonce + "\">.card{margin:0 auto}.ad{display:block}</style>\n</head>\n";
    page += "<body class=\"page theme-" + std::to_string(random() % 3) + "\">\n";
    page += "<header class=\"site-header\"><nav class=\"top\">\n  <a href=\"/\">Home</a>\n"
            "  <a href=\"/news?session=" + Hex(random, 10) + "\">News</a>\n"
            "  <a href=\"/sport\">Sport</a>\n</nav>\n";
    page += "<div class=\"viewers\">" + std::to_string(random() % 500) + " people are viewing</div>\n</header>\n";
    page += "<aside class=\"trending\"><h3>Trending</h3>\n<ul>\n";
    for (int i = 0; i < 5; ++i) page += "  <li><a href=\"/t/" + Hex(random, 6) + "\">" + Words(random, 5) + "</a></li>\n";
    page += "</ul></aside>\n";
    page += "<div class=\"ad\" id=\"ad-" + Hex(random, 8) + "\"><a href=\"/click?c=" + Hex(random, 12) +
            "\"><img src=\"/ads/" + Hex(random, 8) + ".png\" alt=\"\"></a><p>" + Words(random, 6) + "</p></div>\n";
    page += "<main id=\"content\" class=\"layout-main\">\n<article class=\"story card\" data-render=\"" +
            request + "\">\n";
    page += "  <h1 class=\"headline\">" + article.title + "</h1>\n";
    page += "  <p class=\"meta\">Updated at " + std::string(clock) + " &mdash; <span class=\"live\">" +
            std::to_string(random() % 90 + 2) + " people are viewing</span></p>\n";
    page += "  <figure><img src=\"/img/lead.jpg?cb=" + build + "\" srcset=\"/img/lead@2x.jpg?cb=" + build +
            " 2x\" alt=\"\"><figcaption>" + article.title + "</figcaption></figure>\n";
    for (std::size_t i = 0; i < article.paragraphs.size(); ++i) {
        page += "  <p class=\"para\" data-id=\"p" + std::to_string(i) + "-" + nonce.substr(0, 4) + "\">" +
                article.paragraphs[i] + "</p>\n";
        if (i == 10) {
            page += "  <div class=\"inline-promo\" hidden><p>" + Words(random, 8) + "</p></div>\n";
        }
    }
    page += "  <ul class=\"prices\">\n";
    for (std::size_t i = 0; i < article.prices.size(); ++i) {
        page += "    <li>Item " + std::to_string(i + 1) + ": <b>$" + std::to_string(article.prices[i]) +
                "</b></li>\n";
    }
    page += "  </ul>\n  <form action=\"/subscribe\"><input type=\"hidden\" name=\"csrf\" value=\"" + token +
            "\"><button>Subscribe</button></form>\n</article>\n</main>\n";
    page += "<footer>\n<p>Server time: " + std::string(clock) + " &middot; Request " + request + "</p>\n";
    page += "<div class=\"ticker\">INDEX " + std::to_string(random() % 9000 + 1000) + " " +
            (random() % 2 ? "+" : "-") + std::to_string(random() % 300 / 100.0).substr(0, 4) + "%</div>\n";
    page += "</footer>\n<script nonce=\"" + nonce + "\" src=\"/static/app.js?v=" + build + "\"></script>\n";
    page += "<!-- rendered in " + std::to_string(random() % 200) + " ms by node" + std::to_string(random() % 8) +
            " -->\n</body>\n</html>\n";
    return page;
}

struct CSetting {
    const char* name;
    CWatcherSettings settings;
    int noiseReported = 0;
    int realReported = 0;
    double seconds = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const int sites = argc > 1 ? std::atoi(argv[1]) : 20;
    const int versions = argc > 2 ? std::atoi(argv[2]) : 30;

    std::vector<CSetting> settings(3);
    settings[0].name = "source";
    settings[1].name = "text";
    settings[1].settings.SetCompareWhat(CWatcherSettings::CompareText);
    settings[2].name = "text + region";
    settings[2].settings.SetCompareWhat(CWatcherSettings::CompareText);
    settings[2].settings.SetRegion("main article");
    settings[2].settings.SetIgnoreText({"Updated at [0-9:]+", "\\d+ people are viewing"});

    int noiseVersions = 0, realVersions = 0;
    std::size_t pageBytes = 0;
    for (int site = 0; site < sites; ++site) {
        std::mt19937 random(1000 + site);
        CArticle article = NewArticle(random);
        std::string previous = Render(random, article, site);
        for (int v = 1; v < versions; ++v) {
            const bool real = random() % 3 == 0;
            if (real) EditArticle(random, article);
            const std::string latest = Render(random, article, site);
            pageBytes += latest.size();
            (real ? realVersions : noiseVersions)++;
            for (CSetting& setting : settings) {
                CWatchSite page;
                page.SetSettings(setting.settings);
                page.SetPreviousContent(previous);
                page.SetLatestContent(latest);
                const auto start = std::chrono::steady_clock::now();
                const bool reported = page.HasChanges();
                setting.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                if (reported) (real ? setting.realReported : setting.noiseReported)++;
            }
            previous = latest;
        }
    }
    const int compared = noiseVersions + realVersions;
    std::printf("%d sites, %d versions each: %d versions with noise only, %d with a real edit; "
                "pages of %.1f KB on average\n\n",
                sites, versions, noiseVersions, realVersions, pageBytes / 1024.0 / compared);
    std::printf("%-15s %26s %26s %14s\n", "setting", "noise-only versions reported",
                "real edits reported", "ms a decision");
    for (const CSetting& setting : settings) {
        std::printf("%-15s %19d of %4d %19d of %4d %14.2f\n", setting.name, setting.noiseReported,
                    noiseVersions, setting.realReported, realVersions, setting.seconds * 1000 / compared);
    }
    const CSetting& best = settings[2];
    const bool met = best.noiseReported == 0 && best.realReported == realVersions;
    std::printf("\ntext + region: %s\n", met ? "no noise reported, every real edit reported"
                                             : "MISSED: noise reported or a real edit missed");
    return met ? 0 : 1;
}
