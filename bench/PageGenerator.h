// Inputs for the change detector's benchmark: realistic HTML pages with a
// new version carrying scattered line edits, and adversarial pairs that
// defeat a naive longest-block search. Everything is generated from fixed
// seeds, so every run measures the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tallyhawk::bench {

// The content type the benchmarks serve their pages with. The local test
// server compresses text answers with brotli for a client that accepts it
// (as checks do) at about 1 MB/s, which no real server does on the fly: a
// type it leaves alone keeps that cost out of the figures.
inline constexpr const char* kServedPageType = "application/octet-stream";

struct PagePair {
    std::string name;
    std::string previous;
    std::string current;
    bool adversarial = false;
};

// A page of about `bytes` bytes (never less): a head with a title, then a
// body of nested sections, lists and tables, one element per line and
// indented, closing tags on lines of their own, blank lines between blocks,
// paragraphs of generated words.
std::string GenerateHtmlPage(std::size_t bytes, std::uint32_t seed);

// `page` with `edits` line edits spread over it: each changes a line's words,
// inserts a new paragraph line or deletes a line, in turn.
std::string EditLines(const std::string& page, int edits, std::uint32_t seed);

// A realistic pair: a page of `bytes` bytes and the same page with `edits` edits.
PagePair RealisticPair(std::size_t bytes, int edits);

// `lines` identical lines; the new version differs in the middle line only.
PagePair IdenticalLinesPair(int lines);

// `lines` lines drawn at random from five closing tags, independently for
// each version.
PagePair ClosingTagsPair(int lines);

// `lines` lines: the even ones are the same closing tag in both versions, the
// odd ones are distinct text that differs between the versions.
PagePair AlternatingPair(int lines);

// Describes the pairs the benchmark runs, without generating them.
struct PairRecipe {
    enum class Kind { Realistic, Identical, ClosingTags, Alternating };
    Kind kind;
    std::size_t bytes;  // realistic pairs
    int count;          // edits (realistic) or lines (adversarial)
    std::string Name() const;
    PagePair Make() const;
};

// 100 KiB, 1 MiB and 8 MiB pages with 1, 10 and 100 edits each, then the
// three adversarial pairs.
std::vector<PairRecipe> BenchmarkPairs();

}  // namespace tallyhawk::bench
