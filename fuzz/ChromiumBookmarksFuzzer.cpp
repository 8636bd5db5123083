// A Chromium "Bookmarks" file of any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "import/BookmarkParsers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tallyhawk::CBookmarkList list;
    tallyhawk::ParseChromiumBookmarks(std::string_view(reinterpret_cast<const char*>(data), size), list);
    return 0;
}
