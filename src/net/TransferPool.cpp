#include "net/TransferPool.h"

#include <algorithm>

#include "net/CurlLibrary.h"
#include "net/Downloader.h"
#include "net/Session.h"

namespace tallyhawk {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

CTransferPool::CTransferPool() {
    CSession::StartLibrary();
    multi = Curl().multi_init();
}

CTransferPool::~CTransferPool() {
    CancelAll();
    // Reached while an exception unwinds (a Done that threw): what the
    // others' ends throw now cannot leave a destructor.
    while (!transfers.empty()) {
        try {
            End(transfers.size() - 1, CURLE_ABORTED_BY_CALLBACK);
        } catch (...) {
        }
    }
    if (multi) Curl().multi_cleanup(multi);
}

void CTransferPool::Start(CDownloader& downloader, const std::string& url, CDownloadSink* sink,
                          Done done) {
    CURL* easy = downloader.BeginTransfer(url, sink, multi);
    transfers.push_back({&downloader, easy, std::move(done)});
    if (!easy || !multi || Curl().multi_add_handle(multi, easy) != CURLM_OK) {
        transfers.back().easy = nullptr;
        End(transfers.size() - 1, CURLE_FAILED_INIT);
    }
}

std::size_t CTransferPool::Run(std::chrono::milliseconds longest) {
    if (transfers.empty()) return 0;
    int stillRunning = 0;
    const bool performed = Curl().multi_perform(multi, &stillRunning) == CURLM_OK;
    // Finished transfers first: their own result counts, not a limit that
    // ran out since.
    const std::size_t before = transfers.size();
    int left = 0;
    while (CURLMsg* message = Curl().multi_info_read(multi, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        auto it = std::find_if(transfers.begin(), transfers.end(),
                               [&](const Transfer& t) { return t.easy == message->easy_handle; });
        if (it != transfers.end())
            End(static_cast<std::size_t>(it - transfers.begin()), message->data.result);
    }
    auto wait = longest;
    const auto now = Clock::now();
    for (std::size_t i = transfers.size(); i-- > 0;) {
        const CURLcode result =
            performed ? transfers[i].downloader->StepTransfer(now, wait) : CURLE_UNRECOVERABLE_POLL;
        if (result != CURLE_OK) End(i, result);
    }
    // A download that ended leaves room for the caller to start another:
    // no waiting before it has had the chance.
    if (transfers.size() != before) return transfers.size();
    if (Curl().multi_poll(multi, nullptr, 0, static_cast<int>(wait.count()) + 1, nullptr) !=
        CURLM_OK) {
        for (std::size_t i = transfers.size(); i-- > 0;) End(i, CURLE_UNRECOVERABLE_POLL);
    }
    return transfers.size();
}

void CTransferPool::End(std::size_t index, CURLcode result) {
    Transfer transfer = std::move(transfers[index]);
    transfers.erase(transfers.begin() + static_cast<std::ptrdiff_t>(index));
    if (transfer.easy) Curl().multi_remove_handle(multi, transfer.easy);
    bool succeeded = false;
    std::exception_ptr failure;
    try {
        succeeded = transfer.downloader->FinishTransfer(result);
    } catch (...) {
        failure = std::current_exception();
    }
    if (transfer.done) transfer.done(succeeded, failure);
}

void CTransferPool::CancelAll() {
    for (const Transfer& transfer : transfers) transfer.downloader->Cancel();
}

void CTransferPool::Wake() {
    if (multi) Curl().multi_wakeup(multi);
}

}  // namespace tallyhawk
