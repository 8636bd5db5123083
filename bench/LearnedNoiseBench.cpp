// learned_noise_bench: does a page left at the default settings keep the
// noise of today's web out of its reports by itself, and still report every
// real edit? Whole processes over HTTP, as a user runs them.
//
// Generates sites of six kinds (a news index, a shop's product page, a
// documentation page, a blog article with comments, a forum thread, an
// events listing), each with a main part and the usual header, navigation,
// sidebar and footer, written indented, flat (one tag a line) or minified.
// Three kinds of noise, mixed differently on every site:
//   every request   security tokens, script nonces, request ids, viewer
//                   counts, server times with seconds, a rotating
//                   "Trending" block, an advert, a quote of the moment;
//                   drawn anew for every GET, even of the same version
//   deployments     hashed asset and class names, the build id in the
//                   footer; new every 5 to 10 versions
//   time            a clock that moves 5 to 120 minutes a version: relative
//                   times ("3 minutes ago"), "Last updated 14:02", today's
//                   date, the year
// About one version in four or five also edits the main part (a paragraph
// reworded, added or removed, a price or a stock line, a list item, a
// heading, a new story, comment or reply). That is the truth each version is
// scored against.
//
// The sites are served from 127.0.0.1. `tallyhawk-cli new` and `add` (no page
// options: the defaults of a new page) make the document; each version step
// runs `tallyhawk-cli check DOC --all --accept --json` and reads from its
// JSON which pages it found Modified:
//   false alarm   a version with noise only reported
//   miss          a version with a real edit not reported
// Prints both overall, by layout and by site kind, how they fall over each
// site's versions, the downloads and wall time of a pass, and what the noise
// versions still reported late in a site's life showed. Run by hand:
//
//   learned_noise_bench [SITES [VERSIONS]] [--seed N] [--verbose] [--keep] [--cli PATH]
//
// --verbose prints every pass and every line of the late noise; --keep
// leaves the document and its history in the scratch folder, for
// `tallyhawk-cli history`; --show SITE prints a site's first page instead,
// to see what it looks like.
// Defaults: 24 sites (4 of each kind), 40 versions, seed 1. Everything comes
// from the seed; another seed gives sites the program was never tuned on.
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "LocalHttpServer.h"
#include "PageGenerator.h"

namespace tallyhawk::bench {
namespace {

using Rng = std::mt19937;

int Between(Rng& random, int low, int high) {
    return low + static_cast<int>(random() % static_cast<unsigned>(high - low + 1));
}
bool Chance(Rng& random, int percent) { return static_cast<int>(random() % 100) < percent; }
template <class T, std::size_t N>
const T& Pick(Rng& random, const T (&pool)[N]) {
    return pool[random() % N];
}

std::string Hex(Rng& random, int digits) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < digits; ++i) text += kDigits[random() % 16];
    return text;
}

std::string Base36(std::uint32_t value, int digits) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string text;
    for (int i = 0; i < digits; ++i, value /= 36) text += kDigits[value % 36];
    return text;
}

// ---------------------------------------------------------------------------
// Words

const char* const kWords[] = {
    "the",      "council",  "river",    "budget",   "school",   "report",   "season",
    "station",  "museum",   "vote",     "bridge",   "harbour",  "festival", "library",
    "storm",    "price",    "study",    "league",   "plan",     "road",     "garden",
    "energy",   "train",    "water",    "new",      "local",    "after",    "before",
    "residents", "opened",  "closed",   "said",     "will",     "could",    "more",
    "than",     "year",     "week",     "people",   "city",     "centre",   "north",
    "south",    "service",  "changes",  "during",   "winter",   "summer",   "team",
    "players",  "match",    "result",   "market",   "shops",    "owners",   "worked",
    "months",   "hours",    "several",  "first",    "last",     "public",   "meeting",
    "approved", "proposal", "funding",  "project",  "building", "housing",  "rents",
    "traffic",  "cyclists", "park",     "trees",    "volunteers", "event",  "tickets",
    "visitors", "record",   "numbers",  "early",    "late",     "morning",  "evening",
    "across",   "along",    "between",  "under",    "because",  "although", "while",
    "quickly",  "slowly",   "clearly",  "finally",  "already",  "still",    "again",
    "support",  "version",  "release",  "setting",  "option",   "value",    "file",
    "request",  "server",   "client",   "update",   "install",  "config",   "default"};

std::string Word(Rng& random) { return Pick(random, kWords); }

std::string Capitalized(std::string text) {
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

std::string Words(Rng& random, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += (i ? " " : "") + Word(random);
    return text;
}

std::string Sentence(Rng& random) { return Capitalized(Words(random, Between(random, 7, 16))) + "."; }

std::string Paragraph(Rng& random) {
    std::string text;
    const int sentences = Between(random, 2, 4);
    for (int i = 0; i < sentences; ++i) text += (i ? " " : "") + Sentence(random);
    return text;
}

std::string Headline(Rng& random) { return Capitalized(Words(random, Between(random, 5, 9))); }

// The same text with a few words swapped for others: how an editor rewords.
std::string Reworded(Rng& random, const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    if (words.empty()) return Sentence(random);
    const int changes = Between(random, 2, 4);
    for (int i = 0; i < changes; ++i) {
        std::string& word = words[random() % words.size()];
        const char end = word.empty() ? 0 : word.back();
        std::string replacement;
        do replacement = Word(random);
        while (replacement == word);
        if (end == '.' || end == ',' || end == '?') replacement += end;
        if (!word.empty() && std::isupper(static_cast<unsigned char>(word[0])))
            replacement = Capitalized(replacement);
        word = replacement;
    }
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) out += (i ? " " : "") + words[i];
    return out;
}

const char* const kPeople[] = {
    "Anna Kowalski", "Ben Okafor",   "Chloe Martin",  "Daniel Reyes", "Elif Demir",
    "Farah Haddad",  "George Lin",   "Hannah Weber",  "Ivan Petrov",  "Julia Santos",
    "Kenji Sato",    "Laura Byrne",  "Marco Ricci",   "Nadia Rahman", "Oscar Lund",
    "Priya Nair",    "Quentin Roy",  "Rosa Alvarez",  "Sam Taylor",   "Tomas Novak"};
const char* const kHandles[] = {"rivet_head", "mossbank", "kettlebell42", "old_harbour",
                                "quietfox",   "tinker",   "pebble.dash",  "northwind",
                                "lamplight",  "byte_wrangler", "cobbles",  "marigold"};

// What a "Trending" or "Recommended" block draws from.
const char* const kTrendingTitles[] = {
    "Ten things to do this weekend",           "Why the night train is back",
    "The best winter soups, ranked",           "Inside the city's oldest bakery",
    "How to keep your pipes from freezing",    "Five walks with a view",
    "What the new parking rules mean for you", "Meet the volunteers behind the food bank",
    "Our favourite budget headphones",         "The quiet comeback of board games",
    "A beginner's guide to sourdough",         "Is it worth switching energy supplier?",
    "The stadium plan explained",              "Photos: the harbour at first light",
    "Review: the new museum wing",             "Ask the expert: damp walls",
    "Where to watch the match tonight",        "The cafe that never closes",
    "Our readers' best holiday tips",          "A short history of the tram",
    "Gift ideas under 20 pounds",              "How the library went digital",
    "What we learned from the flood",          "Six podcasts for long drives",
    "The market stalls worth queueing for",    "Cheap ways to heat one room",
    "Running in the dark: a safety guide",     "Behind the scenes at the theatre",
    "The rise of the four-day week",           "How to read your energy bill"};
const char* const kAdverts[] = {
    "Save 20% on winter tyres this week only",       "Switch your broadband and get 3 months free",
    "New: the lightest laptop we have ever made",    "Book your flu jab at a pharmacy near you",
    "Fresh meal kits delivered to your door",        "Learn a language in 10 minutes a day",
    "Compare car insurance quotes in minutes",       "The sale ends Sunday: up to 50% off sofas",
    "Try our premium plan free for 30 days",         "Hearing aids from 499, book a free test",
    "Holiday cottages with availability this weekend", "Get your mortgage decision in 24 hours"};
const char* const kQuotes[] = {
    "The best way out is always through. - Robert Frost",
    "Simplicity is prerequisite for reliability. - Edsger Dijkstra",
    "What we know is a drop, what we don't know is an ocean. - Isaac Newton",
    "It always seems impossible until it is done. - Nelson Mandela",
    "Well done is better than well said. - Benjamin Franklin",
    "The journey of a thousand miles begins with one step. - Lao Tzu",
    "Nothing in life is to be feared, it is only to be understood. - Marie Curie",
    "Quality is not an act, it is a habit. - Will Durant",
    "Whatever you are, be a good one. - Abraham Lincoln",
    "Do what you can, with what you have, where you are. - Theodore Roosevelt",
    "Creativity is intelligence having fun. - Albert Einstein",
    "Little by little, one travels far. - J.R.R. Tolkien"};
const char* const kPlaces[] = {"Harbour", "Northgate", "Riverside", "Millbrook", "Eastfield",
                               "Kingsway", "Ashdown",   "Lakeview",  "Westmoor", "Brookhaven"};
const char* const kVenues[] = {"The Corn Exchange", "Riverside Hall", "St Mary's Church",
                               "The Old Fire Station", "Central Library", "Town Square",
                               "The Boat House",      "Northgate Arts Centre"};
const char* const kStockLines[] = {"In stock",        "Only 2 left",       "Only 5 left",
                                   "Out of stock",    "Ships in 3-5 days", "Low stock",
                                   "Back in stock soon"};
const char* const kEventStates[] = {"Tickets available", "Few tickets left", "Sold out",
                                    "Cancelled",         "Free entry",       "Waiting list"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// ---------------------------------------------------------------------------
// Time: seconds since 1970, shown as UTC.

tm Civil(std::int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    tm parts{};
    gmtime_r(&t, &parts);
    return parts;
}

std::string Format(const char* format, int a, int b = 0, int c = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string ClockHm(std::int64_t t) {
    const tm c = Civil(t);
    return Format("%02d:%02d", c.tm_hour, c.tm_min);
}
std::string ClockHms(std::int64_t t) {
    const tm c = Civil(t);
    return Format("%02d:%02d:%02d", c.tm_hour, c.tm_min, c.tm_sec);
}
std::string LongDate(std::int64_t t) {  // "Wednesday, 9 December 2026"
    const tm c = Civil(t);
    return std::string(kDays[c.tm_wday]) + ", " + std::to_string(c.tm_mday) + " " + kMonths[c.tm_mon] +
           " " + std::to_string(c.tm_year + 1900);
}
std::string ShortDate(std::int64_t t) {  // "9 December"
    const tm c = Civil(t);
    return std::to_string(c.tm_mday) + " " + kMonths[c.tm_mon];
}
std::string EventDate(std::int64_t t) {  // "Sat 12 December, 19:30"
    const tm c = Civil(t);
    return std::string(kDays[c.tm_wday]).substr(0, 3) + " " + ShortDate(t) + ", " + ClockHm(t);
}
std::string Year(std::int64_t t) { return std::to_string(Civil(t).tm_year + 1900); }
std::string IsoTime(std::int64_t t) {
    const tm c = Civil(t);
    return Format("%04d-%02d-", c.tm_year + 1900, c.tm_mon + 1) + Format("%02dT%02d:%02d:00Z", c.tm_mday, c.tm_hour, c.tm_min);
}

// "just now", "3 minutes ago", "2 hours ago", "yesterday", "5 December".
std::string Ago(std::int64_t now, std::int64_t then) {
    const std::int64_t minutes = (now - then) / 60;
    if (minutes < 1) return "just now";
    if (minutes < 60) return minutes == 1 ? "1 minute ago" : std::to_string(minutes) + " minutes ago";
    const std::int64_t hours = minutes / 60;
    if (hours < 24) return hours == 1 ? "1 hour ago" : std::to_string(hours) + " hours ago";
    if (hours < 48) return "yesterday";
    return ShortDate(then);
}

// ---------------------------------------------------------------------------
// Markup: a small tree written in one of three layouts.

enum class Layout { Indented, Flat, Minified };
const char* const kLayoutNames[] = {"indented", "flat", "minified"};

struct Node {
    std::string tag;    // empty: `text` is written as it is (text, a comment)
    std::string attrs;  // written after the tag name, with its leading space
    std::string text;
    std::vector<Node> kids;
};

Node T(std::string text) { return Node{"", "", std::move(text), {}}; }
Node E(std::string tag, std::string attrs = "", std::vector<Node> kids = {}) {
    return Node{std::move(tag), std::move(attrs), "", std::move(kids)};
}
Node E(std::string tag, std::string attrs, std::string text) {
    return E(std::move(tag), std::move(attrs), std::vector<Node>{T(std::move(text))});
}

bool IsVoid(const std::string& tag) {
    return tag == "meta" || tag == "link" || tag == "img" || tag == "input" || tag == "br" || tag == "hr";
}
bool IsInline(const std::string& tag) {
    static const char* const kInline[] = {"a",    "span", "b",      "strong", "em",    "i",
                                          "time", "small", "button", "label", "code",  "abbr",
                                          "s",    "img",  "input",  "br",     "script", "sup"};
    for (const char* name : kInline)
        if (tag == name) return true;
    return false;
}
// Text and inline elements only: written on one line.
bool OneLine(const Node& node) {
    for (const Node& kid : node.kids) {
        if (kid.tag.empty()) continue;
        if (!IsInline(kid.tag) || !OneLine(kid)) return false;
    }
    return true;
}

void Write(const Node& node, Layout layout, int depth, std::string& out) {
    if (node.tag.empty()) {
        out += node.text;
        return;
    }
    out += "<" + node.tag + node.attrs + ">";
    if (IsVoid(node.tag)) return;
    if (OneLine(node)) {
        for (const Node& kid : node.kids) Write(kid, layout, depth + 1, out);
    } else {
        auto newline = [&](int level) {
            if (layout == Layout::Minified) return;
            out += '\n';
            if (layout == Layout::Indented) out.append(static_cast<std::size_t>(level) * 2, ' ');
        };
        for (const Node& kid : node.kids) {
            newline(depth + 1);
            Write(kid, layout, depth + 1, out);
        }
        newline(depth);
    }
    out += "</" + node.tag + ">";
}

// ---------------------------------------------------------------------------
// Sites

enum class Kind { News, Shop, Docs, Blog, Forum, Events };
constexpr int kKinds = 6;
const char* const kKindNames[] = {"news", "shop", "docs", "blog", "forum", "events"};

// A story card, review, comment, forum post or event.
struct Item {
    int id = 0;
    std::string title;
    std::string text;
    std::string who;
    std::string state;  // an event's tickets
    std::int64_t when = 0;  // published, posted; an event's start
};

struct Section {
    std::string heading;
    std::vector<std::string> paragraphs;
    std::vector<std::string> list;
    std::string code;
};

struct Site {
    int index = 0;
    Kind kind = Kind::News;
    Layout layout = Layout::Indented;
    std::uint32_t seed = 0;
    std::string name, path;
    Rng random;  // draws the versions (never the requests)

    // Which noise the site has.
    bool csrf = false, nonce = false, requestId = false, viewers = false, serverTime = false;
    bool servedIn = false, trending = false, advert = false, quote = false, hashedAssets = false;
    bool hashedClasses = false, buildId = false, buildWithVersion = false, lastUpdated = false;
    bool dateHeader = false;
    std::string trendingLabel;

    // Deployment.
    std::string assetHash, styleHash, classSalt, buildHash, release;
    int nextDeploy = 0;

    // The main part.
    std::string title;
    std::vector<Item> items;
    std::vector<Section> sections;
    std::vector<std::string> features;
    int priceCents = 0;
    std::string stock;
    std::int64_t published = 0;  // a blog article's
    int nextId = 1;

    // The version served now, its clock, and the server's clock.
    int version = 0;
    std::int64_t now = 0;
    std::int64_t serverClock = 0;
    int requestsThisVersion = 0;
    int requestsThisPass = 0;
};

void Deploy(Site& site) {
    site.assetHash = Hex(site.random, 8);
    site.styleHash = Hex(site.random, 6);
    site.classSalt = Hex(site.random, 8);
    site.buildHash = Hex(site.random, 7);
    site.release = "v2." + std::to_string(Between(site.random, 1, 30)) + "." + std::to_string(Between(site.random, 0, 9));
    site.nextDeploy = site.version + Between(site.random, 5, 10);
}

// The main part as a reader sees it, without what time alone changes: two
// versions with a different signature differ by a real edit.
std::string Signature(const Site& site) {
    std::string text = site.title + "\n";
    for (const Item& item : site.items) {
        text += item.title + "|" + item.text + "|" + item.who + "|" + item.state;
        if (site.kind == Kind::Events) text += "|" + std::to_string(item.when);
        text += "\n";
    }
    for (const Section& section : site.sections) {
        text += section.heading + "\n" + section.code + "\n";
        for (const std::string& p : section.paragraphs) text += p + "\n";
        for (const std::string& l : section.list) text += l + "\n";
    }
    for (const std::string& f : site.features) text += f + "\n";
    return text + std::to_string(site.priceCents) + "|" + site.stock;
}

Item NewItem(Site& site, std::int64_t when) {
    Rng& r = site.random;
    Item item;
    item.id = site.nextId++;
    item.when = when;
    switch (site.kind) {
        case Kind::News:
            item.title = Headline(r);
            item.text = Sentence(r);
            item.who = Pick(r, kPlaces);  // the story's section
            break;
        case Kind::Shop:
            item.title = Capitalized(Words(r, Between(r, 2, 5)));
            item.text = Paragraph(r);
            item.who = Pick(r, kPeople);
            item.state = std::to_string(Between(r, 1, 5)) + " out of 5 stars";
            break;
        case Kind::Blog:
            item.text = Paragraph(r);
            item.who = Pick(r, kPeople);
            break;
        case Kind::Forum:
            item.text = Paragraph(r) + (Chance(r, 50) ? " " + Paragraph(r) : "");
            item.who = Pick(r, kHandles);
            break;
        case Kind::Events:
            item.title = Capitalized(Words(r, Between(r, 3, 6)));
            item.text = Sentence(r);
            item.who = Pick(r, kVenues);
            item.state = Pick(r, kEventStates);
            break;
        case Kind::Docs: break;
    }
    return item;
}

Section NewSection(Rng& r, bool code) {
    Section section;
    section.heading = Capitalized(Words(r, Between(r, 2, 4)));
    for (int i = Between(r, 2, 4); i > 0; --i) section.paragraphs.push_back(Paragraph(r));
    if (Chance(r, 50))
        for (int i = Between(r, 3, 6); i > 0; --i) section.list.push_back(Capitalized(Words(r, Between(r, 3, 8))));
    if (code)
        section.code = "tallyhawk-cli " + Word(r) + " --" + Word(r) + " " + Word(r) + ".txt";
    return section;
}

std::string PriceText(int cents) {
    return Format("%d.%02d", cents / 100, cents % 100);
}

Site NewSite(int index, std::uint32_t seed) {
    Site site;
    site.index = index;
    site.kind = static_cast<Kind>(index % kKinds);
    site.layout = static_cast<Layout>((index / kKinds + index) % 3);
    site.seed = seed * 100003u + static_cast<std::uint32_t>(index) * 7919u + 17u;
    site.random.seed(site.seed);
    Rng& r = site.random;
    site.path = "/" + std::string(kKindNames[index % kKinds]) + "/" + std::to_string(index);
    site.name = std::string(Pick(r, kPlaces)) + " " +
                (site.kind == Kind::News     ? "Gazette"
                 : site.kind == Kind::Shop   ? "Outfitters"
                 : site.kind == Kind::Docs   ? "Docs"
                 : site.kind == Kind::Blog   ? "Notes"
                 : site.kind == Kind::Forum  ? "Community"
                                             : "What's On");

    // The noise mix: markup noise on most sites, visible noise on some.
    site.csrf = Chance(r, 70);
    site.nonce = Chance(r, 60);
    site.requestId = Chance(r, 50);
    site.viewers = Chance(r, 45);
    site.serverTime = Chance(r, 50);
    site.servedIn = Chance(r, 50);
    site.trending = Chance(r, 50);
    site.trendingLabel = Chance(r, 50) ? "Trending" : "Recommended for you";
    site.advert = Chance(r, 40);
    site.quote = Chance(r, 25);
    site.hashedAssets = Chance(r, 80);
    site.hashedClasses = Chance(r, 50);
    site.buildId = Chance(r, 55);
    site.buildWithVersion = Chance(r, 50);
    site.lastUpdated = Chance(r, 45);
    site.dateHeader = Chance(r, 55);

    // Somewhere in December 2026.
    site.now = 1796083200 + Between(r, 0, 27) * 86400 + Between(r, 0, 23 * 60) * 60;
    site.serverClock = site.now;
    Deploy(site);

    switch (site.kind) {
        case Kind::News:
            site.title = "Top stories";
            for (int i = 0; i < 12; ++i) site.items.push_back(NewItem(site, site.now - Between(r, 60, 3 * 86400)));
            std::sort(site.items.begin(), site.items.end(), [](const Item& a, const Item& b) { return a.when > b.when; });
            break;
        case Kind::Shop:
            site.title = Capitalized(Words(r, 3)) + " " + std::to_string(Between(r, 100, 990));
            site.priceCents = Between(r, 9, 400) * 100 + (Chance(r, 70) ? 99 : 0);
            site.stock = Pick(r, kStockLines);
            site.sections.push_back(NewSection(r, false));
            site.sections[0].heading = "Description";
            site.sections[0].list.clear();
            for (int i = Between(r, 5, 8); i > 0; --i) site.features.push_back(Capitalized(Words(r, Between(r, 3, 7))));
            for (int i = Between(r, 2, 5); i > 0; --i) site.items.push_back(NewItem(site, site.now - Between(r, 3600, 40 * 86400)));
            break;
        case Kind::Docs:
            site.title = "Configuring the " + Word(r) + " " + Word(r);
            for (int i = Between(r, 4, 6); i > 0; --i) site.sections.push_back(NewSection(r, Chance(r, 60)));
            break;
        case Kind::Blog:
            site.title = Headline(r);
            site.sections.push_back(Section{});
            for (int i = Between(r, 5, 9); i > 0; --i) site.sections[0].paragraphs.push_back(Paragraph(r));
            for (int i = Between(r, 2, 6); i > 0; --i) site.items.push_back(NewItem(site, site.now - Between(r, 600, 2 * 86400)));
            std::sort(site.items.begin(), site.items.end(), [](const Item& a, const Item& b) { return a.when < b.when; });
            site.published = site.now - Between(r, 2 * 86400, 5 * 86400);
            break;
        case Kind::Forum:
            site.title = Capitalized(Words(r, Between(r, 4, 9))) + "?";
            for (int i = Between(r, 3, 8); i > 0; --i) site.items.push_back(NewItem(site, site.now - Between(r, 600, 4 * 86400)));
            std::sort(site.items.begin(), site.items.end(), [](const Item& a, const Item& b) { return a.when < b.when; });
            break;
        case Kind::Events:
            site.title = "What's on in " + std::string(Pick(r, kPlaces));
            for (int i = Between(r, 6, 12); i > 0; --i)
                site.items.push_back(NewItem(site, (site.now / 1800 + Between(r, 4 * 48, 60 * 48)) * 1800));
            std::sort(site.items.begin(), site.items.end(), [](const Item& a, const Item& b) { return a.when < b.when; });
            break;
    }
    return site;
}

// One real edit of the main part, of a kind the site's pages have.
void Edit(Site& site) {
    Rng& r = site.random;
    auto reword = [&](std::string& text) { text = Reworded(r, text); };
    auto anyParagraph = [&]() -> std::string& {
        for (;;) {
            Section& section = site.sections[r() % site.sections.size()];
            if (!section.paragraphs.empty()) return section.paragraphs[r() % section.paragraphs.size()];
        }
    };
    switch (site.kind) {
        case Kind::News:
            switch (Between(r, 0, 5)) {
                case 0:
                case 1:
                case 2:  // a new story on top; the oldest leaves the index
                    site.items.insert(site.items.begin(), NewItem(site, site.now - Between(r, 60, 1800)));
                    if (site.items.size() > 14) site.items.pop_back();
                    break;
                case 3: site.items[r() % site.items.size()].title = Headline(r); break;
                case 4: reword(site.items[r() % site.items.size()].text); break;
                default:
                    if (site.items.size() > 4) site.items.erase(site.items.begin() + static_cast<long>(r() % site.items.size()));
                    break;
            }
            break;
        case Kind::Shop:
            switch (Between(r, 0, 7)) {
                case 0:
                case 1: {
                    const int before = site.priceCents;
                    while (site.priceCents == before)
                        site.priceCents = std::max(199, before + (Chance(r, 60) ? -1 : 1) * Between(r, 1, 40) * 50);
                    break;
                }
                case 2:
                case 3: {
                    const std::string before = site.stock;
                    while (site.stock == before) site.stock = Pick(r, kStockLines);
                    break;
                }
                case 4: reword(anyParagraph()); break;
                case 5: site.features.insert(site.features.begin() + static_cast<long>(r() % site.features.size()), Capitalized(Words(r, Between(r, 3, 7)))); break;
                case 6:
                    if (site.features.size() > 2) site.features.erase(site.features.begin() + static_cast<long>(r() % site.features.size()));
                    break;
                default: site.items.push_back(NewItem(site, site.now - Between(r, 60, 3000))); break;
            }
            break;
        case Kind::Docs: {
            Section& section = site.sections[r() % site.sections.size()];
            switch (Between(r, 0, 6)) {
                case 0:
                case 1: reword(anyParagraph()); break;
                case 2: section.paragraphs.insert(section.paragraphs.begin() + static_cast<long>(r() % (section.paragraphs.size() + 1)), Paragraph(r)); break;
                case 3:
                    if (section.paragraphs.size() > 1) section.paragraphs.erase(section.paragraphs.begin() + static_cast<long>(r() % section.paragraphs.size()));
                    break;
                case 4: section.heading = Capitalized(Words(r, Between(r, 2, 4))); break;
                case 5:
                    if (section.list.size() > 2 && Chance(r, 40)) section.list.erase(section.list.begin() + static_cast<long>(r() % section.list.size()));
                    else section.list.push_back(Capitalized(Words(r, Between(r, 3, 8))));
                    break;
                default: section.code = "tallyhawk-cli " + Word(r) + " --" + Word(r) + " " + Word(r) + ".txt"; break;
            }
            break;
        }
        case Kind::Blog: {
            std::vector<std::string>& paragraphs = site.sections[0].paragraphs;
            switch (Between(r, 0, 6)) {
                case 0:
                case 1:
                case 2: site.items.push_back(NewItem(site, site.now - Between(r, 60, 1800))); break;
                case 3: reword(paragraphs[r() % paragraphs.size()]); break;
                case 4: paragraphs.insert(paragraphs.begin() + static_cast<long>(r() % (paragraphs.size() + 1)), Paragraph(r)); break;
                case 5:
                    if (paragraphs.size() > 2) paragraphs.erase(paragraphs.begin() + static_cast<long>(r() % paragraphs.size()));
                    break;
                default: site.title = Headline(r); break;
            }
            break;
        }
        case Kind::Forum:
            switch (Between(r, 0, 6)) {
                case 0:
                case 1:
                case 2:
                case 3: site.items.push_back(NewItem(site, site.now - Between(r, 60, 1800))); break;
                case 4: reword(site.items[r() % site.items.size()].text); break;
                case 5:
                    if (site.items.size() > 2) site.items.erase(site.items.begin() + 1 + static_cast<long>(r() % (site.items.size() - 1)));
                    break;
                default: site.title = Capitalized(Words(r, Between(r, 4, 9))) + "? [Solved]"; break;
            }
            break;
        case Kind::Events:
            switch (Between(r, 0, 6)) {
                case 0:
                case 1: {
                    site.items.push_back(NewItem(site, (site.now / 1800 + Between(r, 4 * 48, 60 * 48)) * 1800));
                    std::sort(site.items.begin(), site.items.end(), [](const Item& a, const Item& b) { return a.when < b.when; });
                    break;
                }
                case 2:
                    if (site.items.size() > 3) site.items.erase(site.items.begin() + static_cast<long>(r() % site.items.size()));
                    break;
                case 3:
                case 4: {
                    Item& item = site.items[r() % site.items.size()];
                    const std::string before = item.state;
                    while (item.state == before) item.state = Pick(r, kEventStates);
                    break;
                }
                case 5: site.items[r() % site.items.size()].when += Between(r, 1, 6) * 1800; break;
                default: site.title = "What's on in " + std::string(Pick(r, kPlaces)) + " this month"; break;
            }
            break;
    }
}

// The next version: the clock moves on, perhaps a deployment, perhaps a
// real edit. Returns whether the main part changed.
bool Advance(Site& site) {
    Rng& r = site.random;
    ++site.version;
    site.now += Between(r, 5, 120) * 60;
    site.serverClock = site.now + Between(r, 0, 50);
    site.requestsThisVersion = 0;
    if (site.version >= site.nextDeploy) Deploy(site);
    const std::string before = Signature(site);
    if (Chance(r, 22)) {
        for (int attempt = 0; attempt < 8 && Signature(site) == before; ++attempt) Edit(site);
    }
    return Signature(site) != before;
}

// ---------------------------------------------------------------------------
// One download of a site: the version's content with this request's noise.

std::string Render(const Site& site, Rng& q, std::int64_t served) {
    const auto cls = [&](const std::string& name) {
        if (!site.hashedClasses) return name;
        std::uint32_t hash = 2166136261u;
        for (char c : name + site.classSalt) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        return name + "__" + Base36(hash, 5);
    };
    const auto c = [&](const std::string& name) { return " class=\"" + cls(name) + "\""; };
    const std::string nonce = site.nonce ? Hex(q, 22) : "";
    const std::string nonceAttr = site.nonce ? " nonce=\"" + nonce + "\"" : "";
    const std::string request = Hex(q, 8) + "-" + Hex(q, 4) + "-" + Hex(q, 4) + "-" + Hex(q, 12);
    const std::string csrf = Hex(q, 43);
    const std::int64_t now = site.now;

    // head
    std::vector<Node> head{E("meta", " charset=\"utf-8\""),
                           E("title", "", site.title + " | " + site.name),
                           E("meta", " name=\"viewport\" content=\"width=device-width, initial-scale=1\"")};
    if (site.csrf) head.push_back(E("meta", " name=\"csrf-token\" content=\"" + csrf + "\""));
    head.push_back(E("link", " rel=\"stylesheet\" href=\"/assets/styles" +
                                 (site.hashedAssets ? "." + site.styleHash : std::string()) + ".css\""));
    head.push_back(E("script", nonceAttr,
                     "window.__APP__={\"locale\":\"en-GB\",\"site\":\"" + site.path + "\"" +
                         (site.requestId ? ",\"requestId\":\"" + request + "\"" : std::string()) +
                         ",\"features\":[\"search\",\"dark-mode\"]};"));
    // The critical styles inline, as bundlers write them.
    static const char* const kStyled[] = {"page",   "site-header", "brand",   "today",   "primary-nav", "search",
                                          "layout", "main",        "sidebar", "card",    "card-title",  "summary",
                                          "meta",   "section",     "price",   "stock",   "viewers",     "review",
                                          "byline", "comment",     "post",    "event",   "tickets",     "trending",
                                          "ad",     "quote",       "build",   "served",  "site-footer", "cookies"};
    std::string style;
    for (std::size_t i = 0; i < sizeof kStyled / sizeof *kStyled; ++i) {
        style += "." + cls(kStyled[i]) + "{margin:0 0 " + std::to_string(i % 4) + "rem;padding:." + std::to_string(i % 9 + 1) +
                 "rem;display:" + (i % 3 ? "block" : "flex") + "}";
    }
    head.push_back(E("style", nonceAttr, style));

    // header and navigation
    std::vector<Node> nav;
    static const char* const kNav[kKinds][5] = {
        {"Home", "Local", "Business", "Sport", "Opinion"},
        {"Home", "New in", "Clothing", "Outdoor", "Sale"},
        {"Guide", "Reference", "Tutorials", "Release notes", "Support"},
        {"Home", "Archive", "About", "Newsletter", "Contact"},
        {"Forums", "Latest", "Top", "Members", "Rules"},
        {"What's on", "Music", "Theatre", "Family", "Venues"}};
    for (const char* label : kNav[static_cast<int>(site.kind)]) {
        std::string href = "/" + std::string(label);
        std::replace(href.begin(), href.end(), ' ', '-');
        nav.push_back(E("li", "", {E("a", " href=\"" + href + "\"", label)}));
    }
    std::vector<Node> header{E("div", c("brand"), {E("a", " href=\"/\"", site.name)})};
    if (site.dateHeader) header.push_back(E("p", c("today"), LongDate(now)));
    header.push_back(E("nav", c("primary-nav") + " aria-label=\"Main\"", {E("ul", "", nav)}));
    std::vector<Node> search{E("input", " type=\"search\" name=\"q\" placeholder=\"Search\""),
                             E("button", " type=\"submit\"", "Search")};
    if (site.csrf) search.insert(search.begin(), E("input", " type=\"hidden\" name=\"authenticity_token\" value=\"" + csrf + "\""));
    header.push_back(E("form", c("search") + " action=\"/search\" method=\"get\"", search));
    if (site.viewers && (site.kind == Kind::News || site.kind == Kind::Blog || site.kind == Kind::Events))
        header.push_back(E("p", c("online"), std::to_string(Between(q, 40, 2400)) + " readers online now"));

    // the main part
    std::vector<Node> main;
    if (site.kind == Kind::Shop || site.kind == Kind::Docs) {
        const char* const section = site.kind == Kind::Shop ? "Outdoor" : "Guide";
        main.push_back(E("nav", c("breadcrumbs") + " aria-label=\"Breadcrumb\"",
                         {E("ol", "", {E("li", "", {E("a", " href=\"/\"", "Home")}),
                                      E("li", "", {E("a", " href=\"/" + std::string(section) + "\"", section)}),
                                      E("li", " aria-current=\"page\"", site.title)})}));
    }
    switch (site.kind) {
        case Kind::News: {
            main.push_back(E("h1", "", site.title));
            std::vector<Node> cards;
            for (const Item& item : site.items) {
                cards.push_back(E("article", c("card"),
                                  {E("h2", c("card-title"), {E("a", " href=\"/story/" + std::to_string(item.id) + "\"", item.title)}),
                                   E("p", c("summary"), item.text),
                                   E("p", c("meta"), {E("span", c("section"), item.who), T(" &middot; "),
                                                      E("time", " datetime=\"" + IsoTime(item.when) + "\"", Ago(now, item.when))})}));
            }
            main.push_back(E("section", c("stories"), cards));
            break;
        }
        case Kind::Shop: {
            std::vector<Node> buy{E("p", c("price"), {E("span", c("amount"), "&pound;" + PriceText(site.priceCents))}),
                                  E("p", c("stock"), site.stock)};
            if (site.viewers) buy.push_back(E("p", c("viewers"), std::to_string(Between(q, 2, 60)) + " people are viewing this item"));
            std::vector<Node> form{E("input", " type=\"hidden\" name=\"product\" value=\"" + std::to_string(site.index) + "\"")};
            if (site.csrf) form.push_back(E("input", " type=\"hidden\" name=\"csrf\" value=\"" + csrf + "\""));
            form.push_back(E("button", " type=\"submit\"", "Add to basket"));
            buy.push_back(E("form", " action=\"/basket\" method=\"post\"", form));
            main.push_back(E("h1", c("product-title"), site.title));
            main.push_back(E("div", c("buy-box"), buy));
            std::vector<Node> description{E("h2", "", site.sections[0].heading)};
            for (const std::string& p : site.sections[0].paragraphs) description.push_back(E("p", "", p));
            main.push_back(E("section", c("description"), description));
            std::vector<Node> features;
            for (const std::string& f : site.features) features.push_back(E("li", "", f));
            main.push_back(E("section", c("features"), {E("h2", "", "Features"), E("ul", "", features)}));
            std::vector<Node> reviews{E("h2", "", "Customer reviews")};
            for (const Item& item : site.items) {
                reviews.push_back(E("div", c("review"),
                                    {E("h3", "", item.title), E("p", c("rating"), item.state),
                                     E("p", c("byline"), {T(item.who + ", "), E("time", "", Ago(now, item.when))}),
                                     E("p", "", item.text)}));
            }
            main.push_back(E("section", c("reviews"), reviews));
            break;
        }
        case Kind::Docs: {
            main.push_back(E("h1", "", site.title));
            if (site.lastUpdated) main.push_back(E("p", c("last-updated"), "Last updated " + ClockHm(now)));
            for (const Section& section : site.sections) {
                std::vector<Node> body{E("h2", "", section.heading)};
                for (const std::string& p : section.paragraphs) body.push_back(E("p", "", p));
                if (!section.list.empty()) {
                    std::vector<Node> list;
                    for (const std::string& l : section.list) list.push_back(E("li", "", l));
                    body.push_back(E("ul", "", list));
                }
                if (!section.code.empty()) body.push_back(E("pre", "", {E("code", "", section.code)}));
                main.push_back(E("section", c("doc-section"), body));
            }
            break;
        }
        case Kind::Blog: {
            std::vector<Node> article{E("h1", "", site.title),
                                      E("p", c("byline"), {T("By " + std::string(kPeople[site.seed % 20]) + " &middot; "),
                                                           E("time", "", Ago(now, site.published))})};
            for (const std::string& p : site.sections[0].paragraphs) article.push_back(E("p", "", p));
            main.push_back(E("article", c("post"), article));
            std::vector<Node> comments{E("h2", "", std::to_string(site.items.size()) + " comments")};
            for (const Item& item : site.items) {
                comments.push_back(E("div", c("comment"),
                                     {E("p", c("comment-meta"), {E("b", "", item.who), T(" "), E("time", "", Ago(now, item.when))}),
                                      E("p", "", item.text)}));
            }
            main.push_back(E("section", c("comments"), comments));
            break;
        }
        case Kind::Forum: {
            main.push_back(E("h1", "", site.title));
            std::vector<Node> meta{T(std::to_string(site.items.size() - 1) + " replies")};
            if (site.viewers) meta.push_back(T(" &middot; " + std::to_string(Between(q, 2, 40)) + " people are viewing this thread"));
            main.push_back(E("p", c("thread-meta"), meta));
            for (const Item& item : site.items) {
                main.push_back(E("div", c("post") + " id=\"post-" + std::to_string(item.id) + "\"",
                                 {E("div", c("post-head"), {E("a", " href=\"/u/" + item.who + "\"", item.who), T(" "),
                                                            E("time", " title=\"" + IsoTime(item.when) + "\"", Ago(now, item.when))}),
                                  E("div", c("post-body"), {E("p", "", item.text)})}));
            }
            std::vector<Node> reply{E("textarea", " name=\"body\"", ""), E("button", "", "Reply")};
            if (site.csrf) reply.insert(reply.begin(), E("input", " type=\"hidden\" name=\"_token\" value=\"" + csrf + "\""));
            main.push_back(E("form", c("reply") + " method=\"post\"", reply));
            break;
        }
        case Kind::Events: {
            main.push_back(E("h1", "", site.title));
            std::vector<Node> list;
            for (const Item& item : site.items) {
                list.push_back(E("li", c("event"),
                                 {E("h3", "", item.title), E("p", c("when"), EventDate(item.when)),
                                  E("p", c("venue"), item.who), E("p", "", item.text),
                                  E("p", c("tickets"), item.state)}));
            }
            main.push_back(E("ul", c("events"), list));
            break;
        }
    }

    // the sidebar
    std::vector<Node> aside;
    if (site.trending) {
        std::vector<int> pool(sizeof kTrendingTitles / sizeof *kTrendingTitles);
        for (std::size_t i = 0; i < pool.size(); ++i) pool[i] = static_cast<int>(i);
        std::shuffle(pool.begin(), pool.end(), q);
        std::vector<Node> list;
        for (int i = Between(q, 3, 5); i > 0; --i) {
            const int pick = pool[static_cast<std::size_t>(i)];
            list.push_back(E("li", "", {E("a", " href=\"/t/" + std::to_string(pick) + "?ref=" + Hex(q, 6) + "\"", kTrendingTitles[pick])}));
        }
        aside.push_back(E("section", c("trending"), {E("h2", "", site.trendingLabel), E("ol", "", list)}));
    }
    if (site.advert) {
        aside.push_back(E("div", c("ad") + " data-slot=\"" + Hex(q, 10) + "\"",
                          {E("small", "", "Advertisement"), E("p", "", Pick(q, kAdverts)),
                           E("a", " href=\"/ad/click?c=" + Hex(q, 16) + "\"", "Learn more")}));
    }
    if (site.quote) aside.push_back(E("blockquote", c("quote"), {E("p", "", Pick(q, kQuotes))}));
    aside.push_back(E("section", c("about"), {E("h2", "", "About"), E("p", "", "News, notes and listings from " + site.name + ".")}));

    // the footer
    std::vector<Node> footer{E("nav", "", {E("a", " href=\"/about\"", "About"), T(" "), E("a", " href=\"/contact\"", "Contact"),
                                           T(" "), E("a", " href=\"/privacy\"", "Privacy")}),
                             E("p", "", "&copy; " + Year(now) + " " + site.name + ". All rights reserved.")};
    if (site.buildId)
        footer.push_back(E("p", c("build"), site.buildWithVersion ? site.release + " (" + site.buildHash + ")" : "Build " + site.buildHash));
    if (site.lastUpdated && site.kind != Kind::Docs) footer.push_back(E("p", "", "Last updated " + ClockHm(now)));
    if (site.serverTime)
        footer.push_back(E("p", c("served"), site.servedIn ? "Served at " + ClockHms(served) + " in " + std::to_string(Between(q, 4, 180)) + " ms"
                                                           : "Page generated " + ClockHms(served)));

    std::vector<Node> body{E("a", c("skip-link") + " href=\"#content\"", "Skip to content")};
    if (site.requestId) body.push_back(T("<!-- request " + request + " -->"));
    body.push_back(E("header", c("site-header"), header));
    body.push_back(E("div", c("layout"),
                     {E("main", " id=\"content\"" + c("main") + (site.requestId ? " data-request-id=\"" + request + "\"" : std::string()), main),
                      E("aside", c("sidebar"), aside)}));
    body.push_back(E("footer", c("site-footer"), footer));
    // The data the page's script hydrates from: the main part again, and
    // the request's own ids.
    const auto json = [](const std::string& text) {
        std::string quoted = "\"";
        for (char ch : text) quoted += ch == '"' || ch == '\\' ? std::string("\\") + ch : std::string(1, ch);
        return quoted + "\"";
    };
    std::string data = "{\"props\":{\"title\":" + json(site.title) + ",\"items\":[";
    for (std::size_t i = 0; i < site.items.size(); ++i) {
        const Item& item = site.items[i];
        data += std::string(i ? "," : "") + "{\"id\":" + std::to_string(item.id) + ",\"title\":" + json(item.title) +
                ",\"text\":" + json(item.text) + ",\"by\":" + json(item.who) + ",\"at\":" + std::to_string(item.when) + "}";
    }
    data += "]},\"buildId\":\"" + site.buildHash + "\",\"page\":\"" + site.path + "\"";
    if (site.requestId) data += ",\"requestId\":\"" + request + "\"";
    if (site.csrf) data += ",\"csrf\":\"" + csrf + "\"";
    data += ",\"renderedAt\":" + std::to_string(served) + "}";
    body.push_back(E("script", " id=\"__DATA__\" type=\"application/json\"", data));
    body.push_back(E("div", c("cookies") + " role=\"dialog\"",
                     {E("p", "", "We use cookies to make this site work and to understand how it is used."),
                      E("button", " data-consent=\"all\"", "Accept all"), E("a", " href=\"/cookies\"", "Cookie settings")}));
    body.push_back(E("script", nonceAttr + " src=\"/assets/app" + (site.hashedAssets ? "." + site.assetHash : std::string()) + ".js\" defer", ""));

    const Node html = E("html", " lang=\"en\"", {E("head", "", head), E("body", c("page"), body)});
    std::string out = "<!DOCTYPE html>";
    if (site.layout != Layout::Minified) out += '\n';
    Write(html, site.layout, 0, out);
    out += '\n';
    return out;
}

// ---------------------------------------------------------------------------
// The check's JSON: an array of flat objects.

struct JsonObject {
    std::map<std::string, std::string> values;  // strings unescaped, others as written
};

bool ParseJsonString(const std::string& in, std::size_t& at, std::string& out) {
    if (at >= in.size() || in[at] != '"') return false;
    ++at;
    while (at < in.size() && in[at] != '"') {
        char ch = in[at++];
        if (ch != '\\') {
            out += ch;
            continue;
        }
        if (at >= in.size()) return false;
        ch = in[at++];
        switch (ch) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (at + 4 > in.size()) return false;
                unsigned code = static_cast<unsigned>(std::strtoul(in.substr(at, 4).c_str(), nullptr, 16));
                at += 4;
                if (code >= 0xD800 && code < 0xDC00 && in.compare(at, 2, "\\u") == 0) {
                    const unsigned low = static_cast<unsigned>(std::strtoul(in.substr(at + 2, 4).c_str(), nullptr, 16));
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    at += 6;
                }
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else if (code < 0x10000) {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xF0 | (code >> 18));
                    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default: out += ch; break;
        }
    }
    return at++ < in.size();
}

bool ParseCheckJson(const std::string& in, std::vector<JsonObject>& objects) {
    std::size_t at = 0;
    const auto skip = [&] {
        while (at < in.size() && std::isspace(static_cast<unsigned char>(in[at]))) ++at;
    };
    skip();
    if (at >= in.size() || in[at++] != '[') return false;
    for (;;) {
        skip();
        if (at < in.size() && in[at] == ']') return true;
        if (at >= in.size() || in[at++] != '{') return false;
        JsonObject object;
        for (;;) {
            skip();
            if (at < in.size() && in[at] == '}') {
                ++at;
                break;
            }
            std::string key, value;
            if (!ParseJsonString(in, at, key)) return false;
            skip();
            if (at >= in.size() || in[at++] != ':') return false;
            skip();
            if (at < in.size() && in[at] == '"') {
                if (!ParseJsonString(in, at, value)) return false;
            } else {
                while (at < in.size() && in[at] != ',' && in[at] != '}' && !std::isspace(static_cast<unsigned char>(in[at])))
                    value += in[at++];
            }
            object.values[key] = value;
            skip();
            if (at < in.size() && in[at] == ',') ++at;
        }
        objects.push_back(std::move(object));
        skip();
        if (at < in.size() && in[at] == ',') ++at;
    }
}

std::string Unescaped(const std::string& html) {
    std::string text;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '<') {  // markup inside a change
            const std::size_t end = html.find('>', i);
            if (end == std::string::npos) break;
            if (html.compare(i, 3, "<br") == 0) text += '\n';
            i = end;
            continue;
        }
        if (html[i] == '&') {
            static const std::pair<const char*, const char*> kEntities[] = {
                {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&nbsp;", " "}};
            bool found = false;
            for (const auto& [name, value] : kEntities) {
                if (html.compare(i, std::char_traits<char>::length(name), name) == 0) {
                    text += value;
                    i += std::char_traits<char>::length(name) - 1;
                    found = true;
                    break;
                }
            }
            if (found) continue;
        }
        text += html[i];
    }
    return text;
}

// The "- " and "+ " lines of a highlighted change output: its struck-through
// and its highlighted runs.
std::vector<std::string> ChangedLines(const std::string& changes) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (;;) {
        const std::size_t del = changes.find("<del", at);
        const std::size_t add = changes.find("<b style=\"background", at);
        if (del == std::string::npos && add == std::string::npos) break;
        const bool deleted = del < add;
        const std::size_t start = changes.find('>', deleted ? del : add);
        if (start == std::string::npos) break;
        const std::size_t end = changes.find(deleted ? "</del>" : "</b>", start);
        if (end == std::string::npos) break;
        std::istringstream run(Unescaped(changes.substr(start + 1, end - start - 1)));
        for (std::string line; std::getline(run, line);) {
            const std::size_t first = line.find_first_not_of(" \t\r");
            if (first == std::string::npos) continue;
            lines.push_back(std::string(deleted ? "- " : "+ ") + line.substr(first));
        }
        at = end;
    }
    return lines;
}

std::string Shortened(const std::string& line, std::size_t width) {
    return line.size() <= width ? line : line.substr(0, width - 3) + "...";
}

// ---------------------------------------------------------------------------
// The run

struct Outcome {
    bool real = false;
    bool reported = false;
    bool failed = false;
    bool earlierEditPending = false;  // an earlier real edit was not reported yet
    int downloads = 0;
    std::vector<std::string> lines;
    std::string edit;  // a real edit: the first line of the main part it changed
};

struct Tally {
    int noise = 0, falseAlarms = 0, real = 0, misses = 0;
    void Add(const Outcome& o) {
        if (o.real) {
            ++real;
            misses += !o.reported;
        } else {
            ++noise;
            falseAlarms += o.reported;
        }
    }
};

double Percent(int part, int whole) { return whole ? 100.0 * part / whole : 0.0; }

void PrintTallyRow(const std::string& label, const Tally& t) {
    std::printf("  %-12s %4d of %4d (%5.1f%%)      %4d of %4d (%5.1f%%)\n", label.c_str(), t.falseAlarms, t.noise,
                Percent(t.falseAlarms, t.noise), t.misses, t.real, Percent(t.misses, t.real));
}

std::string cliPath = TALLYHAWK_CLI_PATH;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int Main(int argc, char** argv) {
    int siteCount = 24, versions = 40;
    std::uint32_t seed = 1;
    bool verbose = false;
    int show = -1;
    bool keep = false;
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seed" && i + 1 < argc) {
            seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "--keep") {
            keep = true;
        } else if (arg == "--show" && i + 1 < argc) {
            show = std::atoi(argv[++i]);
        } else if (arg == "--cli" && i + 1 < argc) {
            cliPath = argv[++i];
        } else if (!arg.empty() && std::isdigit(static_cast<unsigned char>(arg[0]))) {
            numbers.push_back(std::atoi(arg.c_str()));
        } else {
            std::fprintf(stderr, "Usage: learned_noise_bench [SITES [VERSIONS]] [--seed N] [--verbose] [--keep] [--cli PATH]\n"
                                 "       learned_noise_bench --show SITE   (prints a site's first page)\n");
            return 2;
        }
    }
    if (numbers.size() > 0) siteCount = numbers[0];
    if (numbers.size() > 1) versions = numbers[1];
    if (siteCount < 1 || versions < 2) {
        std::fprintf(stderr, "learned_noise_bench: at least 1 site and 2 versions\n");
        return 2;
    }

    std::vector<Site> sites;
    for (int i = 0; i < siteCount; ++i) sites.push_back(NewSite(i, seed));
    if (show >= 0 && show < siteCount) {  // a site's first download, to look at
        Site& site = sites[static_cast<std::size_t>(show)];
        Rng q(site.seed);
        std::fputs(Render(site, q, site.serverClock).c_str(), stdout);
        return 0;
    }

    std::mutex lock;
    int requestsThisPass = 0;
    tallyhawk::testing::CLocalHttpServer server;
    server.Server().Get(R"(/([a-z]+)/(\d+))", [&](const httplib::Request& request, httplib::Response& response) {
        const int index = std::atoi(request.matches[2].str().c_str());
        std::lock_guard<std::mutex> guard(lock);
        if (index < 0 || index >= siteCount) {
            response.status = 404;
            return;
        }
        Site& site = sites[static_cast<std::size_t>(index)];
        ++requestsThisPass;
        ++site.requestsThisPass;
        ++site.requestsThisVersion;
        // Each request has noise of its own, the same on every run.
        std::seed_seq seeds{site.seed, static_cast<std::uint32_t>(site.version), static_cast<std::uint32_t>(site.requestsThisVersion)};
        Rng q(seeds);
        site.serverClock += Between(q, 1, 20);
        response.set_content(Render(site, q, site.serverClock), kServedPageType);
    });
    server.Start();

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tallyhawk-learned-noise-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    // The program's own defaults, not those of whoever runs this.
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
    const std::string doc = (folder / "sites.wat").string();
    const std::string out = (folder / "out.txt").string();
    const auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), cliPath);
        return RunMeasured(args, out);
    };
    const auto fail = [&](const std::string& what) {
        std::fprintf(stderr, "learned_noise_bench: %s\n%s", what.c_str(), ReadFile(out).c_str());
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        return 2;
    };

    std::printf("learned_noise_bench: %d sites, %d versions each, seed %u\n", siteCount, versions, seed);
    std::printf("tallyhawk-cli: %s\n", cliPath.c_str());
    if (RunResult run = cli({"new", doc}); !run.ran || run.status != 0) return fail("tallyhawk-cli new failed");
    std::map<std::string, int> siteOfUrl;
    for (Site& site : sites) {
        const std::string url = server.Url(site.path);
        siteOfUrl[url] = site.index;
        if (RunResult run = cli({"add", doc, url}); !run.ran || run.status != 0) return fail("tallyhawk-cli add failed");
    }

    // One pass: returns the JSON's objects by site, or false on trouble.
    std::vector<double> passSeconds;
    std::vector<int> passRequests;
    const auto pass = [&](std::vector<const JsonObject*>& bySite, std::vector<JsonObject>& objects) {
        {
            std::lock_guard<std::mutex> guard(lock);
            requestsThisPass = 0;
            for (Site& site : sites) site.requestsThisPass = 0;
        }
        const RunResult run = cli({"check", doc, "--all", "--accept", "--json"});
        if (!run.ran || (run.status != 0 && run.status != 1)) {
            std::fprintf(stderr, "learned_noise_bench: tallyhawk-cli check ended with status %d\n", run.status);
            return false;
        }
        objects.clear();
        if (!ParseCheckJson(ReadFile(out), objects)) {
            std::fprintf(stderr, "learned_noise_bench: the check's JSON could not be read\n");
            return false;
        }
        bySite.assign(sites.size(), nullptr);
        for (const JsonObject& object : objects) {
            const auto url = object.values.find("url");
            if (url == object.values.end()) continue;
            const auto site = siteOfUrl.find(url->second);
            if (site != siteOfUrl.end()) bySite[static_cast<std::size_t>(site->second)] = &object;
        }
        passSeconds.push_back(run.seconds);
        std::lock_guard<std::mutex> guard(lock);
        passRequests.push_back(requestsThisPass);
        return true;
    };

    std::vector<JsonObject> objects;
    std::vector<const JsonObject*> bySite;
    if (!pass(bySite, objects)) return fail("the first pass failed");
    const int firstRequests = passRequests.back();
    const double firstSeconds = passSeconds.back();
    passSeconds.clear();
    passRequests.clear();
    for (const Site& site : sites) {
        const JsonObject* object = bySite[static_cast<std::size_t>(site.index)];
        if (!object || object->values.count("error"))
            std::printf("note: %s did not take its first version%s%s\n", site.path.c_str(), object ? ": " : "",
                        object ? object->values.at("error").c_str() : "");
    }

    // outcomes[site][version], version 1 on
    std::vector<std::vector<Outcome>> outcomes(sites.size(), std::vector<Outcome>(static_cast<std::size_t>(versions)));
    std::vector<bool> pending(sites.size(), false);
    std::vector<int> realInPass;
    for (int v = 1; v < versions; ++v) {
        int realCount = 0;
        {
            std::lock_guard<std::mutex> guard(lock);
            for (Site& site : sites) {
                Outcome& o = outcomes[static_cast<std::size_t>(site.index)][static_cast<std::size_t>(v)];
                const std::string before = Signature(site);
                o.real = Advance(site);
                realCount += o.real;
                if (o.real) {
                    // The first line of the main part that differs, as it was and is.
                    const std::string after = Signature(site);
                    std::size_t at = 0;
                    while (at < before.size() && at < after.size() && before[at] == after[at]) ++at;
                    const std::size_t line = before.rfind('\n', at == 0 ? 0 : at - 1);
                    const std::size_t from = line == std::string::npos || at == 0 ? 0 : line + 1;
                    o.edit = before.substr(from, before.find('\n', from) - from) + "  ->  " +
                             after.substr(from, after.find('\n', from) - from);
                }
            }
        }
        realInPass.push_back(realCount);
        if (!pass(bySite, objects)) return fail("a pass failed");
        int reported = 0, falseAlarms = 0, misses = 0;
        for (const Site& site : sites) {
            const std::size_t s = static_cast<std::size_t>(site.index);
            Outcome& o = outcomes[s][static_cast<std::size_t>(v)];
            const JsonObject* object = bySite[s];
            o.downloads = site.requestsThisPass;
            o.failed = !object || object->values.count("error");
            o.reported = object && object->values.count("status") && object->values.at("status") == "Modified";
            o.earlierEditPending = pending[s];
            if (o.reported) {
                ++reported;
                if (object->values.count("changes")) o.lines = ChangedLines(object->values.at("changes"));
            }
            if (o.real && !o.reported) pending[s] = true;
            if (o.reported) pending[s] = false;
            falseAlarms += !o.real && o.reported;
            misses += o.real && !o.reported;
        }
        if (verbose) {
            std::printf("version %2d: %2d real edits, %2d reported, %2d false alarms, %2d misses; %3d downloads, %6.0f ms\n", v,
                        realCount, reported, falseAlarms, misses, passRequests.back(), passSeconds.back() * 1e3);
        }
    }

    // Figures
    Tally overall, layouts[3], kinds[kKinds];
    int firstHalfNoise = 0, firstHalfAlarms = 0, secondHalfNoise = 0, secondHalfAlarms = 0, alarmsWhilePending = 0;
    int failures = 0;
    long downloadsAll = 0, downloadsNoise = 0, downloadsReal = 0;
    int checksAll = 0, checksNoise = 0, checksReal = 0;
    const int half = (versions - 1) / 2;  // versions 1..half are the first half
    for (const Site& site : sites) {
        for (int v = 1; v < versions; ++v) {
            const Outcome& o = outcomes[static_cast<std::size_t>(site.index)][static_cast<std::size_t>(v)];
            overall.Add(o);
            layouts[static_cast<int>(site.layout)].Add(o);
            kinds[static_cast<int>(site.kind)].Add(o);
            failures += o.failed;
            downloadsAll += o.downloads;
            ++checksAll;
            if (o.real) {
                downloadsReal += o.downloads;
                ++checksReal;
            } else {
                downloadsNoise += o.downloads;
                ++checksNoise;
                const bool first = v <= half;
                (first ? firstHalfNoise : secondHalfNoise)++;
                if (o.reported) {
                    (first ? firstHalfAlarms : secondHalfAlarms)++;
                    alarmsWhilePending += o.earlierEditPending;
                }
            }
        }
    }

    std::printf("\n%d versions compared: %d with noise only, %d with a real edit of the main part\n",
                overall.noise + overall.real, overall.noise, overall.real);
    std::printf("\n%-14s %-26s %s\n", "", "false alarms", "misses");
    PrintTallyRow("overall", overall);
    std::printf("by layout\n");
    for (int i = 0; i < 3; ++i) PrintTallyRow(kLayoutNames[i], layouts[i]);
    std::printf("by site kind\n");
    for (int i = 0; i < kKinds; ++i) PrintTallyRow(kKindNames[i], kinds[i]);

    std::printf("\nfalse alarms over each site's versions: first half (1-%d) %d of %d (%.1f%%), second half (%d-%d) %d of %d (%.1f%%)\n",
                half, firstHalfAlarms, firstHalfNoise, Percent(firstHalfAlarms, firstHalfNoise), half + 1, versions - 1,
                secondHalfAlarms, secondHalfNoise, Percent(secondHalfAlarms, secondHalfNoise));
    std::printf("false alarms while an earlier real edit of the site was still unreported: %d\n", alarmsWhilePending);
    if (failures) std::printf("checks that failed or were missing from the JSON: %d\n", failures);

    std::printf("\ndownloads per page per pass: mean %.2f; %.2f where the page had noise only, %.2f where it had a real edit\n",
                checksAll ? double(downloadsAll) / checksAll : 0.0, checksNoise ? double(downloadsNoise) / checksNoise : 0.0,
                checksReal ? double(downloadsReal) / checksReal : 0.0);
    int quietPasses = 0;
    long quietRequests = 0;
    for (std::size_t i = 0; i < realInPass.size(); ++i) {
        if (realInPass[i] == 0) {
            ++quietPasses;
            quietRequests += passRequests[i];
        }
    }
    if (quietPasses)
        std::printf("passes where no page really changed: %d, mean %.2f downloads per page\n", quietPasses,
                    double(quietRequests) / quietPasses / siteCount);
    else
        std::printf("passes where no page really changed: none in this run\n");
    std::printf("first pass (first versions): %d downloads for %d pages, %.0f ms\n", firstRequests, siteCount, firstSeconds * 1e3);
    std::vector<double> sorted = passSeconds;
    std::sort(sorted.begin(), sorted.end());
    double total = 0;
    for (double s : sorted) total += s;
    std::printf("wall time per pass: mean %.0f ms, median %.0f ms, best %.0f ms, worst %.0f ms (%d passes of %d pages)\n",
                total / sorted.size() * 1e3, sorted[sorted.size() / 2] * 1e3, sorted.front() * 1e3, sorted.back() * 1e3,
                static_cast<int>(sorted.size()), siteCount);

    // What still slips through once a site has had time to learn.
    constexpr int kLateFrom = 11;
    constexpr int kListedPerSite = 2;  // versions whose lines are shown, without --verbose
    constexpr std::size_t kLinesByDefault = 4;
    int late = 0, listed = 0;
    for (const Site& site : sites)
        for (int v = kLateFrom; v < versions; ++v) {
            const Outcome& o = outcomes[static_cast<std::size_t>(site.index)][static_cast<std::size_t>(v)];
            late += !o.real && o.reported;
        }
    std::printf("\nnoise-only versions still reported from version %d on: %d\n", kLateFrom, late);
    for (const Site& site : sites) {
        std::string versionsText;
        for (int v = kLateFrom; v < versions; ++v) {
            const Outcome& o = outcomes[static_cast<std::size_t>(site.index)][static_cast<std::size_t>(v)];
            if (!o.real && o.reported) versionsText += " " + std::to_string(v);
        }
        if (versionsText.empty()) continue;
        std::printf("  %-10s %-6s %-8s versions%s\n", site.path.c_str(), kKindNames[static_cast<int>(site.kind)],
                    kLayoutNames[static_cast<int>(site.layout)], versionsText.c_str());
        int listedHere = 0;
        for (int v = kLateFrom; v < versions; ++v) {
            const Outcome& o = outcomes[static_cast<std::size_t>(site.index)][static_cast<std::size_t>(v)];
            if (o.real || !o.reported) continue;
            if (!verbose && listedHere >= kListedPerSite) continue;
            ++listedHere;
            ++listed;
            std::printf("    version %d:%s\n", v, o.lines.empty() ? " (no lines: markup or white space only)" : "");
            const std::size_t shown = verbose ? o.lines.size() : std::min(o.lines.size(), kLinesByDefault);
            for (std::size_t i = 0; i < shown; ++i) std::printf("      %s\n", Shortened(o.lines[i], 100).c_str());
            if (shown < o.lines.size()) std::printf("      (%zu more lines)\n", o.lines.size() - shown);
        }
    }
    if (late > listed) std::printf("  (the lines of %d more versions: --verbose lists them all)\n", late - listed);

    // Every real edit that was not reported, with what it changed.
    bool anyMissed = false;
    for (const Site& site : sites)
        for (int v = 1; v < versions; ++v) {
            const Outcome& o = outcomes[static_cast<std::size_t>(site.index)][static_cast<std::size_t>(v)];
            if (!o.real || o.reported) continue;
            if (!anyMissed) std::printf("\nreal edits not reported:\n");
            anyMissed = true;
            std::printf("  %-10s version %d: %s\n", site.path.c_str(), v, Shortened(o.edit, 160).c_str());
        }

    server.Stop();
    if (keep) {
        std::printf("\nthe document and its history are kept in %s\n", folder.c_str());
        return 0;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}

}  // namespace
}  // namespace tallyhawk::bench

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == tallyhawk::bench::kMeasureFlag)
        return tallyhawk::bench::MeasureChild(argc, argv);
    return tallyhawk::bench::Main(argc, argv);
}
