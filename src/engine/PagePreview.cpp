#include "engine/PagePreview.h"

#include "engine/PageSink.h"
#include "engine/WatchSite.h"
#include "engine/WatchedVersions.h"
#include "diff/ChangeDocument.h"
#include "net/Downloader.h"
#include "net/InternetError.h"

namespace tallyhawk {

CPagePreview PreviewPage(CDownloader& downloader, const std::string& url,
                         const CWatcherSettings& settings, const CLearnedNoise& noise) {
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
    const std::string charset = CharsetFromContentType(downloader.GetContentType());
    preview.watched = PreviewWatched(page, charset, *filter);
    if (settings.GetLearnNoise()) {
        // The form a comparison reads: the source, or the watched document.
        preview.noise = filter->Filter().IsPlain() ? noise.Marks(page)
                                                   : noise.Marks(ExtractWatched(page, charset, *filter).document);
    }
    return preview;
}

}  // namespace tallyhawk
