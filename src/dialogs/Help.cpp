#include "dialogs/Help.h"

#include <wx/stdpaths.h>

#include <filesystem>
#include <system_error>

#include "base/Exception.h"
#include "base/StringTable.h"
#include "dialogs/Prompter.h"
#include "engine/BrowserLauncher.h"

namespace tallyhawk {

namespace {

namespace fs = std::filesystem;

bool IsPlainRelative(const fs::path& page) {
    if (page.empty() || page.is_absolute() || page.has_root_name()) return false;
    for (const fs::path& part : page) {
        if (part == "..") return false;
    }
    return true;
}

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

}  // namespace

std::string FindManualPage(const std::string& page, const std::string& executable,
                           const std::string& sourceManual) {
    const fs::path name(page);
    if (!IsPlainRelative(name)) return {};
    if (!executable.empty()) {
        const fs::path installed =
            (fs::path(executable).parent_path() / kInstalledManual / name).lexically_normal();
        if (IsFile(installed)) return installed.string();
    }
    if (!sourceManual.empty()) {
        const fs::path source = (fs::path(sourceManual) / name).lexically_normal();
        if (IsFile(source)) return source.string();
    }
    return {};
}

std::string FindManualPage(const std::string& page) {
    return FindManualPage(page, wxStandardPaths::Get().GetExecutablePath().utf8_string(),
                          TALLYHAWK_SOURCE_MANUAL);
}

void ShowHelp(wxWindow* parent, const std::string& page) {
    const std::string path = FindManualPage(page);
    if (path.empty()) {
        GetPrompter().Tell(parent, FormatString(IDS_MANUAL_NOT_FOUND, {page}), true);
        return;
    }
    OpenInBrowser(parent, path);
}

void OpenInBrowser(wxWindow* parent, const std::string& target) {
    try {
        CBrowserLauncher().OpenUrl(target);
    } catch (const CException& exception) {
        GetPrompter().Tell(parent, exception.Message(), true);
    }
}

}  // namespace tallyhawk
