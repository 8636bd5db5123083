// CWatchSite: one watched web page and its check cycle.
//
// A page holds its address and name, the text the user last accepted
// (previousContent, the baseline of every comparison), the text of the last
// successful download (latestContent), the time of that download, its status,
// its count of consecutive failures, its CWatcherSettings and the change files
// it wrote. Pages are used at once by the user-interface thread, the watch
// thread and the Update Page worker, so every operation takes the page's own
// re-entrant lock; getters return copies. The lock is never held during a
// download or a comparison, and it is released before the page announces.
//
// The two versions are immutable buffers shared by pointer: a comparison
// takes both under the lock (no text is copied) and compares them without
// it, so a window reading the page never waits for a comparison, however
// large the page. A comparison's answer is applied only to the versions it
// was computed for: when either version was replaced meanwhile (the user
// accepted, another check stored a newer download), the versions now held
// are compared again before the status is set.
//
// Announcements (CEventSource) carry a pointer to the page itself, one for
// every status change (SetStatus), on the thread that made the change.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/EventSource.h"
#include "diff/ChangeDocument.h"
#include "engine/LearnedNoise.h"
#include "engine/WatchedVersions.h"
#include "engine/WatcherSettings.h"

namespace tallyhawk {

class CArchive;
class CChangeDetector;
class CDownloader;
struct CCheckTransfer;
class CSiteServices;

enum SiteStatus : std::int32_t {
    New = 0,       // never checked since it was created
    Outdated = 1,  // the last attempt failed or was canceled, or re-enabled while due
    Current = 2,   // no change found, or the changes were accepted
    Modified = 3,  // changes found that the user has not viewed
    Updating = 4,  // a check is running
    Disabled = 5,  // not checked
};

// The text shown for a status ("New", "Outdated", "Current", "Modified",
// "Updating", "Disabled"), from the string table; empty for a value that is
// no status (a damaged record keeps its status byte as stored).
std::string StatusText(std::int32_t status);

// A page's last-updated time as shown: "Never" for 0, otherwise the local
// date and time in the locale's own form ("%c").
std::string LastUpdatedText(std::int64_t seconds);

// Makes `downloader` ready for a download of a page with `settings`: the
// page's user name and password (none without them), compressed answers
// taken, no validators of an earlier page.
void PrepareDownload(CDownloader& downloader, const CWatcherSettings& settings);

// The largest page body a check accepts: a bigger one is a failed download,
// so that a broken or hostile server cannot exhaust memory.
inline constexpr std::size_t kMaximumPageSize = std::size_t{256} << 20;

// Told of each version a page takes: every new download (a "not modified"
// answer is none) and every acceptance; the history keeps them. Called on
// the thread that causes it (often the watch thread), without the page's
// lock, so it must be quick: queue the work.
class IVersionObserver {
public:
    virtual ~IVersionObserver() = default;
    virtual void VersionDownloaded(const std::string& url, std::int64_t time, std::int32_t status,
                                   std::shared_ptr<const std::string> version) = 0;
    virtual void VersionAccepted(const std::string& url, std::int64_t time,
                                 std::shared_ptr<const std::string> version) = 0;
};

class CWatchSite : public CEventSource {
public:
    // The page record's version word: 4, 5 for a page that keeps
    // validators, 6 for one that has learned its noise (see Serialize).
    static constexpr std::uint16_t kVersion = 4;
    static constexpr std::uint16_t kVersionWithValidators = 5;
    static constexpr std::uint16_t kVersionWithNoise = 6;

    // A new page (status New, default settings). Runs the default-browser
    // lookup when the default browser is still unknown. `services` (null: the
    // default ones) must outlive the page.
    explicit CWatchSite(CSiteServices* services = nullptr);
    // An empty page with the other's services, then Assign; no lookup and no
    // subscriptions are copied.
    CWatchSite(const CWatchSite& other);
    CWatchSite& operator=(const CWatchSite&) = delete;
    // Deletes the change files, then the subscriptions end.
    ~CWatchSite() override;

    // Deletes this page's change files, then copies every field of `other`
    // (read under its lock too; the two locks are taken in address order; the
    // versions are shared, not copied) and appends the other's change files
    // to this page's list. Announces nothing.
    void Assign(const CWatchSite& other);

    std::string GetUrl() const;
    void SetUrl(const std::string& value);
    std::string GetName() const;
    void SetName(const std::string& value);
    std::int64_t GetLastUpdated() const;  // seconds since 1970; 0: never
    void SetLastUpdated(std::int64_t seconds);
    std::int32_t GetStatus() const;
    std::int32_t GetFailures() const;
    CWatcherSettings GetSettings() const;
    void SetSettings(const CWatcherSettings& value);
    // The versions' getters and setters copy the text outside the lock.
    std::string GetPreviousContent() const;
    void SetPreviousContent(const std::string& value);
    std::string GetLatestContent() const;
    // Forgets the validators too: they vouch for the version they came with.
    void SetLatestContent(const std::string& value);
    // The validators of latestContent: the ETag and Last-Modified values the
    // server sent with it, as sent; empty when it sent none. The next check
    // sends them back, so that a server that still has that version can
    // answer 304 Not Modified instead of sending it again. Stored with the
    // page.
    std::string GetETag() const;
    std::string GetLastModified() const;
    void SetValidators(const std::string& etag, const std::string& lastModified);
    // The Content-Type header value of the download that gave latestContent,
    // as the server sent it; empty when unknown (a page loaded from a
    // document). Kept in memory only, never stored; the change viewer takes
    // the page's character set from it.
    std::string GetLatestContentType() const;
    void SetLatestContentType(const std::string& value);
    std::vector<std::string> GetTempFiles() const;
    CSiteServices& GetServices() const { return services; }
    // What the page has learned changes on its own (used while its
    // settings say to learn). Stored with the page. Forgetting it starts
    // the learning again; the status follows at the next comparison.
    CLearnedNoise GetLearnedNoise() const;
    void SetLearnedNoise(const CLearnedNoise& value);

    // Stores the status, then announces it (without the lock).
    void SetStatus(std::int32_t value);
    bool IsEnabled() const;   // status is not Disabled
    bool IsModified() const;  // status is Modified
    // Puts the failure count to 0. Enabling an enabled page changes nothing
    // else; enabling a disabled one makes it Outdated when a check is due,
    // else Current. Disabling always announces Disabled, even again.
    void Enable(bool enable);

    // Today (by the services' clock, in local time) is one of the settings' days.
    bool IsDayEnabled() const;
    // A check is due now: an enabled day, at least `interval` seconds since
    // the last successful download, and (unless always) inside today's window,
    // both bounds included; a window whose begin is after its end is never due.
    // After a failure the page also waits out its retry pause.
    bool IsDue() const;

    // After a failed check the page waits before it is tried again: 1 minute
    // after the first failure, then 2, 4, 8 and so on, never longer than the
    // page's interval, or as long as the server asked (Retry-After) when
    // that is longer. The pause is kept in memory only.
    static constexpr std::int64_t kFirstRetryPause = 60;
    static constexpr std::int64_t kLongestRetryAfter = 24 * 60 * 60;
    // When the page may be tried again (seconds since 1970); 0: at once.
    std::int64_t GetRetryTime() const;
    // The message of the last failed check, for the page's owner to show
    // (why a page was disabled); empty after a success. Not stored.
    std::string GetLastError() const;
    void SetLastError(const std::string& value);

    // One check, on a worker thread. Returns false when the page is disabled
    // (nothing happens) or the download was canceled (status Outdated).
    // Otherwise downloads the page into memory, accepting a compressed
    // transfer (the size limit applies to the decoded body), keeps it (cut
    // at its first zero byte) as latestContent with the validators the
    // server sent, compares it without the lock, sets
    // Modified or Current for the versions it compared (see above), plays
    // the sound (cut off when the downloader is canceled meanwhile) and returns true. A failed download, or a body over kMaximumPageSize,
    // counts a failure, leaves the page Outdated, or Disabled once failures
    // exceed a non-zero retry count, starts the retry pause, and throws CGenericException or
    // COsException with the error's message (IDS_PAGE_TOO_LARGE for a body
    // over the limit). A final HTTP status of 400 or more is such a failure:
    // the versions the page holds stay as they were. The first successful
    // download of a page that has no accepted version yet becomes that
    // version (Current), so that the next check can report a change.
    // A page that holds a latest version and its validators asks for the
    // page only if it changed: a 304 Not Modified answer is a success that
    // keeps that version, as if the server had sent it again (lastUpdated
    // moves on, failures and the retry pause end, the status follows the
    // comparison, the sound plays for a Modified page).
    // A page that learns its noise and finds a change downloads itself once
    // more after the services' confirmation pause, learns from what
    // differs between the two downloads, and only then settles its status;
    // the page keeps the first download, and when the second fails, the
    // first download's answer stands.
    bool Check(CDownloader& downloader);
    // The phases of Check, for a thread that downloads several pages at
    // once, each through a downloader of its own. BeginCheck (null: the page
    // is disabled, nothing happens) sets Updating and readies `downloader`;
    // the caller downloads the transfer's target into its sink. EndCheck
    // takes what the download ended with (Download's answer, or the
    // exception it threw) and does what Check does after its download,
    // except the sound, with the same answer and the same exceptions.
    // When EndCheck leaves `check.confirm` set, the page is still Updating:
    // the caller waits the confirmation pause, downloads the transfer's
    // target again into its sink and calls EndCheck once more (also when
    // it was canceled meanwhile: the page then settles on the first).
    std::unique_ptr<CCheckTransfer> BeginCheck(CDownloader& downloader);
    bool EndCheck(CDownloader& downloader, CCheckTransfer& check, bool succeeded,
                  std::exception_ptr failure);
    // Whether previousContent and latestContent, as they stand when it is
    // called, differ in the way the output mode shows; never when
    // previousContent is empty. Compares without the lock.
    bool HasChanges() const;
    // latestContent becomes the baseline; status Current (or, when a check
    // stored a newer version at that moment, the status of that one).
    void AcceptChanges();
    // Plays the sound file (synchronously) when the sound is switched on and
    // the page is Modified. The sound is cut off as soon as `stopped` (when
    // given) answers true; Check passes its downloader's cancel mark, so a
    // stop or cancel ends a check that is playing its sound at once.
    void PlayNotificationSound(const std::function<bool()>& stopped = {});
    // Deletes the change files, newest first; a file that cannot be deleted
    // stays listed for the next call. A file already gone counts as deleted.
    void DeleteTempFiles();
    // Forgets the change files without deleting them, for a front end that
    // ends while a browser or viewer may still be reading them.
    void KeepTempFiles();

    // The output that the page's mode selects, with its colours and changes
    // to ignore, when that output has changes to show; nothing otherwise
    // (no baseline yet, no changes, or an unknown mode). `fileType` receives
    // "txt" or "html". The HTML outputs are what the change file holds: the
    // highlighted page with the page's base and character set (from
    // GetLatestContentType), the added or deleted lines as a document that
    // names the page, links its address and gives the time of the change.
    std::optional<std::string> ChangeOutput(std::string* fileType = nullptr) const;
    // The changes for a reader rather than a browser: the text added and the
    // text deleted, as the text outputs compose them (with the changes to
    // ignore left out, CR LF line ends), each only where the output mode
    // shows it (the additions for the added modes, the deletions for the
    // deleted ones, both for the highlighted page). Present exactly when
    // ChangeOutput is, though both texts may be empty when only markup
    // changed.
    struct CChangedText {
        std::string added;
        std::string deleted;
    };
    std::optional<CChangedText> ChangedText() const;

    // Versions from the page's history. OutputBetween: the output `mode`
    // (an OutputModeValue) of the changes from `older` to `newer`, read with
    // the page's settings of what to watch, colours and changes to ignore,
    // as ChangeOutput makes it for the page's own versions; nothing when
    // that output has no changes. ShowVersion: writes `version` to a new
    // ".html" file with the page's address as its base, so that it shows as
    // the page did, and opens it in the default browser. Throws CException.
    std::optional<std::string> OutputBetween(const std::string& older, const std::string& newer,
                                             std::int32_t mode, std::string* fileType = nullptr) const;
    void ShowVersion(const std::string& version);
    // Makes `version` the accepted one (Current or Modified against the
    // latest version, as viewing changes does).
    void AcceptOlderVersion(const std::string& version);
    // Where the page reports its versions; null for nowhere. Not copied by
    // Assign: the page list sets it for the pages it holds.
    void SetVersionObserver(IVersionObserver* observer);

    // The change viewer (user-interface thread). Writes the output that the
    // page's mode selects to new files in the private temporary folder and
    // opens it in the default browser and/or the viewer program, as the
    // notification flags say. Writes and starts nothing when there is nothing
    // to show. Throws CException on failure (the page is left as it was).
    // Compares without the lock.
    void ShowChanges();
    // ShowChanges, then accepts the very version whose changes it showed: a
    // newer one that a check stored meanwhile is not accepted unseen; it
    // stays the latest version, compared with the new baseline for the
    // status. Throws as ShowChanges, accepting nothing.
    void ShowAndAcceptChanges();
    // Opens `target` (a URL or a "file://" URL) in the default browser,
    // falling back to the desktop's "open" when that fails. The overload
    // without a target opens the page's address. Throws COsException, or
    // CGenericException for a target that begins with '-'.
    void OpenInBrowser();
    void OpenInBrowser(const std::string& target);
    // Starts `program` with one argument, both trimmed of white space;
    // "notepad.exe" (any letter case) is the desktop's text viewer. Throws
    // COsException with the errno (2: not found).
    void RunProgram(const std::string& program, const std::string& argument);
    // A new, empty, exclusively created file in the private temporary folder.
    // Throws COsException or CGenericException.
    std::string MakeTempFileName(const std::string& extension);

    // Record layout (little-endian; encodings as in base/Archive.h):
    //   the CWatcherSettings record, inline
    //   WORD   version, written as 4, or as 5 when the page has a validator
    //   STRING url
    //   STRING previousContent
    //   STRING latestContent
    //   TIME   lastUpdated
    //   BYTE   (version 1 only: one byte of no use, skipped)
    //   BYTE   status, taken as stored
    //   STRING name          (version >= 3)
    //   DWORD  failures      (version >= 4)
    //   STRING etag          (version >= 5)
    //   STRING lastModified  (version >= 5)
    //   STRING learned noise (version >= 6; CLearnedNoise::Save's form)
    // A page without validators is written as version 4, byte for byte as
    // before they existed, so that older releases still read it; one
    // without learned noise as 4 or 5.
    // Storing takes the record at one moment under the lock and writes it
    // without the lock. Fields an older record lacks keep their values, but
    // for the validators: they belong to the latestContent read with them,
    // so a record without them leaves none.
    // Loading announces nothing and leaves the change files alone. Throws
    // CArchiveException when the stream ends inside the record.
    virtual void Serialize(CArchive& archive);

protected:
    // The body size Check accepts: kMaximumPageSize. Tests lower it.
    virtual std::size_t MaximumPageSize() const { return kMaximumPageSize; }
    // Every comparison of the two versions goes through here, on the
    // caller's thread and without the page's lock. Tests act from it while
    // a comparison runs.
    virtual std::uint32_t Compare(CChangeDetector& detector, std::string_view previous,
                                  std::string_view latest) const;

private:
    // A version of the page: never null, never changed once shared.
    using CContent = std::shared_ptr<const std::string>;
    // What a comparison reads of the page, taken at one moment under the
    // lock; the versions are shared, so taking it copies no page text.
    struct CSnapshot {
        CContent previous;
        CContent latest;
        CWatcherSettings settings;
        CChangeContext context;
        std::string latestContentType;
        std::shared_ptr<const CLearnedNoise> noise;  // never null
    };
    static CContent EmptyContent();
    CSnapshot Snapshot() const;
    // Compares the versions held now (without the lock) and sets Modified or
    // Current, provided they are still held when the answer is there;
    // otherwise compares again. Announces the status. With `keepDisabled`
    // (a check's end) a page the user disabled meanwhile stays Disabled.
    void SettleStatus(bool keepDisabled);
    // `shown` becomes the baseline, then SettleStatus.
    void AcceptVersion(CContent shown);
    void ShowChanges(const CSnapshot& snapshot);
    // ChangeOutput for a snapshot.
    std::optional<std::string> ChangeOutput(const CSnapshot& snapshot, std::string* fileType) const;

    // Counts a real failure with its message, starts the retry pause
    // (`retryAfter`: the server's wish in seconds, -1 for none) and sets
    // Outdated or Disabled.
    void RecordFailure(const std::string& message, std::int64_t retryAfter = -1);
    // The HasChanges answer for a snapshot.
    bool HasChanges(const CSnapshot& snapshot) const;
    // Compares the snapshot's versions through `detector` with its ignore
    // settings; NoChange, without comparing, when the baseline is empty or
    // both are the same buffer. Returns the comparison flags.
    // A page that watches part of itself compares the watched forms of its
    // versions; NoChange when its settings cannot be used or the latest
    // version lacks its region (its check has said so).
    std::uint32_t CompareVersions(CChangeDetector& detector, const CSnapshot& snapshot) const;
    // The latest download's charset, with which both versions are read.
    static std::string WatchedCharset(const CSnapshot& snapshot);
    // What a comparison of the snapshot reads of `version` before the noise
    // is taken out: the version itself, or its watched document. Null when
    // the settings cannot be used or the region matched nothing.
    std::shared_ptr<const std::string> ComparedForm(const CSnapshot& snapshot,
                                                    const CContent& version) const;
    // `form` with the snapshot's noise taken out; the last two are kept.
    std::shared_ptr<const std::string> Masked(const CSnapshot& snapshot,
                                              const std::shared_ptr<const std::string>& form) const;
    // For a page that learns its noise, after a download `before` was
    // replaced by a new one: whether the versions held still differ once
    // what the check teaches is learned (a confirming download is then due).
    bool LearnAtCheck(const CContent& before);
    // The second download of a check that found a change.
    bool EndConfirmation(CDownloader& downloader, CCheckTransfer& check, bool succeeded);
    // Stores what was learned from `snapshot`'s noise, unless it was
    // replaced meanwhile (reset by the user: that wins).
    void StoreNoise(const CSnapshot& snapshot, CLearnedNoise learned);
    // Tells the version observer of the latest download.
    void ReportDownload(bool firstBaseline);
    // Throws the failure of a check whose download cannot be watched: the
    // settings cannot be used, or the region matched nothing.
    void CheckWatchable(const CContent& content, const std::string& contentType) const;
    // What the change files say about the page. The lock must be held.
    CChangeContext ChangeContextLocked() const;

    CSiteServices& services;
    mutable std::recursive_mutex lock;
    std::string url;                     // guarded by lock
    std::string name;                    // guarded by lock
    CContent previousContent = EmptyContent();  // guarded by lock (the pointer)
    CContent latestContent = EmptyContent();    // guarded by lock (the pointer)
    std::int64_t lastUpdated = 0;        // guarded by lock
    CWatcherSettings settings;           // guarded by lock
    std::vector<std::string> tempFiles;  // guarded by lock; not stored
    std::int32_t status = New;           // guarded by lock; a SiteStatus
    std::int32_t failures = 0;           // guarded by lock
    std::int64_t retryTime = 0;          // guarded by lock; not stored
    std::string lastError;               // guarded by lock; not stored
    std::string latestContentType;       // guarded by lock; not stored
    std::string etag;                    // guarded by lock; validators of latestContent
    std::string lastModified;            // guarded by lock
    std::atomic<IVersionObserver*> versionObserver{nullptr};
    // guarded by lock (the pointer); never null
    std::shared_ptr<const CLearnedNoise> learnedNoise = std::make_shared<const CLearnedNoise>();
    // The forms last masked: what, with which noise, and the result.
    struct CMaskedForm {
        std::shared_ptr<const std::string> form;
        std::shared_ptr<const CLearnedNoise> noise;
        std::shared_ptr<const std::string> masked;
    };
    mutable std::mutex maskedLock;
    mutable CMaskedForm maskedForms[2];  // guarded by maskedLock
    mutable unsigned maskedNext = 0;     // guarded by maskedLock
    // The watched forms of the versions; not copied by Assign, not stored.
    const std::unique_ptr<CWatchedVersions> watchedVersions = std::make_unique<CWatchedVersions>();
};

}  // namespace tallyhawk
