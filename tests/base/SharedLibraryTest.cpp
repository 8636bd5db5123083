#include <gtest/gtest.h>

#include "base/SharedLibrary.h"

namespace tallyhawk {
namespace {

#if defined(__linux__) && defined(__GLIBC__)
TEST(SharedLibraryTest, FindsFunctionsAndNamesWhatIsMissing) {
    CSharedLibrary library;
    ASSERT_TRUE(library.Open("libm.so.6")) << library.Error();
    double (*cosine)(double) = nullptr;
    ASSERT_TRUE(library.Find("cos", cosine)) << library.Error();
    EXPECT_EQ(cosine(0.0), 1.0);

    int (*missing)() = nullptr;
    EXPECT_FALSE(library.Find("tallyhawk_no_such_function", missing));
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(library.Error(), "libm.so.6 has no tallyhawk_no_such_function");

    CSharedLibrary absent;
    EXPECT_FALSE(absent.Open("libtallyhawk-absent.so.9"));
    EXPECT_EQ(absent.Error().rfind("cannot load libtallyhawk-absent.so.9: ", 0), 0u)
        << absent.Error();
    EXPECT_FALSE(absent.Find("cos", cosine));
}
#endif

}  // namespace
}  // namespace tallyhawk
