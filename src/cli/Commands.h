// The commands of tallyhawk-cli. Each takes the arguments after its own name
// (args[0] is the first argument, not the command) and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace tallyhawk::cli {

using Args = std::vector<std::string>;

int RunDiff(const Args& args);
extern const char* const kDiffHelp;

}  // namespace tallyhawk::cli
