#include "engine/PagePreview.h"

#include "engine/PageSink.h"
#include "engine/WatchSite.h"
#include "engine/WatchedVersions.h"
#include "diff/ChangeDocument.h"
#include "net/Downloader.h"
#include "net/InternetError.h"

namespace tallyhawk {

CPagePreview PreviewPage(CDownloader& downloader, const std::string& url,
                         const CWatcherSettings& settings) {
    const std::shared_ptr<const CCompiledFilter> filter =
        CCompiledFilter::Compile(CWatchedVersions::FilterOf(settings));
    PrepareDownload(downloader, settings);
    CPageSink sink(kMaximumPageSize);
    CPagePreview preview;
    if (!downloader.Download(url, &sink)) {
        if (downloader.IsCanceled()) return preview;
        ThrowDownloadError(downloader);
    }
    const std::string page = sink.Take();
    preview.downloadedBytes = page.size();
    preview.watched =
        PreviewWatched(page, CharsetFromContentType(downloader.GetContentType()), *filter);
    return preview;
}

}  // namespace tallyhawk
