// CPageSink: where a check's download goes: the body in memory, refused
// once it grows past the page's maximum size. Used on the checking thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Exception.h"
#include "base/EventSource.h"
#include "base/StringTable.h"
#include "net/Downloader.h"

namespace tallyhawk {

class CPageSink : public CDownloadSink {
public:
    // The most memory taken on the word of the server's Content-Length
    // before the bytes arrive: a lying server must not make every check
    // allocate the whole page limit. Larger pages grow as they arrive.
    static constexpr std::size_t kReserveLimit = std::size_t{4} << 20;

    explicit CPageSink(std::size_t limit) : limit(limit) {}

    // Room for an announced body of `bytes` before the first write, up to
    // kReserveLimit (and the limit), so that a page of known length up to
    // that size arrives in one allocation, without copies.
    void Reserve(std::uint64_t bytes) {
        const std::size_t bound = std::min(limit, kReserveLimit);
        if (data.empty()) data.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(bytes, bound)));
    }
    void Truncate() override {
        data.clear();
        overLimit = false;
    }
    // Throws CGenericException(IDS_PAGE_TOO_LARGE) for a byte past the limit;
    // the body grows geometrically (std::string doubles its capacity).
    void Write(const char* bytes, std::size_t length) override {
        if (length > limit - data.size()) {
            overLimit = true;
            throw CGenericException::FromResource(IDS_PAGE_TOO_LARGE);
        }
        data.append(bytes, length);
    }
    bool OverLimit() const { return overLimit; }
    // The memory taken for the body so far, in bytes.
    std::size_t Reserved() const { return data.capacity(); }
    std::string Take() { return std::move(data); }

private:
    const std::size_t limit;
    std::string data;
    bool overLimit = false;
};

// Sizes the sink from the response's Content-Length, announced with the
// first chunk and before it is written. A compressed body announces none:
// its length is not the page's.
class CSizeHint : public CEventSink {
public:
    CSizeHint(CDownloader& downloader, CPageSink& sink) : sink(sink) {
        downloader.Subscribe(this, &CSizeHint::OnProgress);
    }
    ~CSizeHint() override { UnsubscribeAll(); }
    bool OnProgress(const CDownloadProgress* progress) {
        if (!sized && progress->state == Receiving) {
            sized = true;
            if (progress->contentLength > 0) sink.Reserve(progress->contentLength);
        }
        return true;
    }

private:
    CPageSink& sink;
    bool sized = false;
};

// One page's download under way: where it goes and what it is.
struct CCheckTransfer {
    CCheckTransfer(CDownloader& downloader, std::size_t limit)
        : sink(limit), hint(downloader, sink) {}
    std::string target;  // the address downloaded
    CPageSink sink;
    CSizeHint hint;
    // The version the validators sent vouch for, which a "not modified"
    // answer keeps; null when none were sent. And the validators sent.
    std::shared_ptr<const std::string> validated;
    std::string sentETag, sentLastModified;
    // Set by the page when it wants a second download to confirm a change
    // (see CWatchSite::BeginCheck); `confirming` while that one runs.
    bool confirm = false;
    bool confirming = false;
};

}  // namespace tallyhawk
