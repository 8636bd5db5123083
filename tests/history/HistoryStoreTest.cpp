#include "history/HistoryStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace tallyhawk {
namespace {

namespace fs = std::filesystem;

// A page of `lines` numbered lines of HTML, each about 60 bytes.
std::string MakePage(int lines, unsigned seed) {
    std::mt19937 random(seed);
    std::string page = "<html><body>\n";
    for (int i = 0; i < lines; ++i)
        page += "<p class=\"row\">Line " + std::to_string(i) + " holds " + std::to_string(random()) + "</p>\n";
    return page + "</body></html>\n";
}

// `page` with line `line` replaced by `text`.
std::string EditLine(const std::string& page, int line, const std::string& text) {
    std::size_t start = 0;
    for (int i = 0; i < line; ++i) start = page.find('\n', start) + 1;
    const std::size_t end = page.find('\n', start);
    return page.substr(0, start) + text + page.substr(end);
}

class HistoryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("tallyhawk-history-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        path = (folder / "pages.wat.history").string();
    }
    void TearDown() override { fs::remove_all(folder); }

    // Runs `sql` on the store's file through a connection of its own.
    void Sql(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
        EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }

    fs::path folder;
    std::string path;
};

TEST_F(HistoryStoreTest, VersionsRoundTripExactlyAcrossReopen) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>(i * 7);
    const std::string large = MakePage(80000, 1);  // about 5 MB
    const std::vector<std::string> versions = {"", binary, large, EditLine(large, 40000, "<p>new</p>"), ""};
    {
        auto store = CHistoryStore::Open(path);
        for (std::size_t i = 0; i < versions.size(); ++i)
            EXPECT_TRUE(store->Append("https://a.example/", 100 + i, 2, versions[i])) << i;
        EXPECT_FALSE(store->Append("https://a.example/", 200, 2, ""));  // equals the newest
        EXPECT_TRUE(store->Append("https://b.example/", 300, 1, binary));
        store->MarkAccepted("https://a.example/", "", 999);
    }
    auto store = CHistoryStore::Open(path);
    EXPECT_EQ(store->Pages(), (std::vector<std::string>{"https://a.example/", "https://b.example/"}));
    const auto list = store->List("https://a.example/");
    ASSERT_EQ(list.size(), versions.size());
    for (std::size_t i = 0; i < versions.size(); ++i) {
        EXPECT_EQ(list[i].size, versions[i].size());
        EXPECT_EQ(list[i].time, static_cast<std::int64_t>(100 + i));
        EXPECT_EQ(store->Read(list[i].id), versions[i]) << i;
    }
    EXPECT_EQ(list[0].acceptedTime, 0);  // only the newest with those bytes
    EXPECT_EQ(list[4].acceptedTime, 999);
    // One line replaced: the old line and the new one, with their line ends.
    const std::size_t start = large.find("<p class=\"row\">Line 39999 ");  // line 0 is <html>
    const std::size_t oldLine = large.find('\n', start) + 1 - start;
    EXPECT_EQ(list[3].changeSize, oldLine + std::string("<p>new</p>\n").size());
    EXPECT_EQ(list[4].changeSize, list[3].size);
    EXPECT_EQ(store->List("https://b.example/").size(), 1u);
}

TEST_F(HistoryStoreTest, ManySmallEditsReadBackExactlyAndStaySmall) {
    std::vector<std::string> versions = {MakePage(1700, 2)};  // about 100 KB
    std::mt19937 random(3);
    for (int i = 1; i < 200; ++i) {
        std::string page = versions.back();
        for (int edit = 0; edit < 3; ++edit)
            page = EditLine(page, 1 + random() % 1700, "<p>edit " + std::to_string(random()) + "</p>");
        versions.push_back(page);
    }
    auto store = CHistoryStore::Open(path);
    for (std::size_t i = 0; i < versions.size(); ++i) ASSERT_TRUE(store->Append("p", i, 0, versions[i]));
    const auto list = store->List("p");
    ASSERT_EQ(list.size(), versions.size());
    for (std::size_t i = 0; i < versions.size(); ++i) ASSERT_EQ(store->Read(list[i].id), versions[i]) << i;
    EXPECT_EQ(list[0].changeSize, 0u);
    EXPECT_GT(list[1].changeSize, 0u);
    EXPECT_LT(list[1].changeSize, 600u);
    store.reset();
    const auto bytes = fs::file_size(path) + (fs::exists(path + "-wal") ? fs::file_size(path + "-wal") : 0);
    EXPECT_LT(bytes, 2'000'000u) << "20 MB of versions";
}

TEST_F(HistoryStoreTest, PruneByCountAndAgeKeepsEveryRemainingVersionReadable) {
    auto store = CHistoryStore::Open(path);
    std::vector<std::string> versions;
    for (int i = 0; i < 70; ++i) {
        versions.push_back(EditLine(MakePage(300, 4), 1 + i % 300, "<p>" + std::to_string(i) + "</p>"));
        store->Append("p", 1000 + i * 10, 0, versions.back());
        store->Append("q", 1000, 0, versions.back());
    }
    auto readsBack = [&](std::size_t firstKept) {
        const auto list = store->List("p");
        ASSERT_EQ(list.size(), versions.size() - firstKept);
        for (std::size_t i = 0; i < list.size(); ++i) ASSERT_EQ(store->Read(list[i].id), versions[firstKept + i]);
    };
    // 45 is a delta, the 13th after the whole version at 32.
    EXPECT_EQ(store->Prune({25, 0}, 5000), 45 + 45);
    readsBack(45);
    store.reset();
    store = CHistoryStore::Open(path);
    readsBack(45);
    // Older than 1000 + 59 * 10 goes: 59 itself stays.
    EXPECT_EQ(store->Prune({0, 100}, 1690), 14 + 25);
    readsBack(59);
    EXPECT_EQ(store->Pages(), std::vector<std::string>{"p"});
    EXPECT_EQ(store->Prune({0, 1}, 1000000), 11);
    EXPECT_TRUE(store->Pages().empty());
    EXPECT_TRUE(store->Append("p", 1, 0, "again"));
}

TEST_F(HistoryStoreTest, DamagedFileIsSetAsideWithANoticeAndANewStoreBegun) {
    std::ofstream(path) << "not a database at all, but a store's name";
    std::ofstream(path + "-wal") << "log";
    std::string notice;
    auto store = CHistoryStore::Open(path, &notice);
    EXPECT_NE(notice.find("The history " + path + " was damaged; it was set aside as pages.wat.history.damaged-"),
              std::string::npos)
        << notice;
    EXPECT_TRUE(store->Append("p", 1, 0, "fresh"));
    EXPECT_EQ(store->Read(store->List("p").at(0).id), "fresh");
    store.reset();

    // Someone else's database, set aside in the same second: a new name.
    fs::remove(path);
    fs::remove(path + "-wal");
    fs::remove(path + "-shm");
    Sql("CREATE TABLE other(x); INSERT INTO other VALUES (1);");
    notice.clear();
    store = CHistoryStore::Open(path, &notice);
    EXPECT_FALSE(notice.empty());
    EXPECT_TRUE(store->List("p").empty());
    int aside = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".damaged-") == std::string::npos || name.ends_with("-wal") || name.ends_with("-shm")) continue;
        ++aside;
        std::ifstream in(entry.path());
        std::string first;
        std::getline(in, first);
        EXPECT_TRUE(first.starts_with("not a database") || first.starts_with("SQLite format 3")) << name;
    }
    EXPECT_EQ(aside, 2);

    // A store in use by another program is reported, not set aside.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
        store->Append("p", 2, 0, "blocked");
        ADD_FAILURE() << "appended to a locked store";
    } catch (const CHistoryError& e) {
        EXPECT_NE(e.Message().find("in use by another program"), std::string::npos) << e.Message();
    }
    sqlite3_close(other);
    EXPECT_TRUE(store->Append("p", 2, 0, "blocked"));
}

TEST_F(HistoryStoreTest, DamagedRecordsGiveErrorsWhileOthersStillRead) {
    auto store = CHistoryStore::Open(path);
    std::vector<std::string> versions;
    for (int i = 0; i < 8; ++i) {
        versions.push_back(EditLine(MakePage(500, 5), 1 + i, "<p>" + std::to_string(i) + "</p>"));
        store->Append("p", i, 0, versions.back());
    }
    store->Append("q", 0, 0, versions[0]);
    const auto list = store->List("p");
    const auto q = store->List("q").at(0).id;
    store.reset();
    auto id = [&](int i) { return std::to_string(list[i].id); };
    Sql("PRAGMA foreign_keys = OFF;"
        "UPDATE versions SET data = substr(data, 1, 20) || zeroblob(30) WHERE id = " + id(2) + ";"
        "UPDATE versions SET size = 2000000000 WHERE id = " + id(4) + ";"
        "UPDATE versions SET base = " + id(5) + " WHERE id = " + id(5) + ";"
        "UPDATE versions SET hash = zeroblob(32) WHERE id = " + id(6) + ";"
        "UPDATE versions SET base = " + std::to_string(q) + " WHERE id = " + id(7) + ";");
    store = CHistoryStore::Open(path);
    for (int i : {0, 1}) EXPECT_EQ(store->Read(list[i].id), versions[i]);
    for (int i : {2, 3, 4, 5, 6, 7}) {
        try {
            store->Read(list[i].id);
            ADD_FAILURE() << "read damaged version " << i;
        } catch (const CHistoryError& e) {
            EXPECT_NE(e.Message().find("cannot be read"), std::string::npos) << e.Message();
        }
    }
    EXPECT_THROW(store->Read(123456), CHistoryError);
    // A damaged newest version does not stop the history.
    EXPECT_TRUE(store->Append("p", 9, 0, versions[0]));
    EXPECT_EQ(store->Read(store->List("p").back().id), versions[0]);
    EXPECT_EQ(store->Prune({2, 0}, 0), 7);
    EXPECT_EQ(store->List("p").size(), 2u);
}

TEST_F(HistoryStoreTest, KilledWriterLeavesAStoreThatOpensAndReadsBack) {
    for (int round = 0; round < 3; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto store = CHistoryStore::Open(path);
            for (int i = 0;; ++i) store->Append("p" + std::to_string(i % 3), i, 0, MakePage(200 + i % 500, i));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 170 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        std::string notice;
        auto store = CHistoryStore::Open(path, &notice);
        EXPECT_TRUE(notice.empty()) << notice;
        std::size_t read = 0;
        for (const auto& page : store->Pages())
            for (const auto& version : store->List(page)) read += store->Read(version.id).size() == version.size;
        EXPECT_GT(read, 0u);
    }
}

TEST_F(HistoryStoreTest, AppendRunsAlongsideListReadAndPrune) {
    auto store = CHistoryStore::Open(path);
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int i = 0; i < 150; ++i) store->Append("p", i, 0, MakePage(100, i % 7 == 0 ? 0 : i));
        done = true;
    });
    std::size_t reads = 0;
    while (!done) {
        for (const auto& version : store->List("p")) {
            try {
                reads += store->Read(version.id).size() == version.size;
            } catch (const CHistoryError& e) {  // pruned meanwhile
                EXPECT_NE(e.Message().find("no longer kept"), std::string::npos) << e.Message();
            }
        }
        store->Prune({20, 0}, 0);
    }
    writer.join();
    store->Prune({20, 0}, 0);
    EXPECT_EQ(store->List("p").size(), 20u);
    for (const auto& version : store->List("p")) EXPECT_EQ(store->Read(version.id).size(), version.size);
    EXPECT_GT(reads, 0u);
}

}  // namespace
}  // namespace tallyhawk
