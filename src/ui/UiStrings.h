// The desktop program's texts in the string table, by id.
#pragma once

#include <string>

#include "base/StringTable.h"

namespace tallyhawk {

// String ids of the desktop program's own texts.
inline constexpr unsigned IDS_COLUMN_NAME = 129;
inline constexpr unsigned IDS_COLUMN_URL = 130;
inline constexpr unsigned IDS_COLUMN_STATUS = 131;
inline constexpr unsigned IDS_COLUMN_UPDATED = 132;
inline constexpr unsigned IDS_CLIPBOARD_FORMAT = 141;
inline constexpr unsigned IDS_CONFIRM_EXIT = 143;
inline constexpr unsigned IDS_CONFIRM_REMOVE = 144;
inline constexpr unsigned IDS_APP_TITLE = 57344;
inline constexpr unsigned IDS_READY = 57345;
inline constexpr unsigned IDS_MONITORING = 59143;
inline constexpr unsigned IDS_TRAY_EXIT = 59150;
inline constexpr unsigned IDS_TRAY_RESTORE = 59151;
inline constexpr unsigned IDS_TRAY_MINIMIZE = 59152;
inline constexpr unsigned IDS_TRAY_VIEW_ERRORS = 59153;
inline constexpr unsigned IDS_ERRORS_TEXT = 59154;
inline constexpr unsigned IDS_TRAY_START = 59159;
inline constexpr unsigned IDS_TRAY_STOP = 59160;
// Texts of this platform's front end (no counterpart elsewhere).
inline constexpr unsigned IDS_UNTITLED = 61700;
inline constexpr unsigned IDS_ASK_TO_SAVE = 61701;       // %s: the document's name
inline constexpr unsigned IDS_OPEN_FAILED = 61702;       // %s: path, %s: reason
inline constexpr unsigned IDS_PAGE_HAS_CHANGED = 61703;  // %s: the page's name
inline constexpr unsigned IDS_FILE_FILTER = 61704;
inline constexpr unsigned IDS_LOG_FILTER = 61705;
inline constexpr unsigned IDS_SAVE_FAILED = 61706;       // %s: path, %s: reason
inline constexpr unsigned IDS_NOT_A_DOCUMENT = 61707;    // %s: path

// Registers every text above and the commands' prompts, each one only where
// the string table has none for its id yet. Idempotent.
void RegisterUiStrings();


}  // namespace tallyhawk
