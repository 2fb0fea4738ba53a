#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "layout/layout_arithmetic.h"
#include "layout/proportional_layout.h"

using namespace corvane;

TEST(LayoutArithmetic, RoundsTheExactProductHalfToEven) {
    struct Case {
        double v;
        std::int32_t factor;
        std::int64_t expected;
    };
    for (const auto& [v, factor, expected] : std::vector<Case>{
             {0.5, 1, 0},
             {1.5, 1, 2},
             {2.5, 1, 2},
             {-2.5, 1, -2},
             {-3.5, 1, -4},
             {0.49999999999999994, 1, 0},  // floor(x + 0.5) gives 1
             {5e-324, 1, 0},
             {0.125, 100, 12},
             {0.375, 100, 38},
             {-0.125, 100, -12},
             // Just off a half-hundredth: the double product lands on .5 and ties the wrong way.
             {2.675, 100, 267},
             {1234.565, 100, 123457},
             {0.005, 100, 1},
             {0.015, 100, 1},
             {0.025, 100, 3},
             {-2.675, 100, -267},
             {2251799813685248.5, 1, 2251799813685248},
             {2251799813685249.5, 1, 2251799813685250},
             {9.2e16, 100, 9200000000000000000}}) {
        EXPECT_EQ(roundHalfEvenTimes(v, factor), expected) << v << " x " << factor;
    }
    EXPECT_EQ(std::nearbyint(2.675 * 100), 268.0);  // the trap
    EXPECT_THROW(roundHalfEvenTimes(1e17, 100), std::overflow_error);
    EXPECT_THROW(roundHalfEvenTimes(std::nan(""), 1), std::domain_error);
    EXPECT_THROW(roundHalfEvenTimes(-std::numeric_limits<double>::infinity(), 100), std::domain_error);
}

TEST(LayoutArithmetic, StoredValuesMustFitSigned32Bits) {
    EXPECT_EQ(storedValue(2147483647.4), 2147483647);
    EXPECT_THROW(storedValue(2147483647.5), std::overflow_error);  // even neighbour is 2^31
    EXPECT_EQ(storedValue(-2147483648.5), -2147483647 - 1);
    EXPECT_THROW(storedValue(-2147483648.51), std::overflow_error);
}

TEST(LayoutArithmetic, ScaledTruncatesTowardZeroAndFailsWhenTheProductOverflows) {
    EXPECT_EQ(scaled(-150, 1), -1);
    EXPECT_EQ(scaled(-199, 1), -1);
    EXPECT_EQ(scaled(72000, 120), 86400);
    EXPECT_EQ(scaled(1000, 111), 1110);
    EXPECT_EQ(scaled(21474836, 100), 21474836);
    EXPECT_THROW(scaled(21474837, 100), std::overflow_error);  // the quotient would fit
    EXPECT_EQ(scaled(-1073741824, 2), -21474836);              // product exactly -2^31
    EXPECT_THROW(scaled(-1073741825, 2), std::overflow_error);
}

TEST(LayoutArithmetic, PercentIsWholeAndTruncated) {
    EXPECT_EQ(percentOf(9990, 9000), 111);
    EXPECT_EQ(percentOf(8999, 9000), 99);
    EXPECT_EQ(percentOf(9089, 9000), 100);
    EXPECT_EQ(percentOf(2.675, 1), 267);
    EXPECT_THROW(percentOf(9000, 0), std::domain_error);
    EXPECT_THROW(percentOf(3e7, 1), std::overflow_error);
}

TEST(LayoutArithmetic, CountsStopAtTheSigned32BitLimitAndOnlyNegativeXIsOffset) {
    EXPECT_EQ(nextCount(2147483646), 2147483647);
    EXPECT_THROW(nextCount(2147483647), std::overflow_error);
    EXPECT_EQ(OffsetNegativeX(-3000), 72000);
    EXPECT_EQ(OffsetNegativeX(-80000), -5000);
    EXPECT_EQ(OffsetNegativeX(0), 0);
    EXPECT_EQ(OffsetNegativeX(1200), 1200);
}
