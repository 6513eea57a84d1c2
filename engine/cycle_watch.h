#pragma once

#include <bit>
#include <cstdint>

namespace ombrilo::detail {

// Two saved states: one renewed every 8 iterates (short cycles are caught a few iterates after
// the orbit settles), one every 64 (longer ones), and for the export one every 512.
// How much this saves depends on C. With the start constant the inside of the set is drawn to
// a weakly attracting cycle of period 5: float orbits first repeat after about 1450 iterates,
// so no main-view point stops before the limit of 254 by a repeat, and double orbits after
// about 4600; the trap region (trap_region.h) stops both after about 55.
template <typename State>
class CycleWatch {
public:
    bool Repeats(std::int32_t n, const State& state) {
        if (state == short_ || state == long_ || state == longest_) {
            return true;
        }
        if (n % 8 == 0) {
            short_ = state;
            if (n % 64 == 0) {
                long_ = state;
                if (n % 512 == 0) {
                    longest_ = state;
                }
            }
        }
        return false;
    }

private:
    // Until the first saves these hold a state no orbit reaches: the start point is compared
    // with nothing, and a repeat needs two tested iterates.
    State short_ = State::Never();
    State long_ = State::Never();
    State longest_ = State::Never();
};

// Bit patterns of a state, plus one pattern that is no state at all.
struct FloatStateBits {
    std::uint64_t bits = 0;
    bool valid = false;
    static FloatStateBits Never() { return {}; }
    static FloatStateBits Of(float x, float y) {
        return {(std::uint64_t{std::bit_cast<std::uint32_t>(x)} << 32) |
                    std::bit_cast<std::uint32_t>(y),
                true};
    }
    bool operator==(const FloatStateBits&) const = default;
};

struct DoubleStateBits {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    bool valid = false;
    static DoubleStateBits Never() { return {}; }
    static DoubleStateBits Of(double px, double py) {
        return {std::bit_cast<std::uint64_t>(px), std::bit_cast<std::uint64_t>(py), true};
    }
    bool operator==(const DoubleStateBits&) const = default;
};

}  // namespace ombrilo::detail
