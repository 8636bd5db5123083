// A page downloaded now and read as its settings of what to watch say,
// without touching the page: what the Preview of the property sheet and
// tallyhawk-cli preview show.
#pragma once

#include <string>
#include <vector>

#include "content/WatchedText.h"
#include "engine/LearnedNoise.h"
#include "engine/WatcherSettings.h"

namespace tallyhawk {

class CDownloader;

struct CPagePreview {
    CWatchPreview watched;
    std::size_t downloadedBytes = 0;
    // With the settings' learning on: each line of the page that the noise
    // changes, as it compares, "…" where the noise was (see
    // CLearnedNoise::Marks).
    std::vector<std::string> noise;
};

// Checks the settings first (CFilterError for one that cannot be used,
// before anything is downloaded), then downloads `url` with the settings'
// user name and password, compressed where the server offers it and within
// the page-size limit of a check, and reads it. Throws CException with the
// message a check would log for a failed download; returns nothing useful
// when the download was canceled (downloader.IsCanceled() tells), which
// another thread may do at any time with downloader.Cancel().
CPagePreview PreviewPage(CDownloader& downloader, const std::string& url,
                         const CWatcherSettings& settings, const CLearnedNoise& noise = {});

}  // namespace tallyhawk
