#include "app/MessageLog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "base/Exception.h"
#include "engine/EngineTestUtil.h"

namespace tallyhawk {
namespace {

using testing::CFakeClock;
using testing::CScopedTimeZone;
using testing::CScratchFolder;
using testing::ReadFile;
using testing::WriteFile;

class CEventRecorder : public CEventSink {
public:
    ~CEventRecorder() override { UnsubscribeAll(); }
    bool OnLog(CLogEvent* event) {
        events.emplace_back(event->code, event->index);
        return true;
    }
    std::vector<std::pair<std::int32_t, std::int32_t>> events;
};

class CSilentException : public CException {
public:
    bool GetErrorMessage(char* buffer, std::size_t size, unsigned* = nullptr) const override {
        if (size > 0) buffer[0] = '\0';
        return false;
    }
    std::string Message() const override { return {}; }
    const char* ClassName() const override { return "CSilentException"; }
};

// "m3" from "m" and 3. Appended, not `"m" + std::to_string(3)`: GCC 12 at -O3
// takes that for an overlapping copy (a false -Wrestrict).
std::string Numbered(const char* prefix, int number) {
    std::string text = prefix;
    text += std::to_string(number);
    return text;
}

std::string Lines(int first, int last) {
    std::string text;
    for (int i = first; i <= last; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}

std::size_t CountLines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class MessageLogTest : public ::testing::Test {
protected:
    MessageLogTest() : tz("UTC0"), log(&clock) {
        clock.Set(953733900);  // 14:05, March 22, 2000 UTC
        log.SetLogFile(file);
    }
    CScopedTimeZone tz;
    CScratchFolder scratch;
    std::string file = scratch / "log.txt";
    CFakeClock clock;
    CMessageLog log;
};

TEST_F(MessageLogTest, FileLineFormatIsFixedAndEnglish) {
    std::setlocale(LC_ALL, "C");
    log.Add("Page moved, maybe", "http://example.com/");
    EXPECT_EQ(ReadFile(file), "Page moved, maybe, http://example.com/, 14:05, March 22, 2000\n");
    clock.Set(1704153600 - 60);  // 23:59, January 01, 2024
    log.Add("m", "s");
    EXPECT_EQ(log.GetAt(1)->FileLine(), "m, s, 23:59, January 01, 2024");
    EXPECT_EQ(log.GetAt(1)->BarLine(), "[s] m");
}

TEST_F(MessageLogTest, AddingAndClearingAnnounce) {
    CEventRecorder recorder;
    log.Subscribe(&recorder, &CEventRecorder::OnLog);
    log.SetMaximumLines(2);
    log.Add("a", "u");
    log.Add("b", "u");
    log.Add("c", "u");
    log.Clear();
    using Event = std::pair<std::int32_t, std::int32_t>;
    EXPECT_EQ(recorder.events, (std::vector<Event>{{0, 0}, {0, 1}, {0, 1}, {1, -1}}));
    EXPECT_EQ(log.GetCount(), 0);
    EXPECT_FALSE(log.GetAt(0).has_value());
}

TEST_F(MessageLogTest, MemoryListKeepsTheNewestUpToTheMaximum) {
    log.SetLogToFile(false);
    for (int i = 0; i < 7; ++i) log.Add(Numbered("m", i), "u");
    log.SetMaximumLines(3);
    ASSERT_EQ(log.GetCount(), 3);
    EXPECT_EQ(log.GetAt(0)->GetMessage(), "m4");
    log.SetMaximumLines(0);
    log.Add("gone", "u");
    EXPECT_EQ(log.GetCount(), 0);
    log.SetMaximumLines(CMessageLog::kNoLimit);
    for (int i = 0; i < 600; ++i) log.Add("x", "u");
    EXPECT_EQ(log.GetCount(), 600);
}

TEST_F(MessageLogTest, FileOfFiveHundredLinesDropsToThreeQuarters) {
    WriteFile(file, Lines(1, 500));
    log.Add("new", "u");
    std::string text = ReadFile(file);
    EXPECT_EQ(CountLines(text), 375u);
    EXPECT_EQ(text.substr(0, 9), "line 127\n");
    EXPECT_TRUE(text.ends_with("line 500\nnew, u, 14:05, March 22, 2000\n"));
    // Then it grows again until it would pass the bound.
    for (int i = 0; i < 125; ++i) log.Add("more", "u");
    EXPECT_EQ(CountLines(ReadFile(file)), 500u);
    log.Add("over", "u");
    EXPECT_EQ(CountLines(ReadFile(file)), 375u);
}

TEST_F(MessageLogTest, FileWithMaximumOneAlternates) {
    log.SetMaximumLines(1);
    log.Add("first", "u");
    EXPECT_EQ(CountLines(ReadFile(file)), 1u);
    log.Add("second", "u");
    EXPECT_EQ(ReadFile(file), "") << "three quarters of 1 is 0";
    log.Add("third", "u");
    EXPECT_EQ(ReadFile(file), "third, u, 14:05, March 22, 2000\n");
}

TEST_F(MessageLogTest, NoLimitNeverTrimsTheFile) {
    log.SetMaximumLines(CMessageLog::kNoLimit);
    WriteFile(file, Lines(1, 900) + "cut off");  // a last line without its break
    log.Add("new", "u");
    std::string text = ReadFile(file);
    EXPECT_EQ(CountLines(text), 902u);
    EXPECT_NE(text.find("cut off\nnew, u"), std::string::npos);
}

TEST_F(MessageLogTest, CrLfFileCountsItsLines) {
    log.SetMaximumLines(4);
    WriteFile(file, "a\r\nb\r\nc\r\nd\r\n");
    log.Add("e", "u");
    EXPECT_EQ(ReadFile(file), "c\nd\ne, u, 14:05, March 22, 2000\n");
}

TEST_F(MessageLogTest, DisabledOrUnwritableFileKeepsEntriesInMemory) {
    log.SetLogToFile(false);
    log.Add("quiet", "u");
    EXPECT_FALSE(std::filesystem::exists(file));
    log.SetLogToFile(true);
    log.SetLogFile(scratch / "missing/folder/log.txt");
    log.Add("lost", "u");
    log.SetLogFile("");
    log.Add("nowhere", "u");
    EXPECT_EQ(log.GetCount(), 3);
}

TEST_F(MessageLogTest, LockedOrSpecialFileNeverHoldsUpAnEntry) {
    log.SetMaximumLines(3);
    log.Add("first", "u");
    // flock locks belong to the open file, so a second open file here stands
    // for another process (a backup tool, flock(1)) holding the log.
    int holder = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    CEventRecorder recorder;
    log.Subscribe(&recorder, &CEventRecorder::OnLog);
    auto adding = std::async(std::launch::async, [this] {
        for (int i = 0; i < 4; ++i) log.Add("while locked", "u");  // both the append and the trim path
    });
    const bool finished = adding.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    close(holder);  // lets a waiting Add go on, so that a failure ends here
    adding.get();
    ASSERT_TRUE(finished) << "Add waited for the locked log file";
    EXPECT_EQ(log.GetCount(), 3);
    EXPECT_EQ(recorder.events.size(), 4u);
    EXPECT_EQ(ReadFile(file), "first, u, 14:05, March 22, 2000\n") << "a locked file misses its lines";
    log.Add("after", "u");
    EXPECT_EQ(CountLines(ReadFile(file)), 2u);

    // A FIFO is read by nobody: the entry must not wait for a reader.
    std::string fifo = scratch / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    log.SetLogFile(fifo);
    auto toFifo = std::async(std::launch::async, [this] { log.Add("to a fifo", "u"); });
    if (toFifo.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
        std::fprintf(stderr, "Add waited for a FIFO\n");
        std::_Exit(1);
    }
    EXPECT_EQ(log.GetAt(2)->GetMessage(), "to a fifo");
}

TEST_F(MessageLogTest, ExceptionsGiveTheirMessageOrUnknown) {
    log.Add(CGenericException("The request has timed out."), "http://a/");
    log.Add(CSilentException(), "http://b/");
    log.Add(CGenericException(std::string(5000, 'x')), "http://c/");
    EXPECT_EQ(log.GetAt(0)->GetMessage(), "The request has timed out.");
    EXPECT_EQ(log.GetAt(1)->GetMessage(), "Unknown Exception");
    EXPECT_EQ(log.GetAt(1)->GetSource(), "http://b/");
    EXPECT_EQ(log.GetAt(2)->GetMessage().size(), 2047u) << "asked with a 2048-byte buffer";
}

TEST_F(MessageLogTest, SaveWritesEveryEntryAndReportsErrors) {
    log.SetLogToFile(false);
    log.Add("one", "u1");
    log.Add("two", "u2");
    std::string saved = scratch / "saved.txt";
    WriteFile(saved, "old content that is longer than the new");
    log.SaveTo(saved);
    EXPECT_EQ(ReadFile(saved), "one, u1, 14:05, March 22, 2000\ntwo, u2, 14:05, March 22, 2000\n");
    EXPECT_THROW(log.SaveTo(scratch / "no/such/dir/x.txt"), COsException);
}

TEST_F(MessageLogTest, ConcurrentAddsKeepFileAndListConsistent) {
    log.SetMaximumLines(40);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 50; ++i) log.Add(Numbered("t", t), "u");
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(log.GetCount(), 40);
    std::size_t lines = CountLines(ReadFile(file));
    EXPECT_GE(lines, 30u);
    EXPECT_LE(lines, 40u);
}

}  // namespace
}  // namespace tallyhawk
