#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ombrilo {

// Extended precision is the x87 format; every picture depends on its 64-bit mantissa.
static_assert(std::numeric_limits<long double>::digits == 64,
              "long double must be the x87 extended format with a 64-bit mantissa");

// Truncation toward zero of a real number into an integer type. A plain C++ conversion of an
// out-of-range or not-a-number value is undefined behaviour; values from edited files can be
// anything, so every real-to-integer conversion of the program goes through here: the result
// saturates at the type's limits and NaN becomes 0.
template <typename Int>
Int TruncSaturate(long double value) {
    static_assert(std::numeric_limits<Int>::is_integer);
    if (std::isnan(value)) {
        return 0;
    }
    constexpr long double lo = static_cast<long double>(std::numeric_limits<Int>::min());
    // max() + 1 is a power of two and therefore exact in long double.
    constexpr long double hiExclusive =
        static_cast<long double>(std::numeric_limits<Int>::max() / 2 + 1) * 2.0L;
    if (value <= lo) {
        return std::numeric_limits<Int>::min();
    }
    if (value >= hiExclusive) {
        return std::numeric_limits<Int>::max();
    }
    return static_cast<Int>(value);
}

// Whether two doubles are the same bits: tells 0 from -0 and one NaN from another, where == does
// not.
inline bool SameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

inline std::int32_t TruncToInt32(long double value) {
    return TruncSaturate<std::int32_t>(value);
}
inline std::int64_t TruncToInt64(long double value) {
    return TruncSaturate<std::int64_t>(value);
}

}  // namespace ombrilo
