#include "import/BookmarkList.h"

#include <algorithm>

namespace tallyhawk {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

int CompareNoCase(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(Lower(a[i]));
        const auto y = static_cast<unsigned char>(Lower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string_view CutText(std::string_view text, std::size_t limit) {
    text = text.substr(0, text.find('\0'));
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    // Back over continuation bytes (10xxxxxx) to the start of the character
    // that does not fit; at most three, so a text that is no UTF-8 is still
    // cut near the limit.
    for (int i = 0; i < 3 && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80; ++i)
        --end;
    return text.substr(0, end);
}

bool CBookmarkList::IsFull() const {
    return items.size() >= kMaxBookmarks || bytes >= kMaxBookmarkBytes;
}

void CBookmarkList::ReportTo(CCollectProgress* to) {
    progress = to;
    if (progress) progress->SetLinks(items.size());
}

bool CBookmarkList::Add(std::string_view name, std::string_view url, int kind) {
    if (IsFull()) return false;
    url = url.substr(0, url.find('\0'));
    if (url.size() > kMaxBookmarkUrlLength) return true;
    name = CutText(name, kMaxBookmarkNameLength);
    if (bytes + name.size() + url.size() > kMaxBookmarkBytes) {
        bytes = kMaxBookmarkBytes;
        return false;
    }
    items.emplace_back(std::string(name), std::string(url), kind);
    bytes += name.size() + url.size();
    if (progress) progress->SetLinks(items.size());
    return !IsFull();
}

}  // namespace tallyhawk
