// Pages on the clipboard: the data format "Tallyhawk" holds exactly one page
// record, byte for byte as in a .wat file (the CWatchSite record, which
// begins with its settings record), with nothing before it. Data from
// another running instance reads the same way. User-interface thread only.
#pragma once

#include <memory>
#include <string>

namespace tallyhawk {

class CWatchSite;

// The page's record bytes.
std::string PageRecord(CWatchSite& page);
// A page read from the start of `bytes` (longer data is fine). Throws
// CArchiveException for a short or damaged record.
std::unique_ptr<CWatchSite> PageFromRecord(const std::string& bytes);

// Adds the page's record to the clipboard, keeping the other formats there.
// Throws COsException when the clipboard cannot be opened or refuses it.
void CopyPageToClipboard(CWatchSite& page);
// Whether the clipboard holds data in the page format.
bool ClipboardHasPage();
// The record bytes on the clipboard, or nothing.
bool ReadPageRecord(std::string& bytes);
// Puts raw bytes in the page format on the clipboard (what another instance
// would put there). Throws COsException.
void WritePageRecord(const std::string& bytes);

}  // namespace tallyhawk
