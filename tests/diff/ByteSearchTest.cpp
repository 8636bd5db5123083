#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "diff/ByteSearch.h"

namespace tallyhawk::bytesearch {
namespace {

// The searches go through whole blocks, partial blocks and memchr: check
// them against plain loops at every offset and length around those sizes.
TEST(ByteSearchTest, FindCountAndForEachAgreeWithPlainLoops) {
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(std::size_t(rng() % 200), 'x');
        for (char& c : bytes)
            if (rng() % 9 == 0) c = '\n';
        for (std::size_t from = 0; from <= bytes.size() && from < 40; ++from) {
            const char* begin = bytes.data() + from;
            const char* end = bytes.data() + bytes.size();
            const char* expected = nullptr;
            std::vector<const char*> all;
            for (const char* p = begin; p < end; ++p) {
                if (*p != '\n') continue;
                if (!expected) expected = p;
                all.push_back(p);
            }
            EXPECT_EQ(Find(begin, end, '\n'), expected);
            EXPECT_EQ(Count(begin, end, '\n'), all.size());
            std::vector<const char*> visited;
            ForEach(begin, end, '\n', [&](const char* p) { visited.push_back(p); });
            EXPECT_EQ(visited, all);
        }
    }
    // More than 255 blocks between the counter's sums.
    std::string many(255 * 16 * 3 + 5, '\n');
    EXPECT_EQ(Count(many.data(), many.data() + many.size(), '\n'), many.size());
}

TEST(ByteSearchTest, EqualSeesEveryByte) {
    for (std::size_t length = 0; length <= 40; ++length) {
        const std::string a(length, 'a');
        EXPECT_TRUE(Equal(a.data(), std::string(a).data(), length));
        for (std::size_t i = 0; i < length; ++i) {
            std::string b = a;
            b[i] = 'b';
            EXPECT_FALSE(Equal(a.data(), b.data(), length)) << length << " at " << i;
        }
    }
}

}  // namespace
}  // namespace tallyhawk::bytesearch
