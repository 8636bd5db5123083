#include "base/StringTable.h"

#include <mutex>
#include <unordered_map>

namespace tallyhawk {

namespace {

struct Table {
    std::mutex lock;
    std::unordered_map<unsigned, std::string> texts;
};

Table& TheTable() {
    static Table table;
    return table;
}

}  // namespace

std::string LoadString(unsigned id) {
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    auto it = table.texts.find(id);
    return it == table.texts.end() ? std::string() : it->second;
}

void RegisterStrings(std::initializer_list<std::pair<unsigned, const char*>> strings) {
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    for (const auto& [id, text] : strings) table.texts[id] = text;
}

}  // namespace tallyhawk
