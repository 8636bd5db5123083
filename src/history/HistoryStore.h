// The history of a document's pages: every version each page had, kept
// compactly in a store beside the document ("pages.wat.history", an SQLite
// database), each version compressed against the one before it.
//
// The document stays as it is: a document moved without its history loses
// only the history. Pages are known in the store by their address.
//
// Thread-safe: the watch thread appends while the window lists and reads
// and pruning runs in the background; each operation is short (pruning
// works in small steps) so that none waits long for another.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exception.h"

namespace tallyhawk {

// A store that cannot be opened or written (locked by another program for
// longer than a few seconds, no permission, a full disk), or a version that
// cannot be read back, with a message for the message log.
class CHistoryError : public CGenericException {
public:
    using CGenericException::CGenericException;
};

// One kept version, without its bytes.
struct CHistoryVersion {
    std::int64_t id = 0;            // the store's own number, never reused
    std::int64_t time = 0;          // when it was downloaded, seconds since 1970
    std::int32_t status = 0;        // the page's status after that check (a SiteStatus)
    std::int64_t acceptedTime = 0;  // when the user accepted it last; 0: never
    std::uint64_t size = 0;         // its bytes
    // Bytes that differ from the version before it (0 for the first): the
    // lengths of the lines added and removed, lines matched regardless of
    // their order; approximate on huge changes (see VersionCodec.h).
    std::uint64_t changeSize = 0;
};

// How much history each page keeps.
struct CHistoryRetention {
    std::int32_t maxVersions = 500;             // the newest this many; 0: no bound
    std::int64_t maxAgeSeconds = 2 * 365 * 86400;  // none older; 0: no bound
};

class CHistoryStore {
public:
    // Opens the store at `path`, creating it when it does not exist. A file
    // that is not a store of ours or is damaged is renamed aside, to
    // "PATH.damaged-YYYYMMDD-HHMMSS" (never overwritten), and a new store
    // begun; `notice` then holds a sentence saying so for the message log.
    // Throws CHistoryError when no store can be opened there.
    static std::unique_ptr<CHistoryStore> Open(const std::string& path, std::string* notice = nullptr);
    virtual ~CHistoryStore() = default;

    // Appends `bytes` as the newest version of the page at `pageKey`, unless
    // they equal its newest kept version (same SHA-256 and size). Returns
    // whether it appended. Compresses without holding the store, so a large
    // page does not make others wait. Throws CHistoryError; the store is
    // then as before.
    virtual bool Append(const std::string& pageKey, std::int64_t time, std::int32_t status,
                        std::string_view bytes) = 0;
    // Notes that the kept version with these bytes (the newest such) was
    // accepted at `time`; nothing when no kept version has them.
    virtual void MarkAccepted(const std::string& pageKey, std::string_view bytes, std::int64_t time) = 0;
    // The page's kept versions, oldest first; reads no version's bytes.
    virtual std::vector<CHistoryVersion> List(const std::string& pageKey) const = 0;
    // The bytes of a kept version, checked against its SHA-256; decodes at
    // most 32 stored frames. Throws CHistoryError when it is gone or cannot
    // be read back (damaged); other versions may still read.
    virtual std::string Read(std::int64_t id) const = 0;
    // Every page address with kept versions.
    virtual std::vector<std::string> Pages() const = 0;
    // Applies the retention to every page, as of `now` (seconds since
    // 1970), in steps of at most 200 versions, each its own transaction; a
    // kept version based on a removed one is stored whole first. Pages left
    // without versions are removed. Returns the number of versions removed.
    // Throws CHistoryError; the steps done stay done.
    virtual std::int64_t Prune(const CHistoryRetention& retention, std::int64_t now) = 0;
};

// The history's path for a document's path.
inline std::string HistoryPathFor(const std::string& documentPath) {
    return documentPath + ".history";
}

}  // namespace tallyhawk
