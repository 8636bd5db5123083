#include "engine/PageName.h"

#include <cctype>

namespace tallyhawk {

std::string PageNameFromUrl(const std::string& url) {
    std::string lower = url;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t start;
    const std::size_t www = lower.find("www.");
    if (www != std::string::npos) {
        start = www + 4;
    } else {
        const std::size_t scheme = lower.find("://");
        if (scheme == std::string::npos) return {};
        start = scheme + 3;
    }
    const std::size_t dot = url.find('.', start);
    if (dot == std::string::npos || dot <= start) return {};
    std::string name = url.substr(start, dot - start);
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return name;
}

}  // namespace tallyhawk
