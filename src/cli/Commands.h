// The commands of tallyhawk-cli. Each takes the arguments after its own name
// (args[0] is the first argument, not the command) and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace tallyhawk::cli {

using Args = std::vector<std::string>;

int RunDiff(const Args& args);
extern const char* const kDiffHelp;

int RunFetch(const Args& args);
extern const char* const kFetchHelp;

int RunProductList(const Args& args);
extern const char* const kProductListHelp;

// Document commands (DocumentCommands.cpp, CheckCommand.cpp, ImportCommand.cpp).
int RunNew(const Args& args);
int RunAdd(const Args& args);
int RunList(const Args& args);
int RunShow(const Args& args);
int RunSet(const Args& args);
int RunRemove(const Args& args);
int RunDefaults(const Args& args);
int RunUpdate(const Args& args);
int RunView(const Args& args);
int RunWatch(const Args& args);
int RunCheck(const Args& args);
int RunImport(const Args& args);
int RunPreview(const Args& args);
int RunHistory(const Args& args);
extern const char* const kNewHelp;
extern const char* const kAddHelp;
extern const char* const kListHelp;
extern const char* const kShowHelp;
extern const char* const kSetHelp;
extern const char* const kRemoveHelp;
extern const char* const kDefaultsHelp;
extern const char* const kUpdateHelp;
extern const char* const kViewHelp;
extern const char* const kWatchHelp;
extern const char* const kCheckHelp;
extern const char* const kImportHelp;
extern const char* const kPreviewHelp;
extern const char* const kHistoryHelp;

}  // namespace tallyhawk::cli
