#include "platform/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace tallyhawk {

namespace {

// An XDG base directory variable; relative values are invalid and ignored.
std::string XdgDirectory(const char* variable, const char* fallbackBelowHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    return HomeDirectory() + "/" + fallbackBelowHome;
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') path.push_back('/');
    return path;
}

}  // namespace

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result) {
        return result->pw_dir;
    }
    return "/";
}

std::string ConfigDirectory() {
    return WithSlash(XdgDirectory("XDG_CONFIG_HOME", ".config")) + "Brindlecote/Tallyhawk/";
}

std::string StateDirectory() {
    return WithSlash(XdgDirectory("XDG_STATE_HOME", ".local/state")) + "tallyhawk/";
}

std::string DefaultLogFile() {
    std::string folder = StateDirectory();
    MakeDirectories(folder, 0700);
    return folder + "log.txt";
}

bool MakeDirectories(const std::string& path, unsigned mode) {
    struct stat st {};
    if (path.empty()) return false;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::string::size_type slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
    if (slash != std::string::npos && slash > 0) MakeDirectories(path.substr(0, slash), mode);
    if (mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0 || errno == EEXIST) {
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

}  // namespace tallyhawk
