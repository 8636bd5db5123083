#include "history/Sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace tallyhawk {
namespace {

std::string Hex(const CSha256Digest& digest) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

TEST(Sha256Test, StandardVectors) {
    EXPECT_EQ(Hex(Sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex(Sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hex(Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Hex(Sha256(std::string(1000000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// The lengths where the padding takes one block or spills into a second,
// each against coreutils' sha256sum.
TEST(Sha256Test, LengthsAroundTheBlockBoundaries) {
    std::string cycle = "abcdefghijklmnopqrstuvwxyz0123456789";
    cycle += cycle + cycle + cycle;
    const struct {
        std::size_t length;
        const char* digest;
    } cases[] = {
        {55, "82a01e3dd9cf63b32f2137747c00d92aeacfcea35dc58b37cf6b01fbcd7b5092"},
        {56, "24d78d38b3e044ec7100a06261c63a1e94f48928104858fe5576aea695db1e6f"},
        {57, "5fde1a40ddfdcba140f2dd22351e4970ce8b9bee1c0744155d01bd4d595ef526"},
        {63, "b499f29a5bed5082ce023ec3a5e7f7df025e37906d05391cdeea9b6a2d1f1a8e"},
        {64, "9811e1ddf569b14d62a237a466700c99034c0836d098a02b2bd146265489c068"},
        {65, "4e43e86934fadc32af139ed8d8dbd9cc1c1e9468ddcc136e0c64669f0b116bd2"},
        {119, "b1a702951b2223de0788c49ac9fdfd63cbc653a61e993245b709e8034d7c6366"},
        {120, "fb14a9865f771eb9c48c2d045bb57765d12f51d15e29cdb8e7c3d585048933fc"},
        {128, "3c72b2c0505cf2b81c8743192935976a7906b5a123b5b0cdf3c5d66d7fef4c64"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(Sha256(std::string_view(cycle).substr(0, c.length))), c.digest) << c.length << " bytes";
}

TEST(Sha256Test, HighBytesNulsAndRepeats) {
    EXPECT_EQ(Hex(Sha256(std::string("\x00\xff\x80\x7f", 4))),
              "049426b578cc61154a0dffb6e0fe305e12ac496d6e36e0d833d55fffc363fa51");
    EXPECT_EQ(Hex(Sha256(std::string(55, 'x'))),
              "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072");
    EXPECT_EQ(Hex(Sha256(std::string(64, 'x'))),
              "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c");
}

}  // namespace
}  // namespace tallyhawk
