// CXpArray: the program's growable array, on the C library heap.
//
// Storage grows with realloc in fixed steps (`growBy` slots beyond what is
// needed), not by doubling; callers that know the final size Reserve it up
// front. Elements are moved as plain bytes, so T must be trivially
// relocatable (numbers, pointers, plain records). Every allocated slot, used
// or not, is kept in the constructed state: new slots are constructed when
// the array grows and all slots are destroyed when it is freed.
//
// A failed allocation raises CXpException("A memory allocation has failed.")
// and leaves the array as it was. Not thread-safe: the owner locks around it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "base/Exception.h"

namespace tallyhawk {

template <typename T>
class CXpArray {
    static_assert(std::is_trivially_copyable_v<T> || std::is_nothrow_move_constructible_v<T>,
                  "CXpArray moves its elements as bytes");

public:
    explicit CXpArray(std::int32_t growBy = 10) : growBy(growBy) {}
    CXpArray(const CXpArray& other) : growBy(other.growBy) { CopyFrom(other); }
    CXpArray& operator=(const CXpArray& other) {
        if (this != &other) {
            growBy = other.growBy;
            CopyFrom(other);
        }
        return *this;
    }
    virtual ~CXpArray() { Free(); }

    // Makes room for at least n elements. n equal to the capacity still grows:
    // the new capacity is n + growBy.
    void Reserve(std::int32_t n) {
        if (n < capacity) return;
        std::int64_t newCapacity = std::int64_t(n) + growBy;
        if (newCapacity > INT32_MAX || std::uint64_t(newCapacity) > SIZE_MAX / sizeof(T))
            throw CXpException(kAllocationFailed);
        void* grown = std::realloc(static_cast<void*>(items), std::size_t(newCapacity) * sizeof(T));
        if (grown == nullptr) throw CXpException(kAllocationFailed);
        items = static_cast<T*>(grown);
        std::int32_t oldCapacity = capacity;
        capacity = std::int32_t(newCapacity);
        ConstructElements(oldCapacity, capacity - oldCapacity);
    }

    // Inserts a copy of `element` at `index` (0 <= index <= Count()); the
    // elements from there on move up by one. index == Count() appends.
    void InsertAt(std::int32_t index, const T& element) {
        std::int32_t needed = count > index + 1 ? count : index + 1;
        Reserve(needed);
        if (count != 0 && index != count) {
            DestroyElements(needed, 1);
            std::memmove(static_cast<void*>(items + index + 1),
                         static_cast<const void*>(items + index),
                         std::size_t(needed - index) * sizeof(T));
            ConstructElements(index, 1);
        }
        ++count;
        items[index] = element;
    }

    void Add(const T& element) { InsertAt(count, element); }

    T& operator[](std::int32_t index) { return items[index]; }
    const T& operator[](std::int32_t index) const { return items[index]; }
    std::int32_t Count() const { return count; }
    std::int32_t Capacity() const { return capacity; }
    std::int32_t GrowBy() const { return growBy; }
    T* begin() { return items; }
    T* end() { return items + count; }
    const T* begin() const { return items; }
    const T* end() const { return items + count; }

    void Free() {
        if (items == nullptr) return;
        DestroyElements(0, capacity);
        std::free(static_cast<void*>(items));
        items = nullptr;
        capacity = 0;
        count = 0;
    }

protected:
    // Numbers, pointers and plain records start zeroed; records with their own
    // construction are built in place.
    virtual void ConstructElements(std::int32_t first, std::int32_t n) {
        if constexpr (std::is_trivially_default_constructible_v<T>) {
            std::memset(static_cast<void*>(items + first), 0, std::size_t(n) * sizeof(T));
        } else {
            for (std::int32_t i = 0; i < n; ++i) new (items + first + i) T();
        }
    }
    virtual void DestroyElements(std::int32_t first, std::int32_t n) {
        if constexpr (!std::is_trivially_destructible_v<T>) {
            for (std::int32_t i = 0; i < n; ++i) items[first + i].~T();
        } else {
            (void)first;
            (void)n;
        }
    }

private:
    void CopyFrom(const CXpArray& other) {
        Reserve(other.count);
        for (std::int32_t i = 0; i < other.count; ++i) items[i] = other.items[i];
        for (std::int32_t i = other.count; i < count; ++i) items[i] = T();
        count = other.count;
    }

    T* items = nullptr;
    std::int32_t count = 0;
    std::int32_t capacity = 0;
    std::int32_t growBy;
};

}  // namespace tallyhawk
