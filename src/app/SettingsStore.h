// The settings store: where the default page ("SiteSettings") and the
// application settings ("AppSettings") outlive a run. A store holds named
// byte values; ISettingsStore lets tests use a folder of their own.
//
// Both values use the registry blob layout:
//   DWORD  the length of the whole value in bytes, these 4 included
//          (written exactly; never checked on reading)
//   the record's own bytes (CWatchSite::Serialize, CAppSettings::Serialize)
//
// Used on the front end's thread.
#pragma once

#include <optional>
#include <string>

namespace tallyhawk {

class CAppSettings;
class CWatchSite;

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    // The value's bytes, or nothing when it is not stored. Throws COsException
    // when it exists but cannot be read.
    virtual std::optional<std::string> Read(const std::string& name) const = 0;
    // Stores the value, replacing it whole. Throws COsException.
    virtual void Write(const std::string& name, const std::string& bytes) = 0;
};

// One file per value in a folder (default: ConfigDirectory(), that is
// $XDG_CONFIG_HOME/Brindlecote/Tallyhawk/), written atomically with mode
// 0600; the folder is created (mode 0700) on the first write.
class CFileSettingsStore : public ISettingsStore {
public:
    explicit CFileSettingsStore(std::string folder = {});
    std::optional<std::string> Read(const std::string& name) const override;
    void Write(const std::string& name, const std::string& bytes) override;
    const std::string& Folder() const { return folder; }

private:
    std::string folder;  // ends with '/'
};

inline constexpr const char* kSiteSettingsValue = "SiteSettings";
inline constexpr const char* kAppSettingsValue = "AppSettings";

// Reading: a missing value keeps the defaults silently; a short or damaged
// one leaves the fields read before the failure and the rest as they were.
// Returns whether a value was read completely. Without a stored default
// page, new pages compare their visible text.
bool LoadDefaultPage(const ISettingsStore& store, CWatchSite& page);
bool LoadAppSettings(const ISettingsStore& store, CAppSettings& settings);
// Writing throws COsException.
void SaveDefaultPage(ISettingsStore& store, CWatchSite& page);
void SaveAppSettings(ISettingsStore& store, CAppSettings& settings);

// The blob bytes of `record` (CWatchSite or CAppSettings).
template <class Record>
std::string MakeBlob(Record& record);

}  // namespace tallyhawk
