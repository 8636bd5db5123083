// The front end's names of the five change outputs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "diff/ChangeDetector.h"

namespace tallyhawk::cli {

// "added-text", "added-html", "deleted-text", "deleted-html", "highlighted".
std::optional<OutputMode> OutputModeFromName(const std::string& name);
// The name of output mode `mode` (0-4), or "unknown".
const char* OutputModeName(std::int32_t mode);
// The names as a user reads them in a message.
inline constexpr const char* kOutputModeChoices =
    "added-text, deleted-text, added-html, deleted-html or highlighted";

}  // namespace tallyhawk::cli
