#include "ui/PageClipboard.h"

#include <wx/clipbrd.h>
#include <wx/dataobj.h>

#include <cerrno>

#include "base/Archive.h"
#include "base/Exception.h"
#include "base/StringTable.h"
#include "engine/WatchSite.h"

namespace tallyhawk {

namespace {

wxDataFormat PageFormat() {
    return wxDataFormat(wxString::FromUTF8(LoadString(IDS_CLIPBOARD_FORMAT)));
}

// Opens the clipboard for the scope.
class COpenClipboard {
public:
    COpenClipboard() : open(wxTheClipboard->Open()) {}
    ~COpenClipboard() {
        if (open) wxTheClipboard->Close();
    }
    COpenClipboard(const COpenClipboard&) = delete;
    COpenClipboard& operator=(const COpenClipboard&) = delete;
    bool IsOpen() const { return open; }

private:
    bool open;
};

}  // namespace

std::string PageRecord(CWatchSite& page) {
    std::string bytes;
    CArchive archive(bytes);
    page.Serialize(archive);
    archive.Flush();
    return bytes;
}

std::unique_ptr<CWatchSite> PageFromRecord(const std::string& bytes) {
    auto page = std::make_unique<CWatchSite>();
    CArchive archive{std::string_view(bytes)};
    page->Serialize(archive);
    return page;
}

void WritePageRecord(const std::string& bytes) {
    COpenClipboard clipboard;
    if (!clipboard.IsOpen()) throw COsException(EBUSY);
    auto* data = new wxCustomDataObject(PageFormat());
    data->SetData(bytes.size(), bytes.data());
    if (!wxTheClipboard->AddData(data)) throw COsException(EIO);  // AddData owns it
}

void CopyPageToClipboard(CWatchSite& page) { WritePageRecord(PageRecord(page)); }

bool ClipboardHasPage() {
    COpenClipboard clipboard;
    return clipboard.IsOpen() && wxTheClipboard->IsSupported(PageFormat());
}

bool ReadPageRecord(std::string& bytes) {
    COpenClipboard clipboard;
    if (!clipboard.IsOpen() || !wxTheClipboard->IsSupported(PageFormat())) return false;
    wxCustomDataObject data(PageFormat());
    if (!wxTheClipboard->GetData(data)) return false;
    bytes.assign(static_cast<const char*>(data.GetData()), data.GetSize());
    return true;
}

}  // namespace tallyhawk
