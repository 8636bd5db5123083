#include "engine/WatchSite.h"

#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/Archive.h"
#include "base/Exception.h"
#include "base/StringTable.h"
#include "diff/ChangeDetector.h"
#include "engine/LocalTime.h"
#include "engine/PageSink.h"
#include "engine/SiteServices.h"
#include "net/Downloader.h"
#include "net/InternetError.h"
#include "platform/Clock.h"
#include "platform/SoundPlayer.h"

namespace tallyhawk {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// A downloaded body as a version of the page: a page is a zero-terminated
// text, so anything after a zero byte is cut.
std::shared_ptr<const std::string> VersionOf(std::string body) {
    const std::size_t zero = body.find('\0');
    if (zero != std::string::npos) body.resize(zero);
    return std::make_shared<const std::string>(std::move(body));
}

// The weekday bits, Sunday first as tm_wday counts.
constexpr std::int32_t kWeekdayBits[7] = {Sunday, Monday, Tuesday, Wednesday,
                                          Thursday, Friday, Saturday};

// The local weekday of `now` is one of `days`.
bool IsDayIn(std::int32_t days, std::int64_t now) {
    return (days & kWeekdayBits[ToLocal(now).tm_wday % 7]) != 0;
}

}  // namespace

std::string StatusText(std::int32_t status) {
    // By status value; the table's own order puts Updating before Modified.
    static constexpr StringId kTexts[] = {IDS_STATUS_NEW,      IDS_STATUS_OUTDATED,
                                          IDS_STATUS_CURRENT,  IDS_STATUS_MODIFIED,
                                          IDS_STATUS_UPDATING, IDS_STATUS_DISABLED};
    if (status < New || status > Disabled) return {};
    return LoadString(kTexts[status]);
}

std::string LastUpdatedText(std::int64_t seconds) {
    if (seconds == 0) return LoadString(IDS_NEVER);
    std::tm local = ToLocal(seconds);
    char text[256];
    std::size_t length = std::strftime(text, sizeof text, "%c", &local);
    return std::string(text, length);
}

CWatchSite::CWatchSite(CSiteServices* services)
    : services(services ? *services : CSiteServices::Default()) {
    this->services.LookUpDefaultBrowser();
}

CWatchSite::CWatchSite(const CWatchSite& other) : CEventSource(), services(other.services) {
    Assign(other);
}

CWatchSite::~CWatchSite() { DeleteTempFiles(); }

void CWatchSite::Assign(const CWatchSite& other) {
    if (&other == this) return;
    // A fixed order (by address) so that two pages assigned into each other
    // on two threads cannot deadlock.
    std::recursive_mutex& first = this < &other ? lock : other.lock;
    std::recursive_mutex& second = this < &other ? other.lock : lock;
    Guard firstGuard(first);
    Guard secondGuard(second);
    DeleteTempFiles();
    tempFiles.clear();
    url = other.url;
    name = other.name;
    previousContent = other.previousContent;
    latestContent = other.latestContent;
    lastUpdated = other.lastUpdated;
    status = other.status;
    settings.Assign(other.settings);
    failures = other.failures;
    retryTime = other.retryTime;
    lastError = other.lastError;
    latestContentType = other.latestContentType;
    etag = other.etag;
    lastModified = other.lastModified;
    learnedNoise = other.learnedNoise;
    tempFiles.insert(tempFiles.end(), other.tempFiles.begin(), other.tempFiles.end());
}

std::string CWatchSite::GetUrl() const {
    Guard guard(lock);
    return url;
}

void CWatchSite::SetUrl(const std::string& value) {
    Guard guard(lock);
    url = value;
}

std::string CWatchSite::GetName() const {
    Guard guard(lock);
    return name;
}

void CWatchSite::SetName(const std::string& value) {
    Guard guard(lock);
    name = value;
}

std::int64_t CWatchSite::GetLastUpdated() const {
    Guard guard(lock);
    return lastUpdated;
}

void CWatchSite::SetLastUpdated(std::int64_t seconds) {
    Guard guard(lock);
    lastUpdated = seconds;
}

std::int32_t CWatchSite::GetStatus() const {
    Guard guard(lock);
    return status;
}

std::int32_t CWatchSite::GetFailures() const {
    Guard guard(lock);
    return failures;
}

CWatcherSettings CWatchSite::GetSettings() const {
    Guard guard(lock);
    return settings;
}

void CWatchSite::SetSettings(const CWatcherSettings& value) {
    Guard guard(lock);
    settings.Assign(value);
}

CWatchSite::CContent CWatchSite::EmptyContent() {
    static const CContent empty = std::make_shared<const std::string>();
    return empty;
}

std::string CWatchSite::GetPreviousContent() const {
    CContent content;
    {
        Guard guard(lock);
        content = previousContent;
    }
    return *content;
}

void CWatchSite::SetPreviousContent(const std::string& value) {
    // Copied before, and the replaced version freed after, the lock.
    CContent content = std::make_shared<const std::string>(value);
    Guard guard(lock);
    previousContent.swap(content);
}

std::string CWatchSite::GetLatestContentType() const {
    Guard guard(lock);
    return latestContentType;
}

void CWatchSite::SetLatestContentType(const std::string& value) {
    Guard guard(lock);
    latestContentType = value;
}

std::string CWatchSite::GetLatestContent() const {
    CContent content;
    {
        Guard guard(lock);
        content = latestContent;
    }
    return *content;
}

void CWatchSite::SetLatestContent(const std::string& value) {
    CContent content = std::make_shared<const std::string>(value);
    Guard guard(lock);
    latestContent.swap(content);
    etag.clear();
    lastModified.clear();
}

std::string CWatchSite::GetETag() const {
    Guard guard(lock);
    return etag;
}

std::string CWatchSite::GetLastModified() const {
    Guard guard(lock);
    return lastModified;
}

void CWatchSite::SetValidators(const std::string& entityTag, const std::string& modified) {
    Guard guard(lock);
    etag = entityTag;
    lastModified = modified;
}

std::vector<std::string> CWatchSite::GetTempFiles() const {
    Guard guard(lock);
    return tempFiles;
}

void CWatchSite::SetStatus(std::int32_t value) {
    {
        Guard guard(lock);
        status = value;
    }
    Announce(this);
}

bool CWatchSite::IsEnabled() const {
    Guard guard(lock);
    return status != Disabled;
}

bool CWatchSite::IsModified() const {
    Guard guard(lock);
    return status == Modified;
}

std::int64_t CWatchSite::GetRetryTime() const {
    Guard guard(lock);
    return retryTime;
}

std::string CWatchSite::GetLastError() const {
    Guard guard(lock);
    return lastError;
}

void CWatchSite::SetLastError(const std::string& value) {
    Guard guard(lock);
    lastError = value;
}

void CWatchSite::Enable(bool enable) {
    {
        Guard guard(lock);
        failures = 0;
        retryTime = 0;
    }
    if (!enable) {
        SetStatus(Disabled);
        return;
    }
    if (IsEnabled()) return;
    SetStatus(IsDue() ? Outdated : Current);
}

bool CWatchSite::IsDayEnabled() const {
    const std::int64_t now = services.Clock().Now();
    Guard guard(lock);
    return IsDayIn(settings.GetDays(), now);
}

bool CWatchSite::IsDue() const {
    // One reading of the clock for every test, so that they agree at midnight.
    const std::int64_t now = services.Clock().Now();
    Guard guard(lock);
    // 64-bit, so a page never checked (lastUpdated 0) cannot overflow. The
    // interval comes first: it is the cheap test (no local time), and the one
    // that rules out nearly every page on the watch thread's idle passes.
    std::int64_t elapsed = now - lastUpdated;
    if (settings.GetInterval() > elapsed) return false;
    if (now < retryTime) return false;
    if (!IsDayIn(settings.GetDays(), now)) return false;
    if (settings.GetAlwaysUpdate()) return true;
    return now >= settings.GetBeginTimeOn(now) && now <= settings.GetEndTimeOn(now);
}

void PrepareDownload(CDownloader& downloader, const CWatcherSettings& settings) {
    downloader.ClearCredentials();
    downloader.ClearValidators();
    downloader.SetAcceptCompressed(true);
    if (!settings.GetUserName().empty() || !settings.GetPassword().empty()) {
        downloader.SetCredentials(settings.GetUserName(), settings.GetPassword());
    }
}

bool CWatchSite::Check(CDownloader& downloader) {
    std::unique_ptr<CCheckTransfer> check = BeginCheck(downloader);
    if (!check) return false;
    for (;;) {
        bool succeeded = false;
        std::exception_ptr failure;
        try {
            succeeded = downloader.Download(check->target, &check->sink);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!EndCheck(downloader, *check, succeeded, failure)) return false;
        if (!check->confirm) break;
        // The pause before the confirming download ends at a cancel.
        const auto until = std::chrono::steady_clock::now() + services.ConfirmPause();
        while (!downloader.IsCanceled() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                std::chrono::milliseconds(20), until - std::chrono::steady_clock::now()));
        }
    }
    // The downloader's cancel mark is the stop signal of whoever runs the
    // check: it must end the sound as it ends the download.
    PlayNotificationSound([&downloader] { return downloader.IsCanceled(); });
    return true;
}

std::unique_ptr<CCheckTransfer> CWatchSite::BeginCheck(CDownloader& downloader) {
    if (!IsEnabled()) return nullptr;
    SetStatus(Updating);
    auto check = std::make_unique<CCheckTransfer>(downloader, MaximumPageSize());
    Guard guard(lock);
    PrepareDownload(downloader, settings);
    // Without a version to fall back on, "not modified" would leave the
    // page with nothing: ask for the page itself.
    if (!latestContent->empty() && (!etag.empty() || !lastModified.empty())) {
        downloader.SetValidators(etag, lastModified);
        check->validated = latestContent;
        check->sentETag = etag;
        check->sentLastModified = lastModified;
    }
    check->target = url;
    return check;
}

bool CWatchSite::EndCheck(CDownloader& downloader, CCheckTransfer& check, bool succeeded,
                          std::exception_ptr failure) {
    check.hint.UnsubscribeAll();
    if (check.confirming) return EndConfirmation(downloader, check, succeeded && !failure);
    check.confirm = false;
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const CException& error) {
            if (check.sink.OverLimit()) RecordFailure(error.Message());
            throw;
        }
    }
    if (succeeded) {
        // Not modified: the server still has the version the validators
        // came with, and the check goes on as if it had sent it again.
        const bool notModified =
            check.validated && downloader.GetHttpStatus() == kHttpNotModified;
        CContent content = notModified ? check.validated : VersionOf(check.sink.Take());
        bool firstBaseline = false;
        try {
            CheckWatchable(content, notModified ? GetLatestContentType() : downloader.GetContentType());
        } catch (const CException& error) {
            RecordFailure(error.Message());
            throw;
        }
        std::string newETag = downloader.GetETag();
        std::string newLastModified = downloader.GetLastModified();
        if (notModified) {
            // A 304 repeats the validators that still hold, or leaves them out.
            if (newETag.empty()) newETag = check.sentETag;
            if (newLastModified.empty()) newLastModified = check.sentLastModified;
        }
        {
            Guard guard(lock);
            latestContent.swap(content);
            if (!notModified) latestContentType = downloader.GetContentType();
            etag = std::move(newETag);
            lastModified = std::move(newLastModified);
            // A page that has no accepted version takes its first download as
            // that version; otherwise it could never report a change.
            firstBaseline = previousContent->empty();
            if (firstBaseline) previousContent = latestContent;
            lastUpdated = services.Clock().Now();
            failures = 0;
            retryTime = 0;
            lastError.clear();
        }
        // A change found in a new download of a page that learns its noise
        // is confirmed by a second download before it is reported.
        if (!notModified && !firstBaseline && LearnAtCheck(content)) {
            check.confirm = true;
            check.confirming = true;
            check.sink.Truncate();
            PrepareDownload(downloader, GetSettings());
            return true;
        }
        content.reset();  // the replaced version, freed without the lock
        SettleStatus(true);
        if (!notModified) ReportDownload(firstBaseline);
        return true;
    }
    if (downloader.IsCanceled()) {
        SetStatus(Outdated);
        return false;
    }
    // A server's error answer (404, 500, a refused password) is a failed
    // check too: the versions the page holds stay as they were.
    try {
        ThrowDownloadError(downloader);
    } catch (const CException& error) {
        RecordFailure(error.Message(), downloader.GetRetryAfter());
        throw;
    }
}

void CWatchSite::ReportDownload(bool firstBaseline) {
    IVersionObserver* observer = versionObserver.load();
    if (!observer) return;
    CContent version;
    std::string address;
    std::int64_t time;
    std::int32_t now;
    {
        Guard guard(lock);
        version = latestContent;
        address = url;
        time = lastUpdated;
        now = status;
    }
    observer->VersionDownloaded(address, time, now, version);
    if (firstBaseline) observer->VersionAccepted(address, time, std::move(version));
}

bool CWatchSite::LearnAtCheck(const CContent& before) {
    CSnapshot snapshot = Snapshot();
    if (!snapshot.settings.GetLearnNoise()) return false;
    if (!HasChanges(snapshot)) {
        // Nothing watched changed: no line changed at two checks in a row.
        if (!snapshot.noise->Empty()) {
            CLearnedNoise learned = *snapshot.noise;
            learned.ForgetCandidates();
            if (!(learned == *snapshot.noise)) StoreNoise(snapshot, std::move(learned));
        }
        return false;
    }
    if (before && !before->empty() && *before != *snapshot.latest) {
        const auto older = ComparedForm(snapshot, before);
        const auto newer = ComparedForm(snapshot, snapshot.latest);
        if (older && newer) {
            CLearnedNoise learned = *snapshot.noise;
            const bool added = learned.LearnFromCheck(*older, *newer);
            StoreNoise(snapshot, std::move(learned));
            if (added && !HasChanges(Snapshot())) return false;
        }
    }
    return true;
}

bool CWatchSite::EndConfirmation(CDownloader& downloader, CCheckTransfer& check, bool succeeded) {
    check.confirm = false;
    check.confirming = false;
    // Only a page is compared: an error answer or a cut download is not
    // the page again, and the first download's answer stands.
    if (succeeded && !downloader.IsCanceled() && downloader.GetHttpStatus() < 300) {
        const CContent again = VersionOf(check.sink.Take());
        const CSnapshot snapshot = Snapshot();
        if (snapshot.settings.GetLearnNoise()) {
            const auto first = ComparedForm(snapshot, snapshot.latest);
            const auto second = ComparedForm(snapshot, again);
            if (first && second) {
                CLearnedNoise learned = *snapshot.noise;
                if (learned.LearnFromRepeat(*first, *second)) StoreNoise(snapshot, std::move(learned));
            }
        }
    }
    SettleStatus(true);
    ReportDownload(false);
    return true;
}

void CWatchSite::StoreNoise(const CSnapshot& snapshot, CLearnedNoise learned) {
    auto stored = std::make_shared<const CLearnedNoise>(std::move(learned));
    Guard guard(lock);
    if (learnedNoise == snapshot.noise) learnedNoise = std::move(stored);
}

CLearnedNoise CWatchSite::GetLearnedNoise() const {
    Guard guard(lock);
    return *learnedNoise;
}

void CWatchSite::SetLearnedNoise(const CLearnedNoise& value) {
    auto stored = std::make_shared<const CLearnedNoise>(value);
    Guard guard(lock);
    learnedNoise = std::move(stored);
}

std::shared_ptr<const std::string> CWatchSite::ComparedForm(const CSnapshot& snapshot,
                                                            const CContent& version) const {
    const CWatchFilter filter = CWatchedVersions::FilterOf(snapshot.settings);
    if (filter.IsPlain()) return version;
    try {
        const auto compiled = watchedVersions->Compiled(filter);
        auto watched = watchedVersions->Watched(version, WatchedCharset(snapshot), compiled);
        if (!watched->regionMatched) return nullptr;
        // The document lives as long as its watched version.
        return std::shared_ptr<const std::string>(watched, &watched->document);
    } catch (const CException&) {
        return nullptr;
    }
}

std::shared_ptr<const std::string> CWatchSite::Masked(
    const CSnapshot& snapshot, const std::shared_ptr<const std::string>& form) const {
    {
        std::lock_guard<std::mutex> guard(maskedLock);
        for (const CMaskedForm& entry : maskedForms) {
            if (entry.form == form && entry.noise == snapshot.noise) return entry.masked;
        }
    }
    auto masked = std::make_shared<const std::string>(snapshot.noise->Mask(*form));
    std::lock_guard<std::mutex> guard(maskedLock);
    maskedForms[maskedNext] = {form, snapshot.noise, masked};
    maskedNext = (maskedNext + 1) % 2;
    return masked;
}

void CWatchSite::RecordFailure(const std::string& message, std::int64_t retryAfter) {
    const std::int64_t now = services.Clock().Now();
    bool disable;
    {
        Guard guard(lock);
        ++failures;
        lastError = message;
        std::int32_t retries = settings.GetRetryCount();
        disable = retries != 0 && retries < failures;
        // 1, 2, 4, 8 ... minutes, but never longer than the interval, so that
        // a page checked every five minutes is still tried every five minutes.
        const int doublings = std::clamp(failures - 1, 0, 20);
        std::int64_t pause = kFirstRetryPause << doublings;
        pause = std::min<std::int64_t>(pause, std::max<std::int32_t>(settings.GetInterval(), 0));
        if (retryAfter > pause) pause = std::min(retryAfter, kLongestRetryAfter);
        retryTime = now + pause;
    }
    SetStatus(disable ? Disabled : Outdated);
}

CWatchSite::CSnapshot CWatchSite::Snapshot() const {
    Guard guard(lock);
    return {previousContent, latestContent, settings, ChangeContextLocked(), latestContentType,
            learnedNoise};
}

bool CWatchSite::HasChanges() const { return HasChanges(Snapshot()); }

bool CWatchSite::HasChanges(const CSnapshot& snapshot) const {
    std::int32_t mode = snapshot.settings.GetOutputMode();
    if (mode < AdditionsAsText || mode > HighlightedHtml) return false;
    CChangeDetector detector;
    detector.SetOutputs(0);  // the flags alone answer
    return CChangeDetector::HasChanges(CompareVersions(detector, snapshot),
                                       static_cast<OutputMode>(mode));
}

std::uint32_t CWatchSite::CompareVersions(CChangeDetector& detector,
                                          const CSnapshot& snapshot) const {
    // An empty baseline compares as "no change" in every mode, and so does
    // a version with itself (just accepted) or with the same bytes (an
    // unchanged page downloaded again), without reading it further.
    if (snapshot.previous->empty() || snapshot.previous == snapshot.latest ||
        *snapshot.previous == *snapshot.latest)
        return NoChange;
    detector.SetIgnoreFirst(snapshot.settings.GetIgnoreBeginning());
    detector.SetIgnoreLast(snapshot.settings.GetIgnoreEnding());
    const CWatchFilter filter = CWatchedVersions::FilterOf(snapshot.settings);
    if (snapshot.settings.GetLearnNoise()) {
        // The forms compared, each with the noise taken out.
        const auto previous = ComparedForm(snapshot, snapshot.previous);
        const auto latest = ComparedForm(snapshot, snapshot.latest);
        if (!previous || !latest) return NoChange;  // the page's check reports why
        return Compare(detector, *Masked(snapshot, previous), *Masked(snapshot, latest));
    }
    if (filter.IsPlain()) return Compare(detector, *snapshot.previous, *snapshot.latest);
    std::shared_ptr<const CCompiledFilter> compiled;
    try {
        compiled = watchedVersions->Compiled(filter);
    } catch (const CException&) {
        return NoChange;  // the page's check reports the settings
    }
    const std::string charset = WatchedCharset(snapshot);
    const auto latest = watchedVersions->Watched(snapshot.latest, charset, compiled);
    // Never "everything was removed": the check has failed with the reason.
    if (!latest->regionMatched) return NoChange;
    const auto previous = watchedVersions->Watched(snapshot.previous, charset, compiled);
    return Compare(detector, previous->document, latest->document);
}

std::string CWatchSite::WatchedCharset(const CSnapshot& snapshot) {
    return CharsetFromContentType(snapshot.latestContentType);
}

void CWatchSite::CheckWatchable(const CContent& content, const std::string& contentType) const {
    const CWatchFilter filter = CWatchedVersions::FilterOf(GetSettings());
    if (filter.IsPlain()) return;
    std::shared_ptr<const CCompiledFilter> compiled = watchedVersions->Compiled(filter);
    const auto watched =
        watchedVersions->Watched(content, CharsetFromContentType(contentType), compiled);
    if (!watched->regionMatched) {
        throw CGenericException(RegionMatchedNothing(filter.region));
    }
}

std::uint32_t CWatchSite::Compare(CChangeDetector& detector, std::string_view previous,
                                  std::string_view latest) const {
    return detector.Compare(previous, latest);
}

void CWatchSite::SettleStatus(bool keepDisabled) {
    for (;;) {
        const CSnapshot snapshot = Snapshot();
        const bool changed = HasChanges(snapshot);
        {
            Guard guard(lock);
            // Replaced while the comparison ran: the answer is about versions
            // the page no longer holds, and the status must be that of the
            // ones it holds. Each round compares newer versions, so this
            // ends once the page is left alone for one comparison.
            if (previousContent != snapshot.previous || latestContent != snapshot.latest) continue;
            // The user disabled the page while it was checked: it stays so.
            if (keepDisabled && status == Disabled) return;
            status = changed ? Modified : Current;
        }
        Announce(this);
        return;
    }
}

void CWatchSite::AcceptChanges() {
    CContent latest;
    {
        Guard guard(lock);
        latest = latestContent;
    }
    AcceptVersion(std::move(latest));
}

void CWatchSite::AcceptVersion(CContent shown) {
    std::string address;
    {
        Guard guard(lock);
        previousContent = shown;
        address = url;
    }
    // Current at once when the accepted version is still the latest one.
    SettleStatus(false);
    if (IVersionObserver* observer = versionObserver.load(); observer && !shown->empty()) {
        observer->VersionAccepted(address, services.Clock().Now(), std::move(shown));
    }
}

void CWatchSite::SetVersionObserver(IVersionObserver* observer) { versionObserver.store(observer); }

void CWatchSite::AcceptOlderVersion(const std::string& version) {
    AcceptVersion(std::make_shared<const std::string>(version));
}

void CWatchSite::PlayNotificationSound(const std::function<bool()>& stopped) {
    std::string file;
    {
        Guard guard(lock);
        if ((settings.GetNotifyFlags() & NotifyPlaySound) == 0 || !IsModified()) return;
        file = settings.GetSoundFile();
    }
    services.SoundPlayer().Play(file, stopped);
}

void CWatchSite::KeepTempFiles() {
    Guard guard(lock);
    tempFiles.clear();
}

void CWatchSite::DeleteTempFiles() {
    Guard guard(lock);
    for (std::size_t i = tempFiles.size(); i-- > 0;) {
        if (unlink(tempFiles[i].c_str()) == 0 || errno == ENOENT) {
            tempFiles.erase(tempFiles.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void CWatchSite::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        // The record is taken at one moment and written without the lock:
        // writing two large versions to a file takes a while.
        CWatcherSettings storedSettings;
        CContent previous, latest;
        std::string storedUrl, storedName;
        std::int64_t storedLastUpdated;
        std::int32_t storedStatus, storedFailures;
        std::string storedETag, storedLastModified;
        std::shared_ptr<const CLearnedNoise> storedNoise;
        {
            Guard guard(lock);
            storedSettings = settings;
            previous = previousContent;
            latest = latestContent;
            storedUrl = url;
            storedName = name;
            storedLastUpdated = lastUpdated;
            storedStatus = status;
            storedFailures = failures;
            storedETag = etag;
            storedLastModified = lastModified;
            storedNoise = learnedNoise;
        }
        // Only a page that has validators needs the newer record; every
        // other page stays readable by releases that know version 4 alone.
        const bool withNoise = !storedNoise->Empty();
        const bool withValidators = withNoise || !storedETag.empty() || !storedLastModified.empty();
        storedSettings.Serialize(archive);
        archive.WriteWord(withNoise ? kVersionWithNoise : withValidators ? kVersionWithValidators : kVersion);
        archive.WriteString(storedUrl);
        archive.WriteString(*previous);
        archive.WriteString(*latest);
        archive.WriteTime(storedLastUpdated);
        archive.WriteByte(static_cast<std::uint8_t>(storedStatus));
        archive.WriteString(storedName);
        archive.WriteLong(storedFailures);
        if (withValidators) {
            archive.WriteString(storedETag);
            archive.WriteString(storedLastModified);
        }
        if (withNoise) archive.WriteString(storedNoise->Save());
        return;
    }
    Guard guard(lock);
    settings.Serialize(archive);
    std::uint16_t version = archive.ReadWord();
    url = archive.ReadString();
    previousContent = std::make_shared<const std::string>(archive.ReadString());
    latestContent = std::make_shared<const std::string>(archive.ReadString());
    lastUpdated = archive.ReadTime();
    if (version == 1) archive.ReadByte();
    status = archive.ReadByte();
    if (version >= 3) name = archive.ReadString();
    if (version >= 4) failures = archive.ReadLong();
    // The validators belong to the latestContent just read: a record
    // without them leaves none.
    etag.clear();
    lastModified.clear();
    if (version >= kVersionWithValidators) {
        etag = archive.ReadString();
        lastModified = archive.ReadString();
    }
    learnedNoise = std::make_shared<const CLearnedNoise>(
        version >= kVersionWithNoise ? CLearnedNoise::Load(archive.ReadString()) : CLearnedNoise());
}

}  // namespace tallyhawk
