// The map's lanes on AVX2 with FMA: four doubles per register. The kernel and the argument that
// it gives the reference's indices are in map_lanes.h; here are only the operations, each the
// IEEE 754 operation its name says, rounding to nearest.

#include <immintrin.h>

#include "map_kernels.h"

#define OMBRILO_MAP_TARGET __attribute__((target("avx2,fma")))
#include "map_lanes.h"

namespace ombrilo::detail {

namespace {

struct Avx2Ops {
    static constexpr int kWidth = 4;
    // Whether RN(y*y) of the sum stays in a register for the next step (with 32 registers) or
    // is formed again there (with 16).
    static constexpr bool kCarrySquare = false;
    using D = __m256d;
    using M = __m256d;
    using P = unsigned;  // the check's verdicts as bits: moved out of the register at once

    OMBRILO_MAP_TARGET static D Set1(double v) { return _mm256_set1_pd(v); }
    OMBRILO_MAP_TARGET static D Load(const double* p) { return _mm256_load_pd(p); }
    OMBRILO_MAP_TARGET static void Store(double* p, D v) { _mm256_store_pd(p, v); }
    OMBRILO_MAP_TARGET static D Add(D a, D b) { return _mm256_add_pd(a, b); }
    OMBRILO_MAP_TARGET static D Sub(D a, D b) { return _mm256_sub_pd(a, b); }
    OMBRILO_MAP_TARGET static D Mul(D a, D b) { return _mm256_mul_pd(a, b); }
    OMBRILO_MAP_TARGET static D Div(D a, D b) { return _mm256_div_pd(a, b); }
    OMBRILO_MAP_TARGET static D Sqrt(D a) { return _mm256_sqrt_pd(a); }
    OMBRILO_MAP_TARGET static D Fma(D a, D b, D c) { return _mm256_fmadd_pd(a, b, c); }
    OMBRILO_MAP_TARGET static D Abs(D a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    OMBRILO_MAP_TARGET static D ToFloat(D a) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(a)); }
    OMBRILO_MAP_TARGET static P SameFloatBits(D a, D b) {
        const __m128i same = _mm_cmpeq_epi32(_mm_castps_si128(_mm256_cvtpd_ps(a)),
                                             _mm_castps_si128(_mm256_cvtpd_ps(b)));
        return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(same)));
    }
    OMBRILO_MAP_TARGET static M DifferentBitsWithin(M m, D a, D b) {
        return _mm256_andnot_pd(
            _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_castpd_si256(a), _mm256_castpd_si256(b))),
            m);
    }
    OMBRILO_MAP_TARGET static M Ge(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    OMBRILO_MAP_TARGET static M Less(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    OMBRILO_MAP_TARGET static M LessEqual(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    OMBRILO_MAP_TARGET static M Eq(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    OMBRILO_MAP_TARGET static M Or(M a, M b) { return _mm256_or_pd(a, b); }
    OMBRILO_MAP_TARGET static M And(M a, M b) { return _mm256_and_pd(a, b); }
    OMBRILO_MAP_TARGET static P And(P a, P b) { return a & b; }
    OMBRILO_MAP_TARGET static unsigned Bits(P p) { return p; }
    OMBRILO_MAP_TARGET static unsigned Bits(M m) {
        return static_cast<unsigned>(_mm256_movemask_pd(m));
    }
    template <int kCount, typename Mask>
    OMBRILO_MAP_TARGET static std::uint64_t Join(const Mask* m) {
        std::uint64_t bits = 0;
        for (int j = 0; j < kCount; ++j) {
            bits |= std::uint64_t{Bits(m[j])} << (kWidth * j);
        }
        return bits;
    }
    OMBRILO_MAP_TARGET static D Blend(M m, D a, D b) { return _mm256_blendv_pd(a, b, m); }
};

}  // namespace

OMBRILO_MAP_TARGET void MapRunAvx2(const float* x, const float* y, int count, std::uint8_t* indices,
                                   KernelCounters& tally) {
    MapLanes<Avx2Ops, 4, 4>(x, y, count, indices, tally).Run();
}

OMBRILO_MAP_TARGET void MapStepAvx2(const float* cx, const float* cy, const float* x,
                                    const float* y, int count, FloatPoint* next) {
    KernelCounters tally;
    MapLanes<Avx2Ops, 4, 4>(nullptr, nullptr, 0, nullptr, tally)
        .StepEach(cx, cy, x, y, count, next);
}

}  // namespace ombrilo::detail
