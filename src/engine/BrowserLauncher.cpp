#include "engine/BrowserLauncher.h"

#include <cctype>

#include "base/Exception.h"
#include "base/StringTable.h"
#include "engine/SiteServices.h"
#include "platform/Browser.h"
#include "platform/ProcessLauncher.h"

namespace tallyhawk {

namespace {

// The stored default viewer; it names the desktop's text viewer here.
constexpr const char* kNotepad = "notepad.exe";

std::string Trimmed(const std::string& text) {
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && space(text[begin])) ++begin;
    while (end > begin && space(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

}  // namespace

static void LaunchNamingTheProgram(CSiteServices& services, const std::vector<std::string>& arguments) {
    try {
        services.Launcher().Launch(arguments);
    } catch (const COsException& error) {
        // "No such file or directory" alone does not say which program is
        // missing: the viewer the user chose, or the desktop's opener.
        throw COsException(error.Code(), FormatString(IDS_PROGRAM_NOT_STARTED,
                                                      {arguments[0], error.Message()}));
    }
}

void RunProgramWith(CSiteServices& services, const std::string& program,
                    const std::string& argument) {
    std::string command = Trimmed(program);
    if (EqualsIgnoringCase(command, kNotepad)) command = kDesktopOpener;
    // An argument vector, never a command line: blanks and quotes in either
    // string reach the program as they are.
    LaunchNamingTheProgram(services, {command, Trimmed(argument)});
}

void OpenInDefaultBrowser(CSiteServices& services, const std::string& target) {
    // The address comes from the document or an imported bookmark. One that
    // begins with a minus sign would reach the browser as an option (some
    // browsers take options that run commands); no address begins so.
    const std::string address = Trimmed(target);
    if (!address.empty() && address[0] == '-') {
        throw CGenericException(FormatString(IDS_ADDRESS_IS_AN_OPTION, {address}));
    }
    std::string browser = services.GetDefaultBrowser();
    if (!browser.empty()) {
        try {
            RunProgramWith(services, browser, target);
            return;
        } catch (const CException&) {
            // A browser that cannot be started: fall back to the desktop.
        }
    }
    LaunchNamingTheProgram(services, {kDesktopOpener, target});
}

CBrowserLauncher::CBrowserLauncher(CSiteServices* services)
    : services(services ? *services : CSiteServices::Default()) {
    this->services.LookUpDefaultBrowser();
}

void CBrowserLauncher::OpenUrl(const std::string& target) { OpenInDefaultBrowser(services, target); }

void CBrowserLauncher::OpenStringResource(unsigned id) { OpenUrl(LoadString(id)); }

std::string CBrowserLauncher::GetBrowserPath() const { return services.GetDefaultBrowser(); }

}  // namespace tallyhawk
