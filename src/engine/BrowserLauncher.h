// CBrowserLauncher: opens a URL in the default browser, for the parts of the
// program that have no page at hand (the About box's link).
#pragma once

#include <string>

namespace tallyhawk {

class CSiteServices;

// The steps shared with CWatchSite's viewer operations.
// Starts `program` with one argument after trimming both of white space;
// "notepad.exe" (any letter case) is the desktop's text viewer. Throws
// COsException with the errno (2: not found).
void RunProgramWith(CSiteServices& services, const std::string& program,
                    const std::string& argument);
// Starts the default browser on `target`; when there is none, or it cannot
// be started, the desktop's "open" action. Throws COsException, or
// CGenericException for a target that begins with '-' (it would be taken
// for an option).
void OpenInDefaultBrowser(CSiteServices& services, const std::string& target);

class CBrowserLauncher {
public:
    // Looks the default browser up when it is still unknown (a failure is
    // swallowed). `services` (null: the default ones) must outlive it.
    explicit CBrowserLauncher(CSiteServices* services = nullptr);
    virtual ~CBrowserLauncher() = default;

    // As CWatchSite::OpenInBrowser. Throws COsException.
    void OpenUrl(const std::string& target);
    // Opens the text of string resource `id`.
    void OpenStringResource(unsigned id);
    // The default browser's program, empty when unknown.
    std::string GetBrowserPath() const;

private:
    CSiteServices& services;
};

}  // namespace tallyhawk
