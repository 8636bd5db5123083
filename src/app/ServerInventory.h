// The maker's product list: which products exist, their newest versions and
// where their setup programs are. The upgrade wizard downloads it and looks
// this program up in it; tallyhawk-cli writes and reads it for distributors.
//
// The list is one archive stream (see base/Archive.h for the field kinds),
// no object tags, little-endian:
//
//   WORD    schema, 1 (not checked when reading)
//   DWORD   count of products
//   count times one product:
//     WORD    schema, 1 (not checked when reading)
//     STRING  name
//     STRING  setup URL
//     STRING  description
//     DOUBLE  latest version (1.1 for "1.1")
//     DOUBLE  free-upgrade version: the upgrade costs nothing for users whose
//             version is at least this
//
// Plain values; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tallyhawk {

class CArchive;

struct CInventoryItem {
    static constexpr std::uint16_t kSchema = 1;
    // The fewest bytes one product takes in the stream: the schema, three
    // empty strings and the two versions.
    static constexpr std::size_t kSmallestSize = 2 + 3 * 1 + 2 * 8;

    std::string name;
    std::string setupUrl;
    std::string description;
    double latestVersion = 0.0;
    double freeUpgradeVersion = 0.0;

    // Throws CArchiveException when the stream ends inside the product.
    void Serialize(CArchive& archive);
    void Store(CArchive& archive) const;
};

class CServerInventory {
public:
    static constexpr std::uint16_t kSchema = 1;
    // A product list is a few hundred bytes a product; anything beyond this
    // is not one, and is not held in memory.
    static constexpr std::size_t kLargestList = 16 * 1024 * 1024;

    // The lookup key of a product name: white space trimmed at both ends,
    // ASCII letters in lower case.
    static std::string Key(std::string_view name);

    // Storing writes the products in the order they were added. Loading
    // empties the list first, then files every product under its key, a
    // later one replacing an earlier one of the same key. Throws
    // CArchiveException when the stream ends inside a product, and
    // CGenericException when the count names more products than the bytes
    // that remain can hold (nothing is allocated for them).
    void Serialize(CArchive& archive);
    void Store(CArchive& archive) const;

    // Reads a whole list from `bytes`. Throws CGenericException with a
    // message that says the list is damaged and why.
    static CServerInventory FromBytes(std::string_view bytes);
    std::string ToBytes() const;

    // Files `item` under its name's key; an item of the same key is replaced
    // in its place.
    void Add(const CInventoryItem& item);
    void Clear();
    const std::vector<CInventoryItem>& Items() const { return items; }

    // Copies the product filed under the key of `name` into `item`.
    bool Find(std::string_view name, CInventoryItem& item) const;
    // True when the product filed under the key of `name` has a latest
    // version above `currentVersion`; `isFree` is then set when its
    // free-upgrade version is at most `currentVersion`. Otherwise false, and
    // `isFree` is false.
    bool IsNewer(std::string_view name, double currentVersion, bool& isFree) const;

private:
    std::vector<CInventoryItem> items;
    std::unordered_map<std::string, std::size_t> index;  // key -> position in items
};

}  // namespace tallyhawk
