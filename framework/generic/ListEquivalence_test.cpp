#include "generic/ListEquivalence.h"

#include <gtest/gtest.h>

#include <string>

TEST(ListEquivalence, SameElementsSameNumberOfTimesInAnyOrder) {
    struct Case {
        std::vector<std::string> a, b;
        bool equivalent;
    } cases[] = {
        {{"a", "b", "b"}, {"b", "a", "b"}, true},
        {{"a", "b"}, {"a", "b", "b"}, false},
        {{"a", "a", "b"}, {"a", "b", "b"}, false},
        {{}, {}, true},
        {{"A"}, {"a"}, false},
        {{"\xff", "a"}, {"a", "\xff"}, true},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.a) + " vs " + testing::PrintToString(c.b));
        EXPECT_EQ(Generic::equivalent(c.a, c.b), c.equivalent);
        EXPECT_EQ(Generic::equivalent(c.b, c.a), c.equivalent);
    }
    std::vector<long long> numbers{10, -1, 10}, reordered{-1, 10, 10}, other{-1, -1, 10};
    EXPECT_TRUE(Generic::equivalent(numbers, reordered));
    EXPECT_FALSE(Generic::equivalent(numbers, other));
}
