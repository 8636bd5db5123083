#include "base/XpString.h"

#include <cstdlib>
#include <cstring>

#include "base/Exception.h"

namespace tallyhawk {

namespace {

bool IsWhite(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

void CXpString::Resize(std::int32_t bytes) {
    void* grown = std::realloc(text, std::size_t(bytes));
    if (grown == nullptr) {
        Free();
        throw CXpException(kAllocationFailed);
    }
    text = static_cast<char*>(grown);
}

void CXpString::Assign(const char* source, std::int32_t sourceLength) {
    if (source == nullptr) {
        Free();
        return;
    }
    if (source == text) return;
    if (sourceLength < 0) sourceLength = std::int32_t(std::strlen(source));
    // The source may lie inside our own storage; copy before resizing.
    if (text && source > text && source < text + length + 1) {
        CXpString copy;
        copy.Assign(source, sourceLength);
        Assign(copy);
        return;
    }
    Resize(sourceLength + 1);
    std::memcpy(text, source, std::size_t(sourceLength));
    text[sourceLength] = '\0';
    length = sourceLength;
}

void CXpString::Assign(const CXpString& other) {
    if (&other == this) return;
    if (other.text == nullptr) {
        Free();
        return;
    }
    if (other.length != length || text == nullptr) Resize(other.length + 1);
    std::memcpy(text, other.text, std::size_t(other.length) + 1);
    length = other.length;
}

void CXpString::Truncate(std::int32_t position) {
    if (text == nullptr) return;
    if (position <= 0) {
        Free();
        return;
    }
    if (position > length) position = length;
    text[position] = '\0';
    Resize(position + 1);
    length = position;
}

void CXpString::TrimRight() {
    while (length > 0 && IsWhite(static_cast<unsigned char>(text[length - 1]))) {
        text[--length] = '\0';
    }
}

void CXpString::TrimLeft() {
    std::int32_t n = 0;
    while (n < length && IsWhite(static_cast<unsigned char>(text[n]))) ++n;
    if (n == 0) return;
    std::memmove(text, text + n, std::size_t(length - n));
    length -= n;
    text[length] = '\0';
}

void CXpString::MakeLower() {
    if (text == nullptr) return;
    for (std::int32_t i = 0; i < length; ++i) {
        if (text[i] >= 'A' && text[i] <= 'Z') text[i] = char(text[i] - 'A' + 'a');
    }
}

int CXpString::Compare(const CXpString& other) const {
    int result = std::strcmp(CStr(), other.CStr());
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

void CXpString::Free() {
    std::free(text);
    text = nullptr;
    length = 0;
}

}  // namespace tallyhawk
