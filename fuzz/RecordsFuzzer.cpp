// Every reader of stored bytes: the first byte of the input chooses one, the
// rest is what it reads. A damaged record must end in the program's own
// exception, never a crash, a hang or an allocation the bytes do not justify.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/AppSettings.h"
#include "app/SettingsStore.h"
#include "base/Archive.h"
#include "base/Exception.h"
#include "engine/WatchSite.h"
#include "engine/WatchSiteList.h"

namespace {

using namespace tallyhawk;

class CBytesStore : public ISettingsStore {
public:
    explicit CBytesStore(std::string bytes) : bytes(std::move(bytes)) {}
    std::optional<std::string> Read(const std::string&) const override { return bytes; }
    void Write(const std::string&, const std::string&) override {}

private:
    std::string bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        switch (data[0] % 4) {
        case 0: {  // a .wat document: the page list's record
            CWatchSiteList list(nullptr);
            CArchive archive(bytes);
            list.Serialize(archive);
            break;
        }
        case 1: {  // a page record, as on the clipboard
            CWatchSite page;
            CArchive archive(bytes);
            page.Serialize(archive);
            break;
        }
        case 2: {  // the "SiteSettings" blob
            CWatchSite page;
            LoadDefaultPage(CBytesStore(bytes), page);
            break;
        }
        case 3: {  // the "AppSettings" blob
            CAppSettings settings;
            LoadAppSettings(CBytesStore(bytes), settings);
            break;
        }
        }
    } catch (const CException&) {
        // A damaged record is reported this way.
    }
    return 0;
}
