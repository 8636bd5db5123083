// CDownloadMeter: what the File Download dialog shows for each progress
// announcement of its download: the status line, the transfer rate, the
// file size (shown once, when first known) and the progress bar.
//
// A meter belongs to the thread that downloads: Start and Update are called
// there, and the returned CDownloadDisplay is posted to the window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tallyhawk {

class IClock;
struct CDownloadProgress;

// The changes to the dialog's controls; an empty field leaves its control
// as it is.
struct CDownloadDisplay {
    std::optional<std::string> status;
    std::optional<std::string> rate;
    std::optional<std::string> size;
    // Shows the bar at this percent (0-100); -1 hides it.
    std::optional<int> percent;

    // Lays `later` over this one: its fields win where it has them.
    void Merge(const CDownloadDisplay& later);
    bool IsEmpty() const { return !status && !rate && !size && !percent; }
};

class CDownloadMeter {
public:
    // `clock` must outlive the meter.
    explicit CDownloadMeter(const IClock& clock);

    // A download begins: the rate counts from now, no size has been shown.
    void Start();
    // The display for one announcement. "Connected to host." restarts the
    // rate's count of seconds, so the time spent connecting does not lower it.
    CDownloadDisplay Update(const CDownloadProgress& progress);

private:
    const IClock& clock;
    std::int64_t startTime = 0;   // whole seconds: the base of the transfer rate
    std::uint64_t shownSize = 0;  // the content length once shown, 0 before
};

}  // namespace tallyhawk
