// The program's string table: user-visible texts by resource id.
//
// Texts are registered once at start-up by the parts that own them
// (RegisterStrings) and looked up by id. Thread-safe.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

namespace tallyhawk {

// The text of `id`, or an empty string when there is none.
std::string LoadString(unsigned id);

// Adds or replaces texts.
void RegisterStrings(std::initializer_list<std::pair<unsigned, const char*>> strings);

}  // namespace tallyhawk
