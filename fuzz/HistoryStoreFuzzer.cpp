// The history store's readers against damaged files and records. The first
// byte chooses, by its remainder of 3: 0, the rest is the whole database
// file; 1, a small valid store is written and the rest edits its version
// records through SQL (a frame's bytes, the size, base, kind and hash),
// each edit being [version index, column, length, bytes...]; then the
// store is opened, every version listed and read, one appended and the
// store pruned. 2: the rest is [size: 4 bytes, base length: 1 byte, base,
// frame] decoded directly, which reaches zstd's frame reading thousands of
// times faster.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "history/HistoryStore.h"
#include "history/VersionCodec.h"

namespace {

namespace fs = std::filesystem;

// The folder each input's store is written to, emptied after each input.
struct CScratch {
    const fs::path folder = fs::temp_directory_path() / ("tallyhawk-fuzz-history-" + std::to_string(::getpid()));
    const std::string path = (folder / "pages.wat.history").string();
    std::string valid;  // the bytes of a small valid store

    CScratch() {
        fs::create_directories(folder);
        {
            auto store = tallyhawk::CHistoryStore::Open(path);
            std::string page = "<html>\n";
            for (int i = 0; i < 40; ++i) page += "<p>line " + std::to_string(i) + "</p>\n";
            for (int i = 0; i < 6; ++i) {
                page.replace(10 + i * 3, 1, "x");
                store->Append(i % 2 ? "a" : "b", i, 0, page);
            }
        }  // closing checkpoints the log into the file
        std::ifstream in(path, std::ios::binary);
        valid.assign(std::istreambuf_iterator<char>(in), {});
        if (valid.empty()) std::abort();
        Clear();
    }
    ~CScratch() { fs::remove_all(folder); }
    void Clear() const {
        for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
    }
};

void Write(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void Edit(const std::string& path, const std::uint8_t* data, std::size_t size) {
    static const char* const kColumns[] = {"data", "size", "base", "kind", "hash"};
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::abort();
    sqlite3_exec(db, "PRAGMA foreign_keys = OFF", nullptr, nullptr, nullptr);
    while (size >= 3) {
        const int version = 1 + data[0] % 8;
        const char* column = kColumns[data[1] % 5];
        const std::size_t length = std::min<std::size_t>(data[2], size - 3);
        const std::string sql = std::string("UPDATE versions SET ") + column + " = ?1 WHERE id = " +
                                std::to_string(version);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) std::abort();
        if (data[1] % 5 == 0 || data[1] % 5 == 4 || length > 8) {
            sqlite3_bind_blob(statement, 1, data + 3, static_cast<int>(length), SQLITE_TRANSIENT);
        } else {
            std::int64_t value = 0;
            for (std::size_t i = 0; i < length; ++i) value = value << 8 | data[3 + i];
            sqlite3_bind_int64(statement, 1, length == 1 ? static_cast<std::int8_t>(data[3]) : value);
        }
        sqlite3_step(statement);
        sqlite3_finalize(statement);
        data += 3 + length;
        size -= 3 + length;
    }
    sqlite3_close(db);
}

void DecodeFrame(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return;
    const std::uint64_t declared = std::uint64_t{data[0]} << 24 | data[1] << 16 | data[2] << 8 | data[3];
    const std::size_t baseLength = std::min<std::size_t>(data[4], size - 5);
    const std::string_view base(reinterpret_cast<const char*>(data + 5), baseLength);
    const std::string_view frame(reinterpret_cast<const char*>(data + 5 + baseLength), size - 5 - baseLength);
    try {
        if (tallyhawk::Decode(frame, base, declared).size() != declared) std::abort();
    } catch (const tallyhawk::CHistoryError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const CScratch scratch;
    if (size == 0) return 0;
    if (data[0] % 3 == 2) {
        DecodeFrame(data + 1, size - 1);
        return 0;
    }
    if (data[0] % 3 == 0) {
        Write(scratch.path, data + 1, size - 1);
    } else {
        Write(scratch.path, reinterpret_cast<const std::uint8_t*>(scratch.valid.data()), scratch.valid.size());
        Edit(scratch.path, data + 1, size - 1);
    }
    try {
        auto store = tallyhawk::CHistoryStore::Open(scratch.path);
        for (const std::string& page : store->Pages()) {
            for (const auto& version : store->List(page)) {
                try {
                    if (store->Read(version.id).size() != version.size) std::abort();
                } catch (const tallyhawk::CHistoryError&) {
                }
            }
        }
        store->Append("a", 100, 0, "<html>\n<p>new</p>\n");
        store->Prune({2, 0}, 100);
        for (const std::string& page : store->Pages())
            for (const auto& version : store->List(page)) {
                try {
                    store->Read(version.id);
                } catch (const tallyhawk::CHistoryError&) {
                }
            }
    } catch (const tallyhawk::CHistoryError&) {
    }
    scratch.Clear();
    return 0;
}
