#include "base/Archive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tallyhawk {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

std::string Stored(std::string_view text) {
    std::string out;
    CArchive ar(out);
    ar.WriteString(text);
    return out;
}

TEST(ArchiveTest, NumbersAreLittleEndian) {
    std::string out;
    {
        CArchive ar(out);
        ar.WriteByte(0xAB);
        ar.WriteWord(0x1234);
        ar.WriteDword(0xDEADBEEF);
        ar.WriteTime(-2);
        ar.WriteDouble(1.0);
        ar.WriteBool(true);
    }
    EXPECT_EQ(out, Bytes({0xAB, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0,
                          0, 0, 0, 0, 0xF0, 0x3F, 1}));
    CArchive in(std::string_view{out});
    EXPECT_EQ(in.ReadByte(), 0xAB);
    EXPECT_EQ(in.ReadWord(), 0x1234);
    EXPECT_EQ(in.ReadDword(), 0xDEADBEEFu);
    EXPECT_EQ(in.ReadTime(), -2);
    EXPECT_EQ(in.ReadDouble(), 1.0);
    EXPECT_TRUE(in.ReadBool());
    EXPECT_THROW(in.ReadByte(), CArchiveException);
}

TEST(ArchiveTest, TimeOutsideThirtyTwoBitsIsClamped) {
    std::string out;
    CArchive ar(out);
    ar.WriteTime(INT64_C(1) << 40);
    ar.WriteTime(-(INT64_C(1) << 40));
    CArchive in(std::string_view{out});
    EXPECT_EQ(in.ReadTime(), INT32_MAX);
    EXPECT_EQ(in.ReadTime(), INT32_MIN);
}

TEST(ArchiveTest, BooleanByteOfTwoReadsTrue) {
    std::string in = Bytes({2, 0});
    CArchive ar(std::string_view{in});
    EXPECT_TRUE(ar.ReadBool());
    EXPECT_FALSE(ar.ReadBool());
}

TEST(ArchiveTest, StringLengthFormsAtTheirBoundaries) {
    struct Case {
        std::size_t length;
        std::string prefix;
    };
    const Case cases[] = {
        {0, Bytes({0x00})},
        {254, Bytes({0xFE})},
        {255, Bytes({0xFF, 0xFF, 0x00})},
        {65533, Bytes({0xFF, 0xFD, 0xFF})},
        {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
    };
    for (const Case& c : cases) {
        std::string text(c.length, 'x');
        if (!text.empty()) text.back() = 'y';
        std::string stored = Stored(text);
        EXPECT_EQ(stored, c.prefix + text) << c.length;
        CArchive in(std::string_view{stored});
        EXPECT_EQ(in.ReadString(), text) << c.length;
        EXPECT_THROW(in.ReadByte(), CArchiveException) << "consumed exactly, " << c.length;
    }
}

TEST(ArchiveTest, WideStringLoadsAsUtf8) {
    // "Hé€😀" in UTF-16LE: 'H', U+00E9, U+20AC, surrogate pair D83D DE00.
    std::string units = Bytes({'H', 0, 0xE9, 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE});
    std::string stored = Bytes({0xFF, 0xFE, 0xFF, 5}) + units + "z";
    CArchive in(std::string_view{stored});
    EXPECT_EQ(in.ReadString(), "H\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(in.ReadByte(), 'z');

    // The inner prefix may itself use the long form.
    std::string longStored = Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x01}) + std::string(512, 'a');
    for (std::size_t i = 1; i < 512; i += 2) longStored[6 + i] = 0;
    CArchive in2(std::string_view{longStored});
    EXPECT_EQ(in2.ReadString(), std::string(256, 'a'));

    // There, 0xFFFE is a length (65534 units), not another wide marker.
    std::string units65534;
    for (int i = 0; i < 65534; ++i) units65534 += Bytes({'b', 0});
    std::string marked = Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF}) + units65534;
    CArchive in3(std::string_view{marked});
    EXPECT_EQ(in3.ReadString(), std::string(65534, 'b'));
}

TEST(ArchiveTest, UnpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf16LeToUtf8(Bytes({0x00, 0xDC, 'a', 0})), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(Utf16LeToUtf8(Bytes({0x3D, 0xD8})), "\xEF\xBF\xBD");
}

TEST(ArchiveTest, TruncatedFieldsRaiseEndOfFile) {
    auto expectEof = [](std::string bytes, auto read) {
        CArchive in(std::string_view{bytes});
        try {
            read(in);
            ADD_FAILURE() << "no exception";
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.GetCause(), CArchiveException::EndOfFile);
            EXPECT_FALSE(e.Message().empty());
        }
    };
    expectEof("", [](CArchive& a) { a.ReadByte(); });
    expectEof(Bytes({1}), [](CArchive& a) { a.ReadWord(); });
    expectEof(Bytes({1, 2, 3}), [](CArchive& a) { a.ReadDword(); });
    expectEof(Bytes({1, 2, 3}), [](CArchive& a) { a.ReadTime(); });
    expectEof(Bytes({1, 2, 3, 4, 5, 6, 7}), [](CArchive& a) { a.ReadDouble(); });
    expectEof(Bytes({5, 'a', 'b'}), [](CArchive& a) { a.ReadString(); });
    expectEof(Bytes({0xFF, 0x00}), [](CArchive& a) { a.ReadString(); });
    expectEof(Bytes({0xFF, 0xFF, 0xFF, 1, 0}), [](CArchive& a) { a.ReadString(); });
    expectEof(Bytes({0xFF, 0xFE, 0xFF, 2, 'a', 0, 'b'}), [](CArchive& a) { a.ReadString(); });
}

TEST(ArchiveTest, HugeClaimedLengthFailsBeforeAllocating) {
    // A string that claims 4 GB (and a wide one that claims 8 GB) in a 100-byte
    // stream; under ASan an attempt to allocate that much would abort.
    std::string bytes = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + std::string(93, 'a');
    CArchive in(std::string_view{bytes});
    EXPECT_THROW(in.ReadString(), CArchiveException);
    std::string wide = Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + std::string(91, 'a');
    CArchive in2(std::string_view{wide});
    EXPECT_THROW(in2.ReadString(), CArchiveException);
}

class ArchiveFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tallyhawk-archive-XXXXXX";
        fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        path = pattern;
    }
    void TearDown() override {
        close(fd);
        unlink(path.c_str());
    }
    int fd = -1;
    std::string path;
};

TEST_F(ArchiveFileTest, FileRoundTripAcrossBufferBoundaries) {
    std::string big(200000, 'q');
    {
        CArchive ar(fd, CArchive::Store);
        for (int i = 0; i < 30000; ++i) ar.WriteDword(static_cast<std::uint32_t>(i));
        ar.WriteString(big);
        ar.WriteString("end");
        ar.Flush();
    }
    ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
    CArchive in(fd, CArchive::Load);
    for (int i = 0; i < 30000; ++i) ASSERT_EQ(in.ReadDword(), static_cast<std::uint32_t>(i));
    EXPECT_EQ(in.ReadString(), big);
    EXPECT_EQ(in.ReadString(), "end");
    EXPECT_THROW(in.ReadByte(), CArchiveException);
}

TEST_F(ArchiveFileTest, FileStringLongerThanTheFileFails) {
    std::string bytes = Bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x40}) + "abc";
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
    CArchive in(fd, CArchive::Load);
    EXPECT_THROW(in.ReadString(), CArchiveException);
}

TEST(ArchivePipeTest, StreamOfUnknownSizeReadsStringsInPieces) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    // A 1 GB claim with only a few bytes behind it: the read ends at the pipe's
    // end after a small piece, not after a 1 GB allocation.
    std::string bytes = Bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x40}) + "abc";
    ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fds[1]);
    CArchive in(fds[0], CArchive::Load);
    EXPECT_THROW(in.ReadString(), CArchiveException);
    close(fds[0]);
}

TEST(ArchivePipeTest, WriteFailureIsReported) {
    int fd = open("/dev/full", O_WRONLY);
    if (fd < 0) GTEST_SKIP() << "no /dev/full";
    CArchive ar(fd, CArchive::Store);
    ar.WriteString("some bytes");
    EXPECT_THROW(ar.Flush(), COsException);
    close(fd);
}

}  // namespace
}  // namespace tallyhawk
