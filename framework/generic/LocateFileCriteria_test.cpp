#include "generic/LocateFileCriteria.h"

#include <gtest/gtest.h>

using Generic::SingleSetOfFileCriteria;

TEST(SingleSetOfFileCriteria, GivesAPassWithCriteriaThenOneWithout) {
    SingleSetOfFileCriteria criteria(".cfg", "QXPATH");
    EXPECT_EQ(nullptr, criteria.extension());
    EXPECT_FALSE(criteria.toNext());

    EXPECT_TRUE(criteria.toFirst());
    EXPECT_STREQ(".cfg", criteria.extension());
    EXPECT_STREQ("QXPATH", criteria.pathEnvVar());
    EXPECT_EQ(nullptr, criteria.prefixSearchPath());

    EXPECT_TRUE(criteria.toNext());
    EXPECT_EQ(nullptr, criteria.extension());
    EXPECT_EQ(nullptr, criteria.pathEnvVar());
    EXPECT_FALSE(criteria.toNext());

    EXPECT_TRUE(criteria.toFirst());
    EXPECT_STREQ(".cfg", criteria.extension());
}
