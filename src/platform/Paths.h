// Where the program keeps its per-user files.
#pragma once

#include <string>

namespace tallyhawk {

// $HOME, or the password database's home directory when $HOME is unset.
std::string HomeDirectory();

// The settings store: $XDG_CONFIG_HOME/Brindlecote/Tallyhawk/ (default
// ~/.config/Brindlecote/Tallyhawk/). Ends with '/'. Not created here.
std::string ConfigDirectory();

// $XDG_STATE_HOME/tallyhawk/ (default ~/.local/state/tallyhawk/). Ends with '/'.
std::string StateDirectory();

// StateDirectory() + "log.txt". Creates the folder (mode 0700) when it is
// missing; a failure there is left for the first write to the log to meet.
std::string DefaultLogFile();

// Creates `path` and its missing parents with `mode`. True when the folder
// exists afterwards.
bool MakeDirectories(const std::string& path, unsigned mode);

}  // namespace tallyhawk
