#include "history/VersionCodec.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader: the declared window
#include <zstd.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "history/HistoryStore.h"
#include "history/Sha256.h"

namespace tallyhawk {

namespace {

// Whole versions are read far more often than written; deltas are written
// on every change and are small whatever the level.
constexpr int kWholeLevel = 3;
constexpr int kDeltaLevel = 3;
// Beyond this reach the ordinary match finder no longer sees the base's
// far parts; long-distance matching does.
constexpr std::size_t kLongMatchingFrom = std::size_t{8} << 20;
constexpr std::uint64_t kMaxBlockContent = ZSTD_BLOCKSIZE_MAX;  // 128 KB
// A frame's declared window is accepted up to twice what base and content
// need, or zstd's own default limit when that is more.
constexpr std::uint64_t kDefaultWindowLimit = std::uint64_t{1} << ZSTD_WINDOWLOG_LIMIT_DEFAULT;

struct CFreeCCtx {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};
struct CFreeDCtx {
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

[[noreturn]] void Fail(const std::string& what, std::size_t code) {
    throw CHistoryError(what + " (" + ZSTD_getErrorName(code) + ")");
}

void Check(std::size_t code, const char* what) {
    if (ZSTD_isError(code)) Fail(what, code);
}

std::string Compress(ZSTD_CCtx* context, std::string_view bytes) {
    Check(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1), "zstd refused a parameter");
    std::string frame(ZSTD_compressBound(bytes.size()), '\0');
    const std::size_t n = ZSTD_compress2(context, frame.data(), frame.size(), bytes.data(), bytes.size());
    Check(n, "A version could not be compressed");
    frame.resize(n);
    return frame;
}

std::unique_ptr<ZSTD_CCtx, CFreeCCtx> NewCCtx() {
    std::unique_ptr<ZSTD_CCtx, CFreeCCtx> context(ZSTD_createCCtx());
    if (!context) throw CHistoryError("Out of memory for compressing a version");
    return context;
}

// The most content the frame's blocks can hold, from their headers alone.
// Block header: 3 bytes little-endian, bit 0 last block, bits 1-2 type
// (raw, RLE, compressed, reserved), bits 3-23 the block's size (raw and
// RLE: its content; compressed: its bytes in the frame).
std::uint64_t ContentBound(std::string_view frame, std::size_t headerSize) {
    std::uint64_t bound = 0;
    std::size_t at = headerSize;
    for (;;) {
        if (frame.size() - at < 3) throw CHistoryError("the compressed bytes are cut short");
        const auto* p = reinterpret_cast<const unsigned char*>(frame.data() + at);
        const std::uint32_t header = p[0] | (p[1] << 8) | (p[2] << 16);
        const std::uint32_t type = (header >> 1) & 3;
        const std::uint32_t blockSize = header >> 3;
        at += 3;
        const std::size_t stored = type == 1 ? 1 : blockSize;
        if (type == 3) throw CHistoryError("the compressed bytes hold a block of no known type");
        if (frame.size() - at < stored) throw CHistoryError("the compressed bytes are cut short");
        at += stored;
        bound += type == 2 ? kMaxBlockContent : blockSize;
        if (header & 1) return bound;
    }
}

void CheckFrame(std::string_view frame, std::string_view base, std::uint64_t size) {
    if (size > kMaxVersionSize)
        throw CHistoryError("it is recorded as " + std::to_string(size) + " bytes, more than any page");
    ZSTD_frameHeader header{};
    if (ZSTD_getFrameHeader(&header, frame.data(), frame.size()) != 0 || header.frameType != ZSTD_frame)
        throw CHistoryError("its bytes are not a zstd frame");
    if (header.frameContentSize != size)
        throw CHistoryError("its frame does not declare the recorded " + std::to_string(size) + " bytes");
    if (header.dictID != 0) throw CHistoryError("its frame asks for a dictionary");
    const std::uint64_t need = base.size() + size;
    if (header.windowSize > std::max(kDefaultWindowLimit, 2 * need))
        throw CHistoryError("its frame declares a window of " + std::to_string(header.windowSize) + " bytes");
    if (ContentBound(frame, header.headerSize) < size)
        throw CHistoryError("its frame cannot hold the recorded " + std::to_string(size) + " bytes");
}

}  // namespace

CVersionHash HashOf(std::string_view bytes) { return Sha256(bytes); }

std::string EncodeWhole(std::string_view bytes) {
    auto context = NewCCtx();
    Check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, kWholeLevel),
          "zstd refused a parameter");
    return Compress(context.get(), bytes);
}

std::string EncodeDelta(std::string_view bytes, std::string_view base) {
    auto context = NewCCtx();
    Check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, kDeltaLevel),
          "zstd refused a parameter");
    // The window must reach from the end of the content back to the start
    // of the base, or the base's early parts are out of sight.
    const std::uint64_t reach = std::uint64_t{base.size()} + bytes.size();
    const int windowLog = std::clamp(static_cast<int>(std::bit_width(reach)), ZSTD_WINDOWLOG_MIN,
                                     ZSTD_WINDOWLOG_MAX);
    Check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_windowLog, windowLog), "zstd refused a parameter");
    if (reach > kLongMatchingFrom)
        Check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_enableLongDistanceMatching, 1),
              "zstd refused a parameter");
    Check(ZSTD_CCtx_refPrefix(context.get(), base.data(), base.size()), "zstd refused the base");
    return Compress(context.get(), bytes);
}

std::string Decode(std::string_view frame, std::string_view base, std::uint64_t size) {
    CheckFrame(frame, base, size);
    // One context per thread: a chain decodes many frames, and one-shot
    // decoding keeps no window, so the context stays small.
    thread_local std::unique_ptr<ZSTD_DCtx, CFreeDCtx> context(ZSTD_createDCtx());
    if (!context) throw CHistoryError("Out of memory for reading a version");
    Check(ZSTD_DCtx_reset(context.get(), ZSTD_reset_session_and_parameters), "zstd refused a reset");
    // The window was checked above; zstd's own default limit would refuse
    // the wide windows of deltas of large pages.
    Check(ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, ZSTD_WINDOWLOG_MAX), "zstd refused a parameter");
    if (!base.empty()) Check(ZSTD_DCtx_refPrefix(context.get(), base.data(), base.size()), "zstd refused the base");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    const std::size_t n = ZSTD_decompressDCtx(context.get(), bytes.data(), bytes.size(), frame.data(), frame.size());
    if (ZSTD_isError(n)) throw CHistoryError(std::string("it does not decompress (") + ZSTD_getErrorName(n) + ")");
    if (n != size) throw CHistoryError("it decompresses to " + std::to_string(n) + " bytes, not the recorded " + std::to_string(size));
    return bytes;
}

namespace {

constexpr std::size_t kMinChangeSlots = 1024;
// Lines that are in both versions cancel out in any slot; only a removed
// and an added line that meet in one slot hide each other, about
// changed^2 / (2 * slots) of them: a 4 MB table that stays in the cache
// keeps that at nothing for any edit short of rewriting the page.
constexpr std::size_t kMaxChangeSlots = std::size_t{1} << 20;

// Calls `visit(hash, length)` for every line of `text`, line end included.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
    const std::hash<std::string_view> hasher;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
        visit(hasher(text.substr(0, end)), end);
        text.remove_prefix(end);
    }
}

}  // namespace

std::uint64_t ChangeSize(std::string_view before, std::string_view after) {
    // Most edits touch a small part: what both share at the start and the
    // end, whole lines of it, is no change and costs no hashing.
    const std::size_t shorter = std::min(before.size(), after.size());
    std::size_t head = std::mismatch(before.begin(), before.begin() + shorter, after.begin()).first - before.begin();
    if (head < shorter || before.size() != after.size()) {
        const std::size_t lineStart = before.substr(0, head).rfind('\n');
        head = lineStart == std::string_view::npos ? 0 : lineStart + 1;
    }
    before.remove_prefix(head);
    after.remove_prefix(head);
    std::size_t tail = 0;
    const std::size_t limit = std::min(before.size(), after.size());
    while (tail < limit && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
    const std::size_t cut = before.substr(before.size() - tail).find('\n');
    tail = cut == std::string_view::npos ? 0 : tail - cut - 1;
    before.remove_suffix(tail);
    after.remove_suffix(tail);

    // Each line counts +1 in its hash's slot for `before`, -1 for `after`;
    // then a line of `before` whose slot is still positive was removed, one
    // of `after` whose slot is still negative was added.
    const std::size_t lines = std::count(before.begin(), before.end(), '\n') +
                              std::count(after.begin(), after.end(), '\n') + 2;
    const std::size_t slots = std::clamp(std::bit_ceil(lines), kMinChangeSlots, kMaxChangeSlots);
    std::vector<std::int32_t> balance(slots);
    ForEachLine(before, [&](std::size_t hash, std::size_t) { ++balance[hash & (slots - 1)]; });
    ForEachLine(after, [&](std::size_t hash, std::size_t) { --balance[hash & (slots - 1)]; });
    std::uint64_t changed = 0;
    ForEachLine(before, [&](std::size_t hash, std::size_t length) {
        if (std::int32_t& slot = balance[hash & (slots - 1)]; slot > 0) --slot, changed += length;
    });
    ForEachLine(after, [&](std::size_t hash, std::size_t length) {
        if (std::int32_t& slot = balance[hash & (slots - 1)]; slot < 0) ++slot, changed += length;
    });
    return changed;
}

}  // namespace tallyhawk
