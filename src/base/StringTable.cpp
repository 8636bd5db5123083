#include "base/StringTable.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <iterator>
#include <mutex>
#include <unordered_map>

#include "base/Exception.h"

namespace tallyhawk {

namespace {

struct CStringEntry {
    unsigned id;
    const char* text;
};

// Sorted by id (checked below), so a lookup is a binary search.
constexpr CStringEntry kStrings[] = {
    {IDS_VIEWER_TEXT_NO_VIEWER,
     "You have selected an output option that generates text, but you do not have a viewer "
     "selected.  Would you like to use notepad for your viewer?\n\n"},
    {IDS_VIEWER_HTML_NO_VIEWER,
     "You have selected an output option that generates html, but you do not have a viewer "
     "selected.  Would you like to use the default web browser for your viewer?"},
    {IDS_VIEWER_TEXT_IS_BROWSER,
     "You have selected an output option that generates text, but your viewer is a web "
     "browser.  Would you like to change your viewer to notepad instead?"},
    {IDS_VIEWER_HTML_NOT_BROWSER,
     "You have selected an output option that generates html, but your viewer is not the "
     "default web browser.  Would you like to change your viewer to the default browser instead?"},
    {IDS_FAILED_TO_DOWNLOAD, "Failed to download file."},
    {IDS_COLUMN_NAME, "Page Name"},
    {IDS_COLUMN_URL, "Web Page"},
    {IDS_COLUMN_STATUS, "Status"},
    {IDS_COLUMN_UPDATED, "Last Updated"},
    {IDS_NAME_EMPTY, "The page's name field can not be empty."},
    {IDS_UNKNOWN_VIEW_FAILURE,
     "An unknown exception has occured.  Please restart the application and try again."},
    {IDS_STATUS_NEW, "New"},
    {IDS_STATUS_OUTDATED, "Outdated"},
    {IDS_STATUS_CURRENT, "Current"},
    {IDS_STATUS_UPDATING, "Updating"},
    {IDS_STATUS_MODIFIED, "Modified"},
    {IDS_URL_EMPTY, "The page's URL field can not be empty."},

    {IDS_CLIPBOARD_FORMAT, "Tallyhawk"},
    {IDS_CONFIRM_EXIT,
     "Are you sure that you want to exit?  If you exit, web watching will be unavailable."},
    {IDS_CONFIRM_REMOVE, "Are you sure  that you want to remove this page?"},
    {IDS_NO_ERROR_MESSAGE, "No error message is available."},
    {IDS_ALLOCATION_FAILED, "A memory allocation has failed."},
    {IDS_OS_ERROR, "Operating System Error %lu"},
    {IDS_ARCHIVE_END_OF_FILE, "The stored data ended unexpectedly; the file is truncated or damaged."},
    {IDS_ARCHIVE_FAILED, "The stored data could not be read or written."},
    {IDS_INTERNET_ERROR, "Internet error %lu"},
    {IDS_TEMP_FOLDER_NOT_PRIVATE, "The temporary folder %s is not a private folder of this user."},
    {IDS_UNKNOWN_EXCEPTION, "Unknown Exception"},
    {IDS_PAGE_TOO_LARGE,
     "The page is larger than 256 MB, the most that can be checked, and was not downloaded."},
    {IDS_NO_SUCH_PAGE, "There is no page with that number."},
    {IDS_ADDRESS_IS_AN_OPTION, "\"%s\" cannot be opened: an address must not begin with a minus sign."},
    {IDS_PROGRAM_NOT_STARTED, "The program \"%s\" could not be started: %s"},
    {IDS_SEH_EXCEPTION, "SEH Exception"},
    {IDS_PLEASE_WAIT, "Please wait..."},
    {IDS_CANCELING, "Canceling..."},
    {IDS_RESOLVING, "Resolving host name %s"},
    {IDS_RESOLVED, "Resolved host name %s"},
    {IDS_CONNECTING, "Connecting to %s"},
    {IDS_CONNECTED, "Connected to %s"},
    {IDS_DOWNLOADED, "Downloaded %lu bytes..."},
    {IDS_CANCELED, "Canceled"},
    {IDS_DONE, "Done"},
    {IDS_DOCUMENT_IN_USE, "The document %s is in use by another Tallyhawk program; close it there first."},
    {IDS_FILE_RESOLVING, "Resolving host name..."},
    {IDS_FILE_RESOLVED, "Resolved host name."},
    {IDS_FILE_CONNECTING, "Connecting to host..."},
    {IDS_FILE_CONNECTED, "Connected to host."},
    {IDS_FILE_RECEIVED, "Downloaded %d KB"},
    {IDS_FILE_RATE, "%d KB/Second"},
    {IDS_FILE_SIZE, "%lu KB"},
    {IDS_FILE_DOWNLOAD_FAILED, "Failed to download [%s]"},
    {IDS_UPGRADE_NOT_LISTED, "This application could not be found in the wizard's list."},
    {IDS_UPGRADE_NEWER_FREE, "A newer version (%2.3f) of %s is available for free."},
    {IDS_UPGRADE_NEWER, "A newer version (%2.3f) of %s is available."},
    {IDS_UPGRADE_CURRENT, "You have the most current version of %s."},
    {IDS_SETUP_LAUNCH_FAILED, "Failed to launch setup program."},
    {IDS_PRODUCT_INFO_CAPTION, "Downloading Product Information"},
    {IDS_SETUP_FILTER, "Setup Files (*.%s)|*.%s|All Files (*)|*"},
    {IDS_SETUP_FILTER_ANY, "All Files (*)|*"},
    {IDS_SETUP_NOT_SECURE,
     "The setup program was not downloaded: its address \"%s\" is not a secure https:// "
     "address, so nothing would prove that the program comes from its maker."},
    {IDS_PRODUCT_LIST_DAMAGED, "The product list could not be read. %s"},
    {IDS_PRODUCT_LIST_COUNT, "It names %lu products, more than the %lu bytes that follow can hold."},
    {IDS_SAVE_SETUP_TITLE, "Save Setup Program"},
    {IDS_ENTER_INTEGER, "Please enter an integer."},
    {IDS_ENTER_INTEGER_BETWEEN, "Please enter an integer between %d and %d."},
    {IDS_BROWSER_LAUNCH_FAILED, "Failed to launch the default web browser"},
    {IDS_SHEET_ADD_PAGE, "Add Page"},
    {IDS_SHEET_PROPERTIES, "Properties"},
    {IDS_SHEET_DEFAULTS, "Default Settings for all Pages"},
    {IDS_SHEET_CAPTION_FOR, "%s for %s"},
    // "All Files" is "*": "*.*" would hide every name without a dot.
    {IDS_SOUND_FILTER, "Sound Files (*.wav;*.oga;*.ogg)|*.wav;*.oga;*.ogg|All Files (*)|*"},
#ifdef _WIN32
    {IDS_PROGRAM_FILTER, "Program Files (*.exe)|*.exe|All Files (*)|*"},
#else
    // Programs here have no extension of their own.
    {IDS_PROGRAM_FILTER, "All Files (*)|*"},
#endif
    {IDS_LOG_FILE_FILTER, "Log Files (*.txt)|*.txt|All Files (*)|*"},
    {IDS_CHANGES_ADDED_TO, "Added to %s"},
    {IDS_CHANGES_DELETED_FROM, "Deleted from %s"},
    {IDS_CHANGES_FOUND_AT, "Changes found %s"},
    {IDS_IGNORE_BEGINNING_HELP,
     "How many changes at the top of the page to disregard. Additions and removals are "
     "counted separately, in page order: a changed line is one removal plus one addition, "
     "and 1 disregards the first of each. Every piece of changed text between two tags is "
     "a change, even the line break that leads into a changed line, so a counter on a line "
     "of its own usually takes 2."},
    {IDS_IGNORE_ENDING_HELP,
     "How many changes at the bottom of the page to disregard, counted back from the end. "
     "Additions and removals are counted separately: 1 disregards the last addition and the "
     "last removal. Every piece of changed text between two tags is a change, even the line "
     "break after a changed line, so a counter on a line of its own usually takes 2."},

    // The download error codes, in WinInet's own words.
    {12001, "No more internet handles can be created at the moment."},
    {12002, "The request has timed out."},
    {12003, "The server sent back an extended error description."},
    {12004, "Something went wrong inside the internet functions."},
    {12005, "The URL is invalid."},
    {12006, "The URL scheme could not be recognized, or is not supported."},
    {12007, "The server name could not be resolved."},
    {12008, "No handler exists for the requested protocol."},
    {12009, "An internet option was given a value it does not accept."},
    {12010, "An internet option was given data of the wrong length."},
    {12011, "This internet option can be read but not changed."},
    {12012, "The internet functions are shutting down."},
    {12013, "The server rejected the user name."},
    {12014, "The server rejected the password."},
    {12015, "Logging on to the server failed."},
    {12016, "The requested operation cannot be performed."},
    {12017, "The operation was canceled, usually because the handle on which the request "
            "was operating was closed before the operation completed."},
    {12018, "The handle given is of the wrong kind for this operation."},
    {12019, "The handle given is not in a state that allows this operation."},
    {12020, "This request cannot be sent through a proxy."},
    {12021, "A required configuration value is missing."},
    {12022, "A required configuration value has the wrong type or an unusable value."},
    {12023, "The network cannot be reached directly at the moment."},
    {12024, "An asynchronous request was made without a context value."},
    {12025, "An asynchronous request was made without a callback function."},
    {12026, "The operation cannot complete while other requests are still pending."},
    {12027, "The request is not in a valid format."},
    {12028, "The requested item does not exist."},
    {12029, "The attempt to connect to the server failed."},
    {12030, "The connection with the server has been terminated."},
    {12031, "The connection with the server has been reset."},
    {12032, "The request has to be sent again."},
    {12033, "The request sent to the proxy was not valid."},
    {12034, "The request needs user interaction that cannot be given here."},
    {12036, "The handle to be created exists already."},
    {12037, "The server's certificate has expired or is not yet valid."},
    {12038, "The server's certificate was issued for a different host name."},
    {12039, "A redirect leads from an unsecured connection to a secure one."},
    {12040, "A redirect leads from a secure connection to an unsecured one."},
    {12041, "Part of the content comes from servers that are not secure."},
    {12042, "Changed data is about to be posted to a server that is not secure."},
    {12043, "Data is about to be posted to a server that is not secure."},
    {12044, "The server asks for a client certificate."},
    {12045, "The server's certificate was issued by an authority that is not trusted."},
    {12046, "No client certificate has been set up on this computer."},
    {12047, "A thread for asynchronous work could not be started."},
    {12048, "A redirect changed the scheme of the URL and could not be followed."},
    {12049, "Another thread is already showing a password dialog."},
    {12050, "The dialog should be shown again."},
    {12052, "Data sent over a secure connection is being redirected to an unsecured one."},
    {12053, "The requested resource is on a CD-ROM that has to be inserted."},
    {12054, "The requested resource requires Fortezza authentication."},
    {12055, "The server's certificate has errors."},
    {12110, "Another FTP operation is already in progress on this session."},
    {12111, "The FTP session ended before the operation completed."},
    {12112, "The FTP server does not offer passive mode."},
    {12130, "The data from the Gopher server could not be parsed."},
    {12131, "The Gopher request has to name a file."},
    {12132, "An error occurred while receiving data from the Gopher server."},
    {12133, "All of the Gopher data has been read."},
    {12134, "The Gopher locator is not valid."},
    {12135, "The Gopher locator is of the wrong type for this operation."},
    {12136, "The operation needs a Gopher+ server or locator."},
    {12137, "The requested Gopher attribute does not exist."},
    {12138, "The Gopher locator type is unknown."},
    {12150, "The requested HTTP header is not present."},
    {12151, "The server did not send any headers."},
    {12152, "The server response could not be parsed."},
    {12153, "The HTTP header given is not valid."},
    {12154, "The query for HTTP header information is not valid."},
    {12155, "The HTTP header cannot be added because it is present already."},
    {12156, "The redirect could not be followed: the scheme changed or there were too "
            "many redirects."},
    {12157, "The secure channel could not be set up."},
    {12158, "The downloaded file could not be stored in the cache."},
    {12159, "The network protocols needed are not installed."},
    {12160, "The HTTP request was not redirected."},
    {12161, "The HTTP cookie needs to be confirmed."},
    {12162, "The HTTP cookie was declined."},
    {12163, "The Internet connection has been lost."},
    {12164, "The Web site or server indicated is unreachable."},
    {12165, "The proxy server cannot be reached."},
    {12166, "The automatic proxy configuration script has an error."},
    {12167, "The automatic proxy configuration script could not be downloaded."},
    {12168, "The redirect needs to be confirmed by the user."},
    {12169, "The server's certificate is not valid."},
    {12170, "The server's certificate has been revoked."},
    {12171, "The operation was refused by a security check."},
    {12172, "Initialization of the Win32 Internet API has not occurred. Indicates that a "
            "higher-level function, such as InternetOpen, has not been called yet."},

    {32771, "Adds a page to the list\nAdd Page"},
    {32773, "Removes a page from the list\nRemove Page"},
    {32774, "View a web page's properties\nPage Properties"},
    {32776, "Changes options\nOptions"},
    {32777, "Check the selected page for changes\nUpdate"},
    {32778, "Stop web watching\nStop watching"},
    {32780, "Start web watching\nStart watching"},
    {32781, "Saves the message log\nSave Messages"},
    {32782, "Clear the message log\nClear Log"},
    {32784, "Minimizes the window to the tray\nTray Minimize"},
    {32785, "Import a Bookmark or a Favorite from your browser\nImport Link"},
    {32786, "Browse the web page in the default browser\nBrowse Page"},
    {32788, "View changes to the selected page.\nView Changes"},
    {32789, "Dispalys online documentation\nHelp"},
    {32790, "Check the Internet for new versions of this product\nUpgrade Wizard"},
    {32791, "View, compare and accept the versions kept of the selected page\nHistory"},
    {IDS_APP_TITLE, "Tallyhawk"},
    {IDS_READY, "Ready"},
    {57600, "Create a new document\nNew"},
    {57601, "Open an existing document\nOpen"},
    {57603, "Save the active document\nSave"},
    {57604, "Save the active document with a new name\nSave As"},
    {57616, "Open this document"},
    {57617, "Open this document"},
    {57618, "Open this document"},
    {57619, "Open this document"},
    {57634, "Copy the selection and put it on the Clipboard\nCopy"},
    {57635, "Cut the selection and put it on the Clipboard\nCut"},
    {57637, "Insert Clipboard contents\nPaste"},
    {57664, "Display program information, version number and copyright\nAbout"},
    {57665, "Quit the application; prompts to save documents\nExit"},
    {IDS_MONITORING, "Monitoring"},
    {IDS_RETRY_COUNT_EXCEEDED,
     "The page exceeded the predetermined retry count.  This page will be disabled."},
    {IDS_STATUS_DISABLED, "Disabled"},
    {IDS_NEVER, "Never"},
    {IDS_TRAY_EXIT, "&Exit"},
    {IDS_TRAY_RESTORE, "&Restore"},
    {IDS_TRAY_MINIMIZE, "&Minimize"},
    {IDS_TRAY_VIEW_ERRORS, "&View Errors"},
    {IDS_ERRORS_TEXT,
     "The folloing page(s) have exceeded their predetermined retry count and have been "
     "disabled.\n"},
    {IDS_TRAY_START, "&Start Monitoring"},
    {IDS_TRAY_STOP, "Stop &Monitoring"},
    {59392, "Show or hide the toolbar\nToggle ToolBar"},
    {59393, "Show or hide the status bar\nToggle StatusBar"},
    {IDS_UNTITLED, "Untitled"},
    {IDS_ASK_TO_SAVE, "Save changes to %s?"},
    {IDS_OPEN_FAILED, "Cannot open %s: %s"},
    {IDS_PAGE_HAS_CHANGED, "%s has changed"},
    {IDS_FILE_FILTER, "Tallyhawk Files (*.wat)|*.wat|All Files (*)|*"},
    {IDS_LOG_FILTER, "Text Files (*.txt)|*.txt|All Files (*.*)|*.*"},
    {IDS_SAVE_FAILED, "Cannot save %s: %s"},
    {IDS_NOT_A_DOCUMENT, "%s is not a Tallyhawk document (*.wat)."},
    {IDS_MANUAL_NOT_FOUND,
     "The manual page \"%s\" could not be found. An installed Tallyhawk keeps its manual in "
     "share/doc/tallyhawk/manual/ beside its bin folder."},
    {IDS_ERRORS_REASON, "%s: %s"},
    {IDS_ERRORS_ENABLE_AGAIN,
     "Enable these pages again? Each is checked again as soon as it is due."},
    {IDS_AUTOSAVE_FAILED,
     "Cannot save %s while watching: %s. Watching goes on; the document is saved again at "
     "its next change."},
    {IDS_TRAY_ONE_CHANGED, "Tallyhawk: 1 page changed"},
    {IDS_TRAY_CHANGED, "Tallyhawk: %lu pages changed"},
    {IDS_IMPORT_TITLE, "Bookmarks & Favorites"},
    {IDS_IMPORT_BOOKMARKS, "&Bookmarks"},
    {IDS_IMPORT_FAVORITES, "&Favorites"},
    {IDS_IMPORT_COLUMN_NAME, "Name"},
    {IDS_IMPORT_COLUMN_URL, "URL"},
    {IDS_IMPORT_NO_BOOKMARKS, "No bookmarks were found."},
    {IDS_IMPORT_NO_FAVORITES, "No favorites were found."},
    {IDS_IMPORT_NO_MATCH, "No link's name or address contains \"%s\"."},
    {IDS_IMPORT_COLLECTING, "Looking for links... %lu found, %lu files and folders looked at"},
    {IDS_PRODUCT_LIST_TOO_LARGE,
     "The product list is larger than %lu bytes, more than any product list holds; it was not "
     "read."},
    {IDS_USAGE,
     "Usage: tallyhawk [FILE] [run] [--minimized]\n"
     "       tallyhawk --help | --version\n"
     "\n"
     "The Tallyhawk desktop program: watches the web pages of a document (.wat).\n"
     "\n"
     "  FILE         the document to open; without it, a new one\n"
     "  run, --run   start watching once the document is open (any letter case)\n"
     "  --minimized  start with only the tray icon showing\n"
     "  --help, -h   show this text and end\n"
     "  --version    show the version and end\n"
     "\n"
     "A Tallyhawk already running for this user and display takes over FILE and\n"
     "run, and shows its window. Without a desktop session, use tallyhawk-cli\n"
     "(tallyhawk-cli --help).\n"},
    {IDS_VERSION_LINE, "tallyhawk %s\n"},
    {IDS_NO_DESKTOP,
     "tallyhawk needs a desktop session; to watch pages without one, use tallyhawk-cli "
     "watch FILE.\n"},
    {IDS_INSTANCE_SILENT, "tallyhawk: another Tallyhawk runs on this display but does not "
                          "answer.\n"},
    {IDS_INSTANCE_NOT_LISTENING,
     "tallyhawk: cannot listen on %s; later starts open a program of their own.\n"},
    {IDS_REPLACE_FILE, "%s already exists.\nDo you want to replace it?"},
    {IDS_HTTP_STATUS, "The server answered %s."},
    {IDS_HTTP_UNAUTHORIZED, "The server did not accept the user name or password (%s)."},
    {IDS_TLS_OVER_HTTP,
     "The server answered in TLS, as a secure server does: its address has to begin with "
     "https:// instead of http://."},
    {IDS_RESPONSE_HEAD_TOO_LARGE,
     "The server's response could not be read: its header has more than %lu lines or %lu KB."},
    {IDS_NOT_A_REGULAR_FILE, "%s is not a regular file."},
    {IDS_FILE_TOO_LARGE, "%s is larger than %lu bytes; it was not read."},
    {IDS_HISTORY_NONE, "This document has no history yet: it is kept beside the document once "
                       "it is saved."},
    {IDS_HISTORY_CONFIRM_ACCEPT, "Make the version of %s the accepted one? The page's changes "
                                 "will then be shown against it."},
    {IDS_HISTORY_NO_CHANGES, "These two versions show no changes in this output."},
    {IDS_HISTORY_UNAVAILABLE, "The history beside this document cannot be opened; the message "
                              "log says why."},
};

constexpr bool IsSortedAndUnique() {
    for (std::size_t i = 1; i < std::size(kStrings); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id) return false;
    }
    return true;
}
static_assert(IsSortedAndUnique(), "the string table must be sorted by id, each id once");

constexpr const char* Find(unsigned id) {
    const CStringEntry* end = std::end(kStrings);
    const CStringEntry* entry = std::lower_bound(
        std::begin(kStrings), end, id, [](const CStringEntry& e, unsigned value) { return e.id < value; });
    return entry != end && entry->id == id ? entry->text : nullptr;
}

struct CRegistered {
    std::mutex lock;
    std::unordered_map<unsigned, std::string> texts;  // guarded by lock
};

CRegistered& Registered() {
    static CRegistered registered;
    return registered;
}

// The length of the printf-style conversion at pattern[0] ('%'), or 0 when
// what follows is no conversion.
std::size_t ConversionLength(std::string_view pattern) {
    std::size_t i = 1;
    while (i < pattern.size() && std::string_view("-+ #0").find(pattern[i]) != std::string_view::npos) ++i;
    while (i < pattern.size() && (std::isdigit(static_cast<unsigned char>(pattern[i])) || pattern[i] == '.')) ++i;
    while (i < pattern.size() && std::string_view("hlLqjzt").find(pattern[i]) != std::string_view::npos) ++i;
    if (i < pattern.size() && std::string_view("diouxXeEfFgGaAcsp").find(pattern[i]) != std::string_view::npos)
        return i + 1;
    return 0;
}

}  // namespace

// Constant-initialized from the table, so that they are usable at any time,
// static initialization included, and cost nothing to take.
constinit const char* const kNoErrorMessage = Find(IDS_NO_ERROR_MESSAGE);
constinit const char* const kAllocationFailed = Find(IDS_ALLOCATION_FAILED);

const char* FindBuiltInString(unsigned id) noexcept { return Find(id); }

std::string LoadString(unsigned id) {
    {
        CRegistered& registered = Registered();
        std::lock_guard guard(registered.lock);
        auto it = registered.texts.find(id);
        if (it != registered.texts.end()) return it->second;
    }
    const char* text = Find(id);
    return text ? text : std::string();
}

void RegisterStrings(std::initializer_list<std::pair<unsigned, const char*>> strings) {
    CRegistered& registered = Registered();
    std::lock_guard guard(registered.lock);
    for (const auto& [id, text] : strings) registered.texts[id] = text ? text : "";
}

std::string FormatText(std::string_view pattern, std::initializer_list<CTextArgument> arguments) {
    std::string out;
    out.reserve(pattern.size());
    auto next = arguments.begin();
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern[i] != '%') {
            out.push_back(pattern[i++]);
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            out.push_back('%');
            i += 2;
            continue;
        }
        std::size_t length = ConversionLength(pattern.substr(i));
        if (length == 0 || next == arguments.end()) {
            out.push_back(pattern[i++]);
            continue;
        }
        out += next->Text();
        ++next;
        i += length;
    }
    return out;
}

std::string FormatString(unsigned id, std::initializer_list<CTextArgument> arguments) {
    return FormatText(LoadString(id), arguments);
}

}  // namespace tallyhawk
