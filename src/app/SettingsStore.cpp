#include "app/SettingsStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "app/AppSettings.h"
#include "app/AtomicFile.h"
#include "base/Archive.h"
#include "base/Exception.h"
#include "base/FileIo.h"
#include "engine/WatchSite.h"
#include "platform/Paths.h"

namespace tallyhawk {

namespace {

constexpr std::size_t kLengthSize = 4;

template <class Record>
bool LoadBlob(const ISettingsStore& store, const char* name, Record& record) {
    try {
        std::optional<std::string> bytes = store.Read(name);
        if (!bytes) return false;
        if (bytes->size() < kLengthSize) return false;
        CArchive archive(std::string_view(*bytes).substr(kLengthSize));
        record.Serialize(archive);
        return true;
    } catch (const CException&) {
        // A value that cannot be read keeps what was read before the failure.
        return false;
    }
}

}  // namespace

template <class Record>
std::string MakeBlob(Record& record) {
    std::string bytes(kLengthSize, '\0');
    {
        CArchive archive(bytes);
        record.Serialize(archive);
        archive.Flush();
    }
    const std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
    for (std::size_t i = 0; i < kLengthSize; ++i) bytes[i] = static_cast<char>(length >> (8 * i));
    return bytes;
}

template std::string MakeBlob<CWatchSite>(CWatchSite&);
template std::string MakeBlob<CAppSettings>(CAppSettings&);

CFileSettingsStore::CFileSettingsStore(std::string path)
    : folder(path.empty() ? ConfigDirectory() : std::move(path)) {
    if (folder.empty() || folder.back() != '/') folder += '/';
}

std::optional<std::string> CFileSettingsStore::Read(const std::string& name) const {
    int fd = ::open((folder + name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw COsException();
    }
    try {
        std::string bytes = ReadAll(fd);
        ::close(fd);
        return bytes;
    } catch (const COsException&) {
        ::close(fd);
        throw;
    }
}

void CFileSettingsStore::Write(const std::string& name, const std::string& bytes) {
    if (!MakeDirectories(folder, 0700)) throw COsException();
    CAtomicFile::Write(folder + name, bytes);
}

bool LoadDefaultPage(const ISettingsStore& store, CWatchSite& page) {
    // New pages compare their visible text and learn what changes on its
    // own from the first start on. Stored
    // defaults keep what they say: those of an older release compare the
    // source, as they always did.
    bool stored = true;
    try {
        stored = store.Read(kSiteSettingsValue).has_value();
    } catch (const CException&) {
    }
    if (!stored) {
        CWatcherSettings settings = page.GetSettings();
        settings.SetCompareWhat(CWatcherSettings::CompareText);
        settings.SetLearnNoise(true);
        page.SetSettings(settings);
    }
    return LoadBlob(store, kSiteSettingsValue, page);
}

bool LoadAppSettings(const ISettingsStore& store, CAppSettings& settings) {
    return LoadBlob(store, kAppSettingsValue, settings);
}

void SaveDefaultPage(ISettingsStore& store, CWatchSite& page) {
    store.Write(kSiteSettingsValue, MakeBlob(page));
}

void SaveAppSettings(ISettingsStore& store, CAppSettings& settings) {
    store.Write(kAppSettingsValue, MakeBlob(settings));
}

}  // namespace tallyhawk
