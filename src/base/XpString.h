// CXpString: a small byte string stored at its exact size on the C library heap.
//
// `text` is null for the empty string; CStr() never returns null. Every
// Assign that changes the length reallocates. A failed allocation raises
// CXpException("A memory allocation has failed.") and leaves the string
// empty. Not thread-safe.
#pragma once

#include <cstdint>

namespace tallyhawk {

class CXpString {
public:
    CXpString() = default;
    CXpString(const char* text) {
        Assign(text, -1);
    }  // NOLINT: implicit like the C string it holds
    CXpString(const CXpString& other) { Assign(other); }
    CXpString& operator=(const CXpString& other) {
        Assign(other);
        return *this;
    }
    CXpString& operator=(const char* other) {
        Assign(other, -1);
        return *this;
    }
    virtual ~CXpString() { Free(); }

    // Copies `length` bytes of `source` (-1: up to its terminator). A null
    // source empties the string; assigning the string's own text does nothing.
    void Assign(const char* source, std::int32_t length);
    void Assign(const CXpString& other);

    const char* CStr() const { return text ? text : ""; }
    std::int32_t Length() const { return length; }
    bool IsEmpty() const { return length == 0; }

    // Cuts the string at `position` (0 <= position <= Length()).
    void Truncate(std::int32_t position);
    // White space is space, tab, newline, vertical tab, form feed, carriage return.
    void TrimRight();
    void TrimLeft();
    void Trim() {
        TrimRight();
        TrimLeft();
    }
    // A-Z to a-z.
    void MakeLower();

    // -1, 0 or 1, comparing unsigned bytes as strcmp does; null text is "".
    int Compare(const CXpString& other) const;
    bool operator==(const CXpString& other) const { return Compare(other) == 0; }
    bool operator<(const CXpString& other) const { return Compare(other) < 0; }
    bool operator<=(const CXpString& other) const { return Compare(other) < 1; }

    void Free();

private:
    void Resize(std::int32_t bytes);

    char* text = nullptr;
    std::int32_t length = 0;
};

}  // namespace tallyhawk
