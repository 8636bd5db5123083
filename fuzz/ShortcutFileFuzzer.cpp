// An internet shortcut file of any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "import/BookmarkParsers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string url = tallyhawk::ReadProfileString(text, "InternetShortcut", "URL");
    if (url.size() > size || url.find('\0') != std::string::npos) __builtin_trap();
    return 0;
}
