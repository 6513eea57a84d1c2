// The main window's point function on AVX2 lanes: four doubles to a register, five registers
// side by side. The kernel is z2_lanes.h, the same code as the AVX-512 lanes, instantiated with
// the operations below; why it gives exactly the reference's indices is written there. The
// lanes need AVX2 and FMA.

#include "z2_avx2.h"

#include <immintrin.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "lane_masks.h"
#include "trap_region.h"

#define OMBRILO_AVX2 __attribute__((target("avx2,fma")))  // the lanes need both
#define OMBRILO_Z2_LANES OMBRILO_AVX2
#include "z2_lanes.h"

namespace ombrilo::detail {

namespace {

bool AcceptedPart(double c) {
    const double magnitude = std::fabs(c);
    return c == 0.0 || (magnitude >= kSmallestConstant && magnitude <= kLaneLimit);
}

struct Avx2Lanes {
    static constexpr int kWidth = 4;
    // Registers stepped side by side, to cover the step's latency with the 16 registers there
    // are.
    static constexpr int kGroups = 5;
    using Real = __m256d;
    using Mask = __m256d;
    using Floats = __m128;
    using FloatMask = __m128i;

    OMBRILO_AVX2 static Real Set(double v) { return _mm256_set1_pd(v); }
    OMBRILO_AVX2 static Real Load(const double* p) { return _mm256_load_pd(p); }
    OMBRILO_AVX2 static void Store(double* p, Real v) { _mm256_store_pd(p, v); }
    OMBRILO_AVX2 static void StoreLanes(double* p, unsigned lanes, Real v) {
        _mm256_store_pd(p, Replace(_mm256_load_pd(p), v, lanes));
    }
    OMBRILO_AVX2 static Real LoadFloats(const float* p, int count) {
        const __m128i load = _mm_cmpgt_epi32(_mm_set1_epi32(count), _mm_setr_epi32(0, 1, 2, 3));
        return _mm256_cvtps_pd(_mm_maskload_ps(p, load));
    }
    OMBRILO_AVX2 static Real Add(Real a, Real b) { return _mm256_add_pd(a, b); }
    OMBRILO_AVX2 static Real Sub(Real a, Real b) { return _mm256_sub_pd(a, b); }
    OMBRILO_AVX2 static Real Mul(Real a, Real b) { return _mm256_mul_pd(a, b); }
    OMBRILO_AVX2 static Real FmAdd(Real a, Real b, Real c) { return _mm256_fmadd_pd(a, b, c); }
    OMBRILO_AVX2 static Real FloatGrid(Real v) {
        const __m256i carried =
            _mm256_add_epi64(_mm256_castpd_si256(v), _mm256_set1_epi64x(kFloatGridHalfStep));
        return _mm256_castsi256_pd(_mm256_and_si256(carried, _mm256_set1_epi64x(kFloatGridKept)));
    }
    OMBRILO_AVX2 static Mask GreaterEq(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    OMBRILO_AVX2 static Mask Equal(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    OMBRILO_AVX2 static Mask SameBits(Real a, Real b) {
        return _mm256_castsi256_pd(
            _mm256_cmpeq_epi64(_mm256_castpd_si256(a), _mm256_castpd_si256(b)));
    }
    OMBRILO_AVX2 static Mask Or(Mask a, Mask b) { return _mm256_or_pd(a, b); }
    OMBRILO_AVX2 static Mask And(Mask a, Mask b) { return _mm256_and_pd(a, b); }
    OMBRILO_AVX2 static FloatMask And(FloatMask a, FloatMask b) { return _mm_and_si128(a, b); }
    OMBRILO_AVX2 static unsigned Bits(Mask m) {
        return static_cast<unsigned>(_mm256_movemask_pd(m));
    }
    OMBRILO_AVX2 static unsigned Bits(FloatMask m) {
        return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(m)));
    }
    OMBRILO_AVX2 static Floats ToFloats(Real v) { return _mm256_cvtpd_ps(v); }
    OMBRILO_AVX2 static Real FromFloats(Floats v) { return _mm256_cvtps_pd(v); }
    OMBRILO_AVX2 static FloatMask SameFloats(Floats a, Floats b) {
        return _mm_cmpeq_epi32(_mm_castps_si128(a), _mm_castps_si128(b));
    }
    OMBRILO_AVX2 static Real Replace(Real v, Real w, unsigned lanes) {
        return _mm256_blendv_pd(v, w, LanesMask(static_cast<int>(lanes)));
    }
    // No byte-masked store before AVX-512: one byte at a time.
    OMBRILO_AVX2 static void WriteIndex(std::uint8_t* p, unsigned lanes, int index) {
        for (; lanes != 0; lanes &= lanes - 1) {
            p[std::countr_zero(lanes)] = static_cast<std::uint8_t>(index);
        }
    }
    OMBRILO_AVX2 static unsigned Trapped(const TrapRegion& trap, Real x, Real y) {
        return static_cast<unsigned>(TrappedLanes(trap, x, y));
    }
};

}  // namespace

bool ProcessorHasLanes() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

// The range of C both forms take (z2_lanes.h), kept with the narrower form, which
// fast_kernels.cpp asks about before either.
bool LanesAcceptConstant(double cx, double cy) {
    return AcceptedPart(cx) && AcceptedPart(cy);
}

OMBRILO_AVX2 void Z2RunAvx2(double cx, double cy, const float* x, float y, int count,
                            std::uint8_t* indices, KernelCounters& tally) {
    RunRowOnLanes<Avx2Lanes>(cx, cy, x, y, count, indices, tally);
}

OMBRILO_AVX2 void Z2IterateCheckedAvx2(double cx, double cy, const float* x, const float* y,
                                       int count, FloatPoint* next, KernelCounters& tally) {
    IterateCheckedOnLanes<Avx2Lanes>(cx, cy, x, y, count, next, tally);
}

}  // namespace ombrilo::detail
