// A Netscape bookmark file of any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "import/BookmarkParsers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tallyhawk::CBookmarkList list;
    tallyhawk::ParseBookmarkFile(std::string_view(reinterpret_cast<const char*>(data), size), list);
    for (const tallyhawk::CBookmarkItem& item : list.Items()) {
        if (item.name.size() > tallyhawk::kMaxBookmarkNameLength) __builtin_trap();
    }
    return 0;
}
