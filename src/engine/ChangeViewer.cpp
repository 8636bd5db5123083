// CWatchSite's change viewer: writing the change files and showing them.
#include <string>

#include "diff/ChangeDetector.h"
#include "engine/BrowserLauncher.h"
#include "engine/SiteServices.h"
#include "engine/WatchSite.h"
#include "net/Downloader.h"
#include "platform/TempDirectory.h"

namespace tallyhawk {

namespace {

struct CModeOutput {
    const char* fileType;
    OutputMode output;
};

// File type and detector output of each output mode (indexed by mode).
constexpr CModeOutput kModeOutputs[] = {
    {"txt", OutputMode::AddedText},   {"html", OutputMode::AddedHtml},
    {"txt", OutputMode::DeletedText}, {"html", OutputMode::DeletedHtml},
    {"html", OutputMode::HighlightedHtml},
};

}  // namespace

CChangeContext CWatchSite::ChangeContextLocked() const {
    CChangeContext context;
    if (!url.empty()) context.url = CDownloader::NormalizeUrl(url);
    context.name = name;
    context.charset = CharsetFromContentType(latestContentType);
    if (lastUpdated != 0) context.changedAt = LastUpdatedText(lastUpdated);
    return context;
}

std::optional<std::string> CWatchSite::ChangeOutput(std::string* fileType) const {
    return ChangeOutput(Snapshot(), fileType);
}

std::optional<std::string> CWatchSite::ChangeOutput(const CSnapshot& snapshot,
                                                    std::string* fileType) const {
    const CWatcherSettings& settings = snapshot.settings;
    std::int32_t mode = settings.GetOutputMode();
    if (mode < AdditionsAsText || mode > HighlightedHtml) return std::nullopt;
    const CModeOutput& choice = kModeOutputs[mode];
    CChangeDetector detector;
    detector.SetColors(settings.GetHighlightColor(), settings.GetSecondHighlightColor());
    detector.SetOutputs(CChangeDetector::OutputBit(choice.output));
    const CWatchFilter filter = CWatchedVersions::FilterOf(settings);
    CChangeContext context = snapshot.context;
    // The watched forms are UTF-8, whatever the page's own character set.
    if (!filter.IsPlain()) context.charset = "utf-8";
    detector.SetContext(context);
    std::uint32_t flags = CompareVersions(detector, snapshot);  // an empty baseline shows nothing
    if (!CChangeDetector::HasChanges(flags, choice.output)) return std::nullopt;
    if (fileType) *fileType = choice.fileType;
    const bool text = choice.output == OutputMode::AddedText || choice.output == OutputMode::DeletedText;
    if (text && filter.compare == CompareWhat::Text) {
        return UnescapeWatchedText(detector.Output(choice.output));
    }
    return detector.Output(choice.output);
}

std::optional<CWatchSite::CChangedText> CWatchSite::ChangedText() const {
    const CSnapshot snapshot = Snapshot();
    std::int32_t mode = snapshot.settings.GetOutputMode();
    if (mode < AdditionsAsText || mode > HighlightedHtml) return std::nullopt;
    const bool added = mode != DeletionsAsText && mode != DeletionsAsHtml;
    const bool deleted = mode != AdditionsAsText && mode != AdditionsAsHtml;
    CChangeDetector detector;
    detector.SetOutputs((added ? CChangeDetector::OutputBit(OutputMode::AddedText) : 0) |
                        (deleted ? CChangeDetector::OutputBit(OutputMode::DeletedText) : 0));
    const std::uint32_t flags = CompareVersions(detector, snapshot);
    if (!CChangeDetector::HasChanges(flags, kModeOutputs[mode].output)) return std::nullopt;
    if (snapshot.settings.GetCompareWhat() == CWatcherSettings::CompareText) {
        return CChangedText{UnescapeWatchedText(detector.AddedText()),
                            UnescapeWatchedText(detector.DeletedText())};
    }
    return CChangedText{detector.AddedText(), detector.DeletedText()};
}

std::optional<std::string> CWatchSite::OutputBetween(const std::string& older,
                                                     const std::string& newer, std::int32_t mode,
                                                     std::string* fileType) const {
    CSnapshot snapshot = Snapshot();
    snapshot.previous = std::make_shared<const std::string>(older);
    snapshot.latest = std::make_shared<const std::string>(newer);
    snapshot.settings.SetOutputMode(mode);
    snapshot.context.changedAt.clear();  // the time of the page's own latest change
    return ChangeOutput(snapshot, fileType);
}

void CWatchSite::ShowVersion(const std::string& version) {
    CChangeContext context;
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        context = ChangeContextLocked();
    }
    // The page's own address as its base, so that its pictures and links
    // work as they did; its own character set, when the download said one.
    const CPageHead head = ScanPageHead(version);
    std::string shown = version.substr(0, head.insertAt);
    shown += HeadBlock(head, context);
    shown.append(version, head.insertAt, std::string::npos);
    const std::string path = MakeTempFileName("html");
    {
        std::lock_guard<std::recursive_mutex> guard(lock);
        tempFiles.push_back(path);
    }
    CChangeDetector::SaveOutput(shown, path);
    OpenInBrowser("file://" + path);
}

void CWatchSite::ShowChanges() { ShowChanges(Snapshot()); }

void CWatchSite::ShowAndAcceptChanges() {
    CSnapshot shown = Snapshot();
    ShowChanges(shown);
    AcceptVersion(std::move(shown.latest));
}

void CWatchSite::ShowChanges(const CSnapshot& snapshot) {
    DeleteTempFiles();
    std::uint32_t notify = snapshot.settings.GetNotifyFlags();
    bool toBrowser = (notify & NotifyLaunchBrowser) != 0;
    bool toViewer = (notify & NotifyLaunchApplication) != 0;
    if (!toBrowser && !toViewer) return;
    std::string fileType;
    const std::optional<std::string> text = ChangeOutput(snapshot, &fileType);
    if (!text) return;

    // Each file is listed as soon as it exists, so a failed write still
    // leaves it for DeleteTempFiles. The lock is taken for the list alone:
    // the output of a large page takes a while to write.
    auto listed = [this](std::string path) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        tempFiles.push_back(path);
        return path;
    };
    if (toBrowser) {
        // The browser always gets an ".html" file, the text modes included.
        const std::string path = listed(MakeTempFileName("html"));
        CChangeDetector::SaveOutput(*text, path);
        OpenInBrowser("file://" + path);
    }
    if (toViewer) {
        const std::string path = listed(MakeTempFileName(fileType));
        CChangeDetector::SaveOutput(*text, path);
        RunProgram(snapshot.settings.GetViewer(), path);
    }
}

void CWatchSite::OpenInBrowser() { OpenInBrowser(GetUrl()); }

void CWatchSite::OpenInBrowser(const std::string& target) {
    OpenInDefaultBrowser(services, target);
}

void CWatchSite::RunProgram(const std::string& program, const std::string& argument) {
    RunProgramWith(services, program, argument);
}

std::string CWatchSite::MakeTempFileName(const std::string& extension) {
    return services.TempDirectory().CreateFile(extension);
}

}  // namespace tallyhawk
