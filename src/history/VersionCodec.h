// How a version's bytes are kept: compressed with zstd, either whole or
// against the bytes of the version before it, and named by their SHA-256.
//
// Every function is thread-safe (no shared state) and may be called without
// the store's lock; the long work of a large page happens here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tallyhawk {

// No version is larger: a record that says otherwise is damaged. Pages of
// 256 MB exist; four times that leaves room and still fits in memory.
constexpr std::uint64_t kMaxVersionSize = std::uint64_t{1} << 30;

using CVersionHash = std::array<unsigned char, 32>;  // SHA-256

CVersionHash HashOf(std::string_view bytes);

// One zstd frame of `bytes` alone. Throws CHistoryError when zstd fails
// (memory).
std::string EncodeWhole(std::string_view bytes);
// One zstd frame of `bytes` with `base` as its raw-content prefix, so that
// what `bytes` shares with `base` costs a few bytes. Throws CHistoryError.
std::string EncodeDelta(std::string_view bytes, std::string_view base);

// The bytes of `frame`, which must hold exactly `size` bytes; `base` is
// the prefix it was encoded against (empty for a whole version). Throws
// CHistoryError naming what is wrong when the frame is damaged, declares
// another size or a window beyond what `size` and `base` need. Never
// allocates more than `size` bytes, and `size` is checked against what
// the frame can possibly hold first.
std::string Decode(std::string_view frame, std::string_view base, std::uint64_t size);

// Bytes that differ between two versions: the lengths (with line ends) of
// the lines of `after` not matched by an equal line of `before`, plus
// those of `before` not matched in `after`. Lines are matched as multisets
// through a table of their hashes (at most 1M slots), so a moved line
// counts as no change, and when many thousands of lines change two of them
// may now and then meet in one slot and hide each other: an
// approximation, a little low at worst. Time linear in the bytes.
std::uint64_t ChangeSize(std::string_view before, std::string_view after);

}  // namespace tallyhawk
