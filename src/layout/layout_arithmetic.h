#pragma once

#include <cstdint>

namespace corvane {

// Whole-number arithmetic of the layout engine. Every function throws instead of wrapping or
// saturating: std::overflow_error when a result leaves its integer range, std::domain_error for a
// value that is not a number or a division by zero. The engine turns each throw into a skipped step.

// v × factor rounded to the nearest integer, ties to even, computed from the exact product: the
// double is split into its integer significand and exponent, so no intermediate rounding can move
// a value across a .5 boundary. factor must lie in 1..1023.
std::int64_t roundHalfEvenTimes(double v, std::int32_t factor);

// A geometry value as the tables keep it: nearest integer, ties to even, within signed 32 bits.
std::int32_t storedValue(double v);

// Narrows to signed 32 bits, failing outside that range.
std::int32_t checkedInt32(std::int64_t v);

// (v × p) \ 100, truncated toward zero; fails when the product itself leaves signed 32 bits,
// even if the quotient would fit.
std::int32_t scaled(std::int32_t v, std::int32_t p);

// Current client extent × 100, rounded exactly, over the recorded extent, truncated.
std::int32_t percentOf(double current, std::int32_t recorded);

// count + 1 for a table that is about to grow; fails at the signed 32-bit limit.
std::int32_t nextCount(std::int32_t count);

}  // namespace corvane
