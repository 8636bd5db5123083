#include "cli/OutputModes.h"

namespace tallyhawk::cli {

namespace {

// Indexed by output mode.
constexpr const char* kNames[] = {"added-text", "added-html", "deleted-text", "deleted-html",
                                  "highlighted"};

}  // namespace

std::optional<OutputMode> OutputModeFromName(const std::string& name) {
    for (std::int32_t mode = 0; mode < 5; ++mode)
        if (name == kNames[mode]) return static_cast<OutputMode>(mode);
    return std::nullopt;
}

const char* OutputModeName(std::int32_t mode) {
    return mode >= 0 && mode < 5 ? kNames[mode] : "unknown";
}

}  // namespace tallyhawk::cli
