#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "base/FileIo.h"

namespace tallyhawk {
namespace {

std::string RandomBytes(std::size_t size) {
    std::mt19937 rng{static_cast<std::uint32_t>(size)};
    std::string bytes(size, '\0');
    for (char& c : bytes) c = char(rng());
    return bytes;
}

class FileIoTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/tallyhawk-fileio-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override {
        std::remove(path.c_str());
        ::rmdir(folder.c_str());
    }
    std::string folder;
    std::string path;
};

// ReadAll reads into room sized from the file, or growing by doubling from
// 64 KiB when the size is unknown: sizes around those steps, zero bytes
// included, come back whole.
TEST_F(FileIoTest, ReadAllReturnsEveryByteOfFilesAndPipes) {
    path = folder + "/file";
    for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 300000u}) {
        const std::string bytes = RandomBytes(size);
        WriteWholeFile(path, bytes);
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(ReadAll(fd), bytes) << size;
        ::close(fd);

        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        std::thread writer([&] {
            WriteAll(ends[1], bytes);
            ::close(ends[1]);
        });
        EXPECT_EQ(ReadAll(ends[0]), bytes) << "pipe, " << size;
        writer.join();
        ::close(ends[0]);
    }
}

TEST_F(FileIoTest, ReadAllStartsWhereTheDescriptorStands) {
    path = folder + "/file";
    WriteWholeFile(path, "skipped|kept");
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::lseek(fd, 8, SEEK_SET), 8);
    EXPECT_EQ(ReadAll(fd), "kept");
    ::close(fd);
}

}  // namespace
}  // namespace tallyhawk
