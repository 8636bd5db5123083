// The program's string table: every user-visible text of the program under
// its resource id, in one place (StringTable.cpp), for the command line and
// the desktop program alike.
//
// Ids below 300, from 12001 to 12172 and from 57344 up are the resource
// numbers the program has always used; 300 to 399 and 61700 to 61799 (the
// desktop program's) number the texts of its own that had none. Texts are bytes (no character-set conversion) and may
// hold printf-style conversions ("%s", "%lu"), filled by FormatString.
//
// Thread-safe: the built-in table is constant; RegisterStrings takes a lock.
#pragma once

#include <concepts>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace tallyhawk {

enum StringId : unsigned {
    // The page property sheet's viewer check when it closes.
    IDS_VIEWER_TEXT_NO_VIEWER = 17,
    IDS_VIEWER_HTML_NO_VIEWER = 18,
    IDS_VIEWER_TEXT_IS_BROWSER = 19,
    IDS_VIEWER_HTML_NOT_BROWSER = 20,
    // The Update Page dialog's fallback when a failure has no text.
    IDS_FAILED_TO_DOWNLOAD = 103,
    // The Page page's empty fields (and IDS_URL_EMPTY below).
    IDS_NAME_EMPTY = 133,
    // Viewing changes failed with something that is none of the program's exceptions.
    IDS_UNKNOWN_VIEW_FAILURE = 134,
    // The page status texts. Their order in the table differs from the
    // status values: Updating (4) comes before Modified (3).
    IDS_STATUS_NEW = 135,
    IDS_STATUS_OUTDATED = 136,
    IDS_STATUS_CURRENT = 137,
    IDS_STATUS_UPDATING = 138,
    IDS_STATUS_MODIFIED = 139,
    IDS_URL_EMPTY = 140,
    IDS_RETRY_COUNT_EXCEEDED = 59145,
    IDS_STATUS_DISABLED = 59147,
    // The last-updated time of a page never downloaded.
    IDS_NEVER = 59148,

    // 12001-12172: one sentence per download error code, with gaps (see
    // net/InternetError.h); the id is the code.
    IDS_INTERNET_ERROR_FIRST = 12001,
    IDS_INTERNET_ERROR_LAST = 12172,

    // Exceptions and stored data.
    IDS_NO_ERROR_MESSAGE = 300,
    IDS_ALLOCATION_FAILED = 301,
    IDS_OS_ERROR = 302,               // %lu: the code
    IDS_ARCHIVE_END_OF_FILE = 303,
    IDS_ARCHIVE_FAILED = 304,
    IDS_INTERNET_ERROR = 310,         // %lu: a code without a sentence of its own
    IDS_TEMP_FOLDER_NOT_PRIVATE = 320,  // %s: the folder
    // The watch loop and the message log.
    IDS_UNKNOWN_EXCEPTION = 330,
    IDS_PAGE_TOO_LARGE = 331,
    IDS_NO_SUCH_PAGE = 332,
    IDS_ADDRESS_IS_AN_OPTION = 333,   // %s: the address
    IDS_PROGRAM_NOT_STARTED = 334,    // %s: the program, %s: why
    // The check on demand (Update Page) and its progress.
    IDS_SEH_EXCEPTION = 340,
    IDS_PLEASE_WAIT = 341,
    IDS_CANCELING = 342,
    IDS_RESOLVING = 343,              // %s: the host
    IDS_RESOLVED = 344,               // %s: the host
    IDS_CONNECTING = 345,             // %s: the host
    IDS_CONNECTED = 346,              // %s: the host
    IDS_DOWNLOADED = 347,             // %lu: the bytes received
    IDS_CANCELED = 348,
    IDS_DONE = 349,
    // The document file.
    IDS_DOCUMENT_IN_USE = 350,        // %s: the file's path
    // The File Download dialog's status line, rate and size.
    IDS_FILE_RESOLVING = 360,
    IDS_FILE_RESOLVED = 361,
    IDS_FILE_CONNECTING = 362,
    IDS_FILE_CONNECTED = 363,
    IDS_FILE_RECEIVED = 364,          // %d: kilobytes received
    IDS_FILE_RATE = 365,              // %d: kilobytes a second
    IDS_FILE_SIZE = 366,              // %lu: kilobytes
    IDS_FILE_DOWNLOAD_FAILED = 367,   // %s: the URL
    // The upgrade wizard and the product list.
    IDS_UPGRADE_NOT_LISTED = 368,
    IDS_UPGRADE_NEWER_FREE = 369,     // %2.3f, %s: the version, the product's name
    IDS_UPGRADE_NEWER = 370,          // %2.3f, %s: the version, the product's name
    IDS_UPGRADE_CURRENT = 371,        // %s: the product's name
    IDS_SETUP_LAUNCH_FAILED = 372,
    IDS_PRODUCT_INFO_CAPTION = 373,
    IDS_SETUP_FILTER = 374,           // %s, %s: the extension
    IDS_SETUP_FILTER_ANY = 375,
    IDS_SETUP_NOT_SECURE = 376,       // %s: the setup URL
    IDS_PRODUCT_LIST_DAMAGED = 377,   // %s: why
    IDS_PRODUCT_LIST_COUNT = 378,     // %lu, %lu: the count, the bytes left
    IDS_SAVE_SETUP_TITLE = 379,
    // The page property sheet and its pages.
    IDS_ENTER_INTEGER = 380,
    IDS_ENTER_INTEGER_BETWEEN = 381,  // %d, %d: the bounds
    IDS_BROWSER_LAUNCH_FAILED = 382,
    IDS_SHEET_ADD_PAGE = 383,
    IDS_SHEET_PROPERTIES = 384,
    IDS_SHEET_DEFAULTS = 385,
    IDS_SHEET_CAPTION_FOR = 386,      // %s, %s: the title, the page's name
    // The file choosers of the Notifications and Logging pages.
    IDS_SOUND_FILTER = 387,
    IDS_PROGRAM_FILTER = 388,
    IDS_LOG_FILE_FILTER = 389,
    // The change files, and what the Page page says about changes to ignore.
    IDS_CHANGES_ADDED_TO = 395,       // %s: the page's name
    IDS_CHANGES_DELETED_FROM = 396,   // %s: the page's name
    IDS_CHANGES_FOUND_AT = 397,       // %s: the time
    IDS_IGNORE_BEGINNING_HELP = 398,
    IDS_IGNORE_ENDING_HELP = 399,
    // The desktop program.
    IDS_COLUMN_NAME = 129,
    IDS_COLUMN_URL = 130,
    IDS_COLUMN_STATUS = 131,
    IDS_COLUMN_UPDATED = 132,
    IDS_CLIPBOARD_FORMAT = 141,
    IDS_CONFIRM_EXIT = 143,
    IDS_CONFIRM_REMOVE = 144,
    IDS_APP_TITLE = 57344,
    IDS_READY = 57345,
    IDS_MONITORING = 59143,
    IDS_TRAY_EXIT = 59150,
    IDS_TRAY_RESTORE = 59151,
    IDS_TRAY_MINIMIZE = 59152,
    IDS_TRAY_VIEW_ERRORS = 59153,
    IDS_ERRORS_TEXT = 59154,
    IDS_TRAY_START = 59159,
    IDS_TRAY_STOP = 59160,
    IDS_UNTITLED = 61700,
    IDS_ASK_TO_SAVE = 61701,       // %s: the document's name
    IDS_OPEN_FAILED = 61702,       // %s: path, %s: reason
    IDS_PAGE_HAS_CHANGED = 61703,  // %s: the page's name
    IDS_FILE_FILTER = 61704,
    IDS_LOG_FILTER = 61705,
    IDS_SAVE_FAILED = 61706,       // %s: path, %s: reason
    IDS_NOT_A_DOCUMENT = 61707,    // %s: path
    IDS_MANUAL_NOT_FOUND = 61708,  // %s: the manual page
    // Watching in the desktop program: disabled pages, saving as it goes.
    IDS_ERRORS_REASON = 61720,     // %s: the page's name, %s: why its checks failed
    IDS_ERRORS_ENABLE_AGAIN = 61721,
    IDS_AUTOSAVE_FAILED = 61722,   // %s: path, %s: reason
    IDS_TRAY_ONE_CHANGED = 61723,
    IDS_TRAY_CHANGED = 61724,      // %lu: how many pages changed
    // The Bookmarks & Favorites dialog and tallyhawk-cli import.
    IDS_IMPORT_TITLE = 61740,
    IDS_IMPORT_BOOKMARKS = 61741,
    IDS_IMPORT_FAVORITES = 61742,
    IDS_IMPORT_COLUMN_NAME = 61743,
    IDS_IMPORT_COLUMN_URL = 61744,
    IDS_IMPORT_NO_BOOKMARKS = 61745,
    IDS_IMPORT_NO_FAVORITES = 61746,
    IDS_IMPORT_NO_MATCH = 61747,   // %s: the text looked for
    IDS_IMPORT_COLLECTING = 61748, // %lu, %lu: links found, folder entries looked at
    IDS_PRODUCT_LIST_TOO_LARGE = 61760,  // %lu: the most bytes a product list may have
    // The desktop program's command line and start-up.
    IDS_USAGE = 61780,
    IDS_VERSION_LINE = 61781,         // %s: the version
    IDS_NO_DESKTOP = 61782,
    IDS_INSTANCE_SILENT = 61783,
    IDS_INSTANCE_NOT_LISTENING = 61784,  // %s: the socket's path
    IDS_REPLACE_FILE = 61785,          // %s: the file's path
    // Downloads that fail for what the server sent, and files refused.
    IDS_HTTP_STATUS = 61790,              // %s: status and reason, "404 Not Found"
    IDS_HTTP_UNAUTHORIZED = 61791,        // %s: status and reason
    IDS_TLS_OVER_HTTP = 61792,
    IDS_RESPONSE_HEAD_TOO_LARGE = 61793,  // %lu, %lu: the most lines, the most KB
    IDS_NOT_A_REGULAR_FILE = 61794,       // %s: the path
    IDS_FILE_TOO_LARGE = 61795,           // %s, %lu: the path, the most bytes
    // The History window.
    IDS_HISTORY_NONE = 61796,
    IDS_HISTORY_CONFIRM_ACCEPT = 61797,   // %s: the version's time
    IDS_HISTORY_NO_CHANGES = 61798,
    IDS_HISTORY_UNAVAILABLE = 61799,
};

// The text of `id`, or an empty string when there is none.
std::string LoadString(unsigned id);

// The built-in text of `id` as a pointer into the constant table, or null.
// Allocates nothing, so it serves where memory has run out; texts given to
// RegisterStrings are not seen here.
const char* FindBuiltInString(unsigned id) noexcept;

// Adds texts beyond the built-in ones, or replaces them for LoadString
// (a test's own ids, a translation).
void RegisterStrings(std::initializer_list<std::pair<unsigned, const char*>> strings);

// One value for a conversion in a text: a string or an integer.
class CTextArgument {
public:
    CTextArgument(std::string_view text) : text(text) {}
    CTextArgument(const char* text) : text(text ? text : "") {}
    CTextArgument(const std::string& text) : text(text) {}
    template <std::integral T>
    CTextArgument(T value) : text(std::to_string(value)) {}
    const std::string& Text() const { return text; }

private:
    std::string text;
};

// `pattern` with each printf-style conversion ("%s", "%lu", "%d", ...), in
// order, replaced by the next argument's text; "%%" is one percent sign.
// Flags and widths are not applied. A conversion with no argument left stays
// as written, and arguments beyond the conversions are ignored; no argument
// is ever read as a format, so a text from anywhere is safe here.
std::string FormatText(std::string_view pattern, std::initializer_list<CTextArgument> arguments);

// FormatText on the text of `id`.
std::string FormatString(unsigned id, std::initializer_list<CTextArgument> arguments);

}  // namespace tallyhawk
