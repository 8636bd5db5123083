#include "app/ServerInventory.h"

#include "base/Archive.h"
#include "base/Exception.h"
#include "base/StringTable.h"

namespace tallyhawk {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

void CInventoryItem::Store(CArchive& archive) const {
    archive.WriteWord(kSchema);
    archive.WriteString(name);
    archive.WriteString(setupUrl);
    archive.WriteString(description);
    archive.WriteDouble(latestVersion);
    archive.WriteDouble(freeUpgradeVersion);
}

void CInventoryItem::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        Store(archive);
        return;
    }
    archive.ReadWord();  // the schema; every version so far has these fields
    name = archive.ReadString();
    setupUrl = archive.ReadString();
    description = archive.ReadString();
    latestVersion = archive.ReadDouble();
    freeUpgradeVersion = archive.ReadDouble();
}

std::string CServerInventory::Key(std::string_view name) {
    std::size_t first = 0, last = name.size();
    while (first < last && IsBlank(name[first])) ++first;
    while (last > first && IsBlank(name[last - 1])) --last;
    std::string key(name.substr(first, last - first));
    // ASCII only, whatever the locale: a key must not change with the
    // user's language settings.
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

void CServerInventory::Store(CArchive& archive) const {
    archive.WriteWord(kSchema);
    archive.WriteDword(static_cast<std::uint32_t>(items.size()));
    for (const CInventoryItem& item : items) item.Store(archive);
}

void CServerInventory::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        Store(archive);
        return;
    }
    Clear();
    archive.ReadWord();
    const std::uint32_t count = archive.ReadDword();
    const std::uint64_t remaining = archive.Remaining();
    if (remaining != CArchiveStream::kUnknownSize &&
        count > remaining / CInventoryItem::kSmallestSize) {
        throw CGenericException(FormatString(IDS_PRODUCT_LIST_COUNT, {count, remaining}));
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        CInventoryItem item;
        item.Serialize(archive);
        Add(item);
    }
}

CServerInventory CServerInventory::FromBytes(std::string_view bytes) {
    CServerInventory inventory;
    try {
        CArchive archive(bytes);
        inventory.Serialize(archive);
    } catch (const CException& error) {
        throw CGenericException(FormatString(IDS_PRODUCT_LIST_DAMAGED, {error.Message()}));
    }
    return inventory;
}

std::string CServerInventory::ToBytes() const {
    std::string bytes;
    CArchive archive(bytes);
    Store(archive);
    return bytes;
}

void CServerInventory::Add(const CInventoryItem& item) {
    auto [position, added] = index.try_emplace(Key(item.name), items.size());
    if (added) {
        items.push_back(item);
    } else {
        items[position->second] = item;
    }
}

void CServerInventory::Clear() {
    items.clear();
    index.clear();
}

bool CServerInventory::Find(std::string_view name, CInventoryItem& item) const {
    auto found = index.find(Key(name));
    if (found == index.end()) return false;
    item = items[found->second];
    return true;
}

bool CServerInventory::IsNewer(std::string_view name, double currentVersion, bool& isFree) const {
    isFree = false;
    CInventoryItem item;
    if (!Find(name, item) || !(item.latestVersion > currentVersion)) return false;
    isFree = item.freeUpgradeVersion <= currentVersion;
    return true;
}

}  // namespace tallyhawk
