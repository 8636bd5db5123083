// tallyhawk-cli check: one pass of the watch thread over a document's pages,
// reported on standard output and told by the exit status, for cron and
// scripts.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/MessageLog.h"
#include "app/TallyhawkDoc.h"
#include "base/Exception.h"
#include "cli/Commands.h"
#include "cli/DocumentFrontEnd.h"
#include "cli/PageOptions.h"
#include "engine/WatchSite.h"
#include "engine/WatchSiteList.h"

namespace tallyhawk::cli {

const char* const kCheckHelp =
    "Usage: tallyhawk-cli check FILE [--all] [--accept] [--json]\n"
    "Checks once, in list order, every enabled page that is due (with --all,\n"
    "every enabled page), as watching does, and saves the document. Then prints\n"
    "each page found Modified as a line \"[NAME] URL\" followed by its changes\n"
    "in the page's output mode; with --json, one object for every checked page\n"
    "instead. --accept makes the reported changes the accepted versions, as\n"
    "viewing them would, and gives a page checked for the first time its first\n"
    "accepted version. Log entries go to standard error.\n"
    "Exit status: 0 nothing changed, 1 a page changed, 2 bad use or trouble,\n"
    "3 every checked page failed, 128 + the signal when SIGINT or SIGTERM\n"
    "stopped the pass.\n";

namespace {

// Hears the pass: keeps each check's outcome, prints every log entry on
// standard error as its log-file line, and wakes the waiting thread once the
// watch thread has finished the pass.
class CPassRecorder : public CEventSink {
public:
    CPassRecorder(CTallyhawkDoc& doc, CStopSignals& signals) : signals(signals) {
        doc.GetMessageLog().Subscribe(this, &CPassRecorder::OnLog);
        doc.GetPageList().Subscribe(this, &CPassRecorder::OnList);
    }
    ~CPassRecorder() override { UnsubscribeAll(); }

    CWatchSiteList::CheckObserver Observer() {
        return [this](const CCheckOutcome& outcome) {
            std::lock_guard<std::mutex> guard(lock);
            outcomes.push_back(outcome);
        };
    }
    std::vector<CCheckOutcome> Outcomes() {
        std::lock_guard<std::mutex> guard(lock);
        return outcomes;
    }
    bool Ended() const { return ended.load(); }

    bool OnLog(CLogEvent* event) {
        if (event->code != LogEntryAdded) return true;
        if (std::optional<CLogEntry> entry = event->log->GetAt(event->index))
            std::fprintf(stderr, "%s\n", entry->FileLine().c_str());
        return true;
    }
    bool OnList(SiteListEvent* event) {
        if (event->code == WatchingStopped) {
            ended.store(true);
            signals.Wake();
        }
        return true;
    }

private:
    CStopSignals& signals;
    std::atomic<bool> ended{false};
    std::mutex lock;
    std::vector<CCheckOutcome> outcomes;  // guarded by lock
};

// What a pass found, as the exit status tells it.
struct PassTally {
    std::size_t checked = 0;
    std::size_t changed = 0;
    std::size_t failed = 0;
};

// Writes the report of the checked pages to standard output. With
// `accept`, returns the pages that viewing would accept: those whose
// changes it showed, and those downloaded for the first time (no accepted
// version yet).
std::vector<CWatchSite*> PrintReport(CWatchSiteList& list, const std::vector<CCheckOutcome>& outcomes,
                                     bool json, bool accept, PassTally& tally) {
    std::vector<CWatchSite*> acceptable;
    if (json) std::fputs("[", stdout);
    for (const CCheckOutcome& outcome : outcomes) {
        CWatchSite* page = list.GetAt(outcome.index);
        if (!page) continue;
        ++tally.checked;
        if (outcome.failed) ++tally.failed;
        std::optional<std::string> changes;
        if (page->IsModified()) {
            ++tally.changed;
            changes = page->ChangeOutput();
        }
        if (accept && (changes || (outcome.checked && page->GetPreviousContent().empty())))
            acceptable.push_back(page);
        if (json) {
            std::string object = PageJson(outcome.index, *page);
            if (outcome.failed) object += ", \"error\": " + JsonString(outcome.error);
            if (changes) object += ", \"changes\": " + JsonString(*changes);
            object = (tally.checked > 1 ? ",\n " : "") + object + "}";
            std::fwrite(object.data(), 1, object.size(), stdout);
        } else if (changes) {
            std::fprintf(stdout, "[%s] %s\n", page->GetName().c_str(), page->GetUrl().c_str());
            std::fwrite(changes->data(), 1, changes->size(), stdout);
            if (!changes->empty() && changes->back() != '\n') std::fputc('\n', stdout);
        }
    }
    if (json) std::fputs("]\n", stdout);
    return acceptable;
}

}  // namespace

int RunCheck(const Args& args) {
    constexpr int kTrouble = 2;  // 1 says that a page changed
    return Run(
        "check",
        [&] {
            Parsed parsed = Parse(args, false, {"--all", "--accept", "--json"});
            RequirePositional(parsed, 1, "FILE");
            CStopSignals signals;
            // A reader that goes away makes the report's writing fail, and
            // the pass is still saved, instead of ending the process.
            ::signal(SIGPIPE, SIG_IGN);
            FrontEnd front;
            const std::string& path = parsed.positional[0];
            auto doc = OpenDocument(front, path, true);
            CWatchSiteList& list = doc->GetPageList();
            CPassRecorder recorder(*doc, signals);
            if (!list.StartOnePass(parsed.all, recorder.Observer()))
                throw CGenericException("there is no thread to check the pages with.");
            int stoppedBy = 0;
            while (stoppedBy == 0 && !recorder.Ended() && list.IsWatching())
                stoppedBy = signals.Wait(nullptr);
            // After a stop signal this ends the pass after the current page;
            // otherwise it only waits for the thread to be gone.
            list.StopWatching(true);

            PassTally tally;
            const std::vector<CWatchSite*> acceptable =
                PrintReport(list, recorder.Outcomes(), parsed.json, parsed.accept, tally);
            // Changes that did not reach the reader are not accepted.
            const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
            if (written) {
                for (CWatchSite* page : acceptable) page->AcceptChanges();
            }
            if (doc->IsModified()) {
                try {
                    Save(*doc, path);
                } catch (const CException& error) {
                    throw CGenericException(path + " could not be saved: " + error.Message());
                }
            }
            if (!written) throw CGenericException("the report could not be written.");
            if (stoppedBy != 0) {
                std::fprintf(stderr, "tallyhawk-cli check: stopped by %s; the pages checked so far are saved.\n",
                             stoppedBy == SIGINT ? "SIGINT" : "SIGTERM");
                return 128 + stoppedBy;
            }
            if (tally.changed > 0) return 1;
            if (tally.checked > 0 && tally.failed == tally.checked) return 3;
            return 0;
        },
        kTrouble);
}

}  // namespace tallyhawk::cli
