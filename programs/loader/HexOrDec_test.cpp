#include "loader/HexOrDec.h"

#include <gtest/gtest.h>

TEST(HexOrDec, ReadsHexadecimalByItsXAndDecimalOtherwise) {
    struct Case {
        char const* text;
        int converted;
        uint32_t value;  // 77 when the target must stay untouched
    } const cases[] = {
        {"0x10", 1, 16},
        {"0X1f", 1, 31},
        {"10", 1, 10},
        {"0", 1, 0},
        {"4294967295", 1, 4294967295u},
        {"0xffffffff", 1, 4294967295u},
        {"12abc", 1, 12},  // scanf stops at the first character it cannot use
        {"abc", 0, 77},
        {"x1", 0, 77},  // hexadecimal, but %x takes no bare x prefix
        {"", -1, 77},   // read as decimal, fails at the end of the text
        {"-", 0, 77},
    };
    for (Case const& c : cases) {
        uint32_t value = 77;
        EXPECT_EQ(c.converted, hex_or_dec_2_uint(c.text, &value)) << '"' << c.text << '"';
        EXPECT_EQ(c.value, value) << '"' << c.text << '"';
    }
}
