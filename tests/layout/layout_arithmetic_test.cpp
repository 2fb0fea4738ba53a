#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "layout/layout_arithmetic.h"
#include "layout/proportional_layout.h"

using namespace corvane;

namespace {
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
}  // namespace

TEST(LayoutRounding, TiesGoToEven) {
    EXPECT_EQ(storedValue(0.5), 0);
    EXPECT_EQ(storedValue(1.5), 2);
    EXPECT_EQ(storedValue(2.5), 2);
    EXPECT_EQ(storedValue(3.5), 4);
    EXPECT_EQ(storedValue(-0.5), 0);
    EXPECT_EQ(storedValue(-2.5), -2);
    EXPECT_EQ(storedValue(-3.5), -4);
    EXPECT_EQ(storedValue(1199.6), 1200);
    EXPECT_EQ(storedValue(-2999.4), -2999);
}

TEST(LayoutRounding, JustBelowOneHalfRoundsDown) {
    // The classic floor(x + 0.5) rounds this to 1.
    EXPECT_EQ(storedValue(0.49999999999999994), 0);
    EXPECT_EQ(storedValue(5e-324), 0);
}

TEST(LayoutRounding, StoredValueMustFitSigned32Bits) {
    EXPECT_EQ(storedValue(2147483647.4), kMax32);
    EXPECT_THROW(storedValue(2147483647.5), std::overflow_error);  // even neighbour is 2^31
    EXPECT_EQ(storedValue(-2147483648.5), kMin32);                 // even neighbour is -2^31
    EXPECT_THROW(storedValue(-2147483648.51), std::overflow_error);
    EXPECT_THROW(storedValue(1e10), std::overflow_error);
}

TEST(LayoutRounding, NotANumberFails) {
    EXPECT_THROW(storedValue(std::nan("")), std::domain_error);
    EXPECT_THROW(storedValue(std::numeric_limits<double>::infinity()), std::domain_error);
    EXPECT_THROW(roundHalfEvenTimes(-std::numeric_limits<double>::infinity(), 100), std::domain_error);
}

TEST(LayoutRounding, HundredfoldProductIsRoundedExactly) {
    // Each of these doubles lies just off a half-hundredth, but multiplying by 100 in double
    // precision lands exactly on .5 and the tie then rounds the wrong way.
    EXPECT_EQ(std::nearbyint(2.675 * 100), 268.0);
    EXPECT_EQ(roundHalfEvenTimes(2.675, 100), 267);
    EXPECT_EQ(roundHalfEvenTimes(1234.565, 100), 123457);
    EXPECT_EQ(roundHalfEvenTimes(0.005, 100), 1);
    EXPECT_EQ(roundHalfEvenTimes(0.015, 100), 1);
    EXPECT_EQ(roundHalfEvenTimes(0.025, 100), 3);
    EXPECT_EQ(roundHalfEvenTimes(-2.675, 100), -267);
    EXPECT_EQ(roundHalfEvenTimes(-0.025, 100), -3);
}

TEST(LayoutRounding, HundredfoldExactTiesGoToEven) {
    EXPECT_EQ(roundHalfEvenTimes(0.125, 100), 12);
    EXPECT_EQ(roundHalfEvenTimes(0.375, 100), 38);
    EXPECT_EQ(roundHalfEvenTimes(-0.125, 100), -12);
    EXPECT_EQ(roundHalfEvenTimes(99.995, 100), 10000);  // this double lies just above 99.995
    EXPECT_EQ(roundHalfEvenTimes(9990, 100), 999000);
}

TEST(LayoutRounding, LargeMagnitudesStayExact) {
    EXPECT_EQ(roundHalfEvenTimes(2251799813685248.5, 1), 2251799813685248);
    EXPECT_EQ(roundHalfEvenTimes(2251799813685249.5, 1), 2251799813685250);
    EXPECT_EQ(roundHalfEvenTimes(9.2e16, 100), 9200000000000000000);
    EXPECT_THROW(roundHalfEvenTimes(1e17, 100), std::overflow_error);
    EXPECT_THROW(roundHalfEvenTimes(1e300, 1), std::overflow_error);
}

TEST(LayoutScaled, TruncatesTowardZero) {
    EXPECT_EQ(scaled(-150, 1), -1);
    EXPECT_EQ(scaled(150, 1), 1);
    EXPECT_EQ(scaled(-199, 1), -1);
    EXPECT_EQ(scaled(72000, 50), 36000);
    EXPECT_EQ(scaled(72000, 120), 86400);
    EXPECT_EQ(scaled(1000, 111), 1110);
    EXPECT_EQ(scaled(12345, 0), 0);
}

TEST(LayoutScaled, FailsWhenTheProductLeavesSigned32BitsEvenIfTheQuotientFits) {
    EXPECT_EQ(scaled(21474836, 100), 21474836);
    EXPECT_THROW(scaled(21474837, 100), std::overflow_error);
    EXPECT_THROW(scaled(25000000, 100), std::overflow_error);
    EXPECT_EQ(scaled(-1073741824, 2), -21474836);  // product exactly -2^31
    EXPECT_THROW(scaled(-1073741825, 2), std::overflow_error);
    EXPECT_THROW(scaled(kMax32, kMax32), std::overflow_error);
}

TEST(LayoutPercent, WholePercentTruncated) {
    EXPECT_EQ(percentOf(9000, 9000), 100);
    EXPECT_EQ(percentOf(9990, 9000), 111);
    EXPECT_EQ(percentOf(8999, 9000), 99);
    EXPECT_EQ(percentOf(9089, 9000), 100);  // less than one percent of growth changes nothing
    EXPECT_EQ(percentOf(9090, 9000), 101);
    EXPECT_EQ(percentOf(0, 9000), 0);
    EXPECT_EQ(percentOf(2.675, 1), 267);
}

TEST(LayoutPercent, FailsOnRecordedZeroAndOnOverflow) {
    EXPECT_THROW(percentOf(9000, 0), std::domain_error);
    EXPECT_THROW(percentOf(0, 0), std::domain_error);
    EXPECT_THROW(percentOf(3e7, 1), std::overflow_error);
    EXPECT_THROW(percentOf(std::nan(""), 9000), std::domain_error);
}

TEST(LayoutCounts, OverflowAtTheSigned32BitLimit) {
    EXPECT_EQ(nextCount(0), 1);
    EXPECT_EQ(nextCount(kMax32 - 1), kMax32);
    EXPECT_THROW(nextCount(kMax32), std::overflow_error);
}

TEST(LayoutOffset, OnlyNegativeValuesAreShifted) {
    EXPECT_EQ(OffsetNegativeX(-3000), 72000);
    EXPECT_EQ(OffsetNegativeX(-80000), -5000);
    EXPECT_EQ(OffsetNegativeX(-1), 74999);
    EXPECT_EQ(OffsetNegativeX(0), 0);
    EXPECT_EQ(OffsetNegativeX(1200), 1200);
    EXPECT_EQ(OffsetNegativeX(kMin32), kMin32 + 75000);
}
