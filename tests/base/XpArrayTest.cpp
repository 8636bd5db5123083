#include <gtest/gtest.h>

#include "base/XpArray.h"

namespace tallyhawk {
namespace {

TEST(XpArrayTest, GrowsInFixedStepsBeyondWhatIsNeeded) {
    CXpArray<int> array(10);
    EXPECT_EQ(array.Capacity(), 0);
    array.Add(1);
    EXPECT_EQ(array.Capacity(), 11);
    for (int i = 2; i <= 10; ++i) array.Add(i);
    EXPECT_EQ(array.Capacity(), 11);
    array.Add(11);  // 11 needed: equal to the capacity still grows
    EXPECT_EQ(array.Capacity(), 21);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(array[i], i + 1);
}

TEST(XpArrayTest, InsertAtFrontMovesElementsUp) {
    CXpArray<int> array(10);
    for (int i = 1; i <= 3; ++i) array.Add(i);
    array.InsertAt(0, 9);
    ASSERT_EQ(array.Count(), 4);
    EXPECT_EQ(array[0], 9);
    EXPECT_EQ(array[1], 1);
    EXPECT_EQ(array[3], 3);
    array.InsertAt(2, 5);
    EXPECT_EQ(array[2], 5);
    EXPECT_EQ(array[3], 2);
}

TEST(XpArrayTest, NewSlotsAreZeroedAndCopyTakesGrowStep) {
    CXpArray<void*> pointers(4);
    pointers.Reserve(3);
    EXPECT_EQ(pointers.Capacity(), 7);
    for (std::int32_t i = 0; i < pointers.Capacity(); ++i) EXPECT_EQ(pointers.begin()[i], nullptr);

    CXpArray<int> source(3);
    source.Add(4);
    source.Add(5);
    CXpArray<int> copy(10);
    copy = source;
    EXPECT_EQ(copy.GrowBy(), 3);
    EXPECT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy[1], 5);
    copy.Free();
    EXPECT_EQ(copy.Count(), 0);
    EXPECT_EQ(copy.Capacity(), 0);
}

TEST(XpArrayTest, ImpossibleSizeRaisesAndKeepsContents) {
    CXpArray<double> array(10);
    array.Add(1.5);
    EXPECT_THROW(array.Reserve(INT32_MAX - 5), CXpException);
    EXPECT_EQ(array.Count(), 1);
    EXPECT_EQ(array.Capacity(), 11);
    EXPECT_EQ(array[0], 1.5);
}

}  // namespace
}  // namespace tallyhawk
