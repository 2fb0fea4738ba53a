#include "layout/layout_arithmetic.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace corvane {

namespace {

constexpr int kSignificandBits = std::numeric_limits<double>::digits;  // 53
constexpr std::uint64_t kMagnitudeLimit = std::numeric_limits<std::int64_t>::max();

}  // namespace

std::int64_t roundHalfEvenTimes(double v, std::int32_t factor) {
    if (factor < 1 || factor > 1023) {
        throw std::invalid_argument("rounding factor out of range");
    }
    if (!std::isfinite(v)) {
        throw std::domain_error("not a finite number");
    }
    if (v == 0.0) {
        return 0;
    }
    // |v| = significand × 2^shift exactly, significand below 2^53; times a factor below 2^10 the
    // product still fits 63 bits, so the whole calculation is exact integer work.
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(v), &exponent);
    const auto significand = static_cast<std::uint64_t>(std::ldexp(fraction, kSignificandBits));
    const std::uint64_t product = significand * static_cast<std::uint64_t>(factor);
    const int shift = exponent - kSignificandBits;

    std::uint64_t magnitude = 0;
    if (shift >= 0) {
        if (shift >= 63 || product > (kMagnitudeLimit >> shift)) {
            throw std::overflow_error("rounded value exceeds 64 bits");
        }
        magnitude = product << shift;
    } else if (-shift < 64) {
        const int drop = -shift;
        const std::uint64_t remainder = product & ((std::uint64_t{1} << drop) - 1);
        const std::uint64_t half = std::uint64_t{1} << (drop - 1);
        magnitude = product >> drop;
        if (remainder > half || (remainder == half && (magnitude & 1U) != 0)) {
            ++magnitude;
        }
    }
    // else: product < 2^63 shifted right by 64 or more is below one half, which rounds to 0.
    const auto signedMagnitude = static_cast<std::int64_t>(magnitude);
    return v < 0 ? -signedMagnitude : signedMagnitude;
}

std::int32_t checkedInt32(std::int64_t v) {
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) {
        throw std::overflow_error("value exceeds signed 32 bits");
    }
    return static_cast<std::int32_t>(v);
}

std::int32_t storedValue(double v) { return checkedInt32(roundHalfEvenTimes(v, 1)); }

std::int32_t scaled(std::int32_t v, std::int32_t p) {
    const std::int32_t product = checkedInt32(std::int64_t{v} * p);
    return product / 100;
}

std::int32_t percentOf(double current, std::int32_t recorded) {
    if (recorded == 0) {
        throw std::domain_error("division by a recorded extent of 0");
    }
    return checkedInt32(roundHalfEvenTimes(current, 100) / recorded);
}

std::int32_t nextCount(std::int32_t count) {
    if (count == std::numeric_limits<std::int32_t>::max()) {
        throw std::overflow_error("layout table is full");
    }
    return count + 1;
}

}  // namespace corvane
