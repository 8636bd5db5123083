// tallyhawk-cli check: one pass of the watch thread over a document's pages,
// reported on standard output and told by the exit status, for cron and
// scripts.
#include <signal.h>

#include <algorithm>
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
#include "cli/TerminalText.h"
#include "engine/WatchSite.h"
#include "engine/WatchSiteList.h"

namespace tallyhawk::cli {

const char* const kCheckHelp =
    "Usage: tallyhawk-cli check FILE [--all] [--accept] [--html | --json]\n"
    "Checks once, in list order, every enabled page that is due (with --all,\n"
    "every enabled page), as watching does, and saves the document. Then prints\n"
    "each page found Modified as a line \"[NAME] URL\" followed by its changes as\n"
    "text: \"- \" before each line of text deleted, \"+ \" before each line added\n"
    "(as far as the page's output mode shows them: the added modes only\n"
    "additions, the deleted modes only deletions), or a line saying that only\n"
    "the markup changed. Control characters and bytes that are not UTF-8 are\n"
    "printed as \\xHH. With --html, the changes are printed as the page's output\n"
    "mode makes them instead (for the highlighted mode, the whole page as HTML),\n"
    "byte for byte; with --json, one object for every checked page, its\n"
    "\"changes\" as --html prints them. --accept makes the reported changes the\n"
    "accepted versions, as viewing them would, and gives a page checked for the\n"
    "first time its first accepted version. Log entries go to standard error.\n"
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
    // In list order: checks that run at once end in any order.
    std::vector<CCheckOutcome> Outcomes() {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<CCheckOutcome> ordered = outcomes;
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const CCheckOutcome& a, const CCheckOutcome& b) {
                             return a.index < b.index;
                         });
        return ordered;
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

// How a check reports a changed page.
enum class ReportForm { Text, Html, Json };

// A changed page for a reader: its deletions, then its additions, each line
// marked; a change of markup alone is said as such.
std::string ReadableChanges(const CWatchSite::CChangedText& changes) {
    std::string lines = MarkedLines(changes.deleted, '-') + MarkedLines(changes.added, '+');
    return lines.empty() ? "  (only the page's markup or white space changed)\n" : lines;
}

// Writes the report of the checked pages to standard output. With
// `accept`, returns the pages that viewing would accept: those whose
// changes it showed, and those downloaded for the first time (no accepted
// version yet).
std::vector<CWatchSite*> PrintReport(CWatchSiteList& list,
                                     const std::vector<CCheckOutcome>& outcomes, ReportForm form,
                                     bool accept, PassTally& tally) {
    const bool json = form == ReportForm::Json;
    std::vector<CWatchSite*> acceptable;
    if (json) std::fputs("[", stdout);
    for (const CCheckOutcome& outcome : outcomes) {
        CWatchSite* page = list.GetAt(outcome.index);
        if (!page) continue;
        ++tally.checked;
        if (outcome.failed) ++tally.failed;
        const bool text = form == ReportForm::Text;
        std::optional<std::string> changes;
        if (page->IsModified()) {
            ++tally.changed;
            if (!text) {
                changes = page->ChangeOutput();
            } else if (std::optional<CWatchSite::CChangedText> changed = page->ChangedText()) {
                changes = ReadableChanges(*changed);
            }
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
            // The HTML form's bytes stay as they always were.
            const std::string name = text ? OneLine(page->GetName()) : page->GetName();
            const std::string url = text ? OneLine(page->GetUrl()) : page->GetUrl();
            std::fprintf(stdout, "[%s] %s\n", name.c_str(), url.c_str());
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
            Parsed parsed = Parse(args, false, {"--all", "--accept", "--html", "--json"});
            RequirePositional(parsed, 1, "FILE");
            if (parsed.html && parsed.json)
                throw UsageError{"--html and --json do not go together"};
            const ReportForm form = parsed.json   ? ReportForm::Json
                                    : parsed.html ? ReportForm::Html
                                                  : ReportForm::Text;
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
                PrintReport(list, recorder.Outcomes(), form, parsed.accept, tally);
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
