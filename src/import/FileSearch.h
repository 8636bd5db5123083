// Finding and reading the browsers' files, safely against whatever the
// user's folders hold: loops of symbolic links, deep or huge trees, pipes
// and devices that carry a bookmark file's name.
//
// Any thread; nothing is shared.
#pragma once

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tallyhawk {

class CCollectProgress;

// How far one search may go: folders below the first, entries looked at,
// files found.
struct CSearchLimits {
    int depth = 32;
    std::size_t entries = 200000;
    std::size_t files = 50000;
};

// Appends to `files` the full path of every regular file under `folder`
// whose name `matches` accepts: first, depth-first, those in its subfolders
// in the order the file system lists them, then the folder's own files, so
// files in subfolders come before the folder's own. Symbolic links are
// followed, but no folder is entered twice in one search (which also ends
// loops). A folder that cannot be read contributes nothing. With a
// `progress`, each entry looked at is counted there, and a cancel ends the
// search before the next entry.
void FindFiles(const std::string& folder, const std::function<bool(std::string_view)>& matches,
               std::vector<std::string>& files, const CSearchLimits& limits = {},
               CCollectProgress* progress = nullptr);

// The names of the folders directly in `folder` (symbolic links followed),
// sorted, at most `limit`; entries counted in `progress` as above, and none
// after a cancel.
inline constexpr std::size_t kMaxListedFolders = 1000;
std::vector<std::string> ListFolders(const std::string& folder, std::size_t limit = kMaxListedFolders,
                                     CCollectProgress* progress = nullptr);

// True when `path` names a regular file (symbolic links followed).
bool IsRegularFile(const std::string& path);
// True when `path` names a folder (symbolic links followed).
bool IsFolder(const std::string& path);

// Reads at most `limit` bytes from the start of the regular file at `path`
// into `bytes`. False, with `bytes` empty, when it is no regular file or
// cannot be read; a pipe or device is never waited on.
bool ReadFileStart(const std::string& path, std::size_t limit, std::string& bytes);

}  // namespace tallyhawk
