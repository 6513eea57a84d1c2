// The map's lanes on AVX-512: eight doubles per register. The kernel and the argument that it
// gives the reference's indices are in map_lanes.h; here are only the operations, each the IEEE
// 754 operation its name says, rounding to nearest (no embedded rounding, no approximations).

#include <immintrin.h>

#include "map_kernels.h"

#define OMBRILO_MAP_TARGET __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma")))
#include "map_lanes.h"

// GCC 12's avx512fintrin.h hands a deliberately undefined register to the unmasked conversions
// as their unused merge source, and its optimiser then warns about it; no value of ours is
// uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace ombrilo::detail {

namespace {

struct Avx512Ops {
    static constexpr int kWidth = 8;
    // Whether RN(y*y) of the sum stays in a register for the next step (with 32 registers) or
    // is formed again there (with 16).
    static constexpr bool kCarrySquare = true;
    using D = __m512d;
    using M = __mmask8;
    using P = __mmask8;

    OMBRILO_MAP_TARGET static D Set1(double v) { return _mm512_set1_pd(v); }
    OMBRILO_MAP_TARGET static D Load(const double* p) { return _mm512_load_pd(p); }
    OMBRILO_MAP_TARGET static void Store(double* p, D v) { _mm512_store_pd(p, v); }
    OMBRILO_MAP_TARGET static D Add(D a, D b) { return _mm512_add_pd(a, b); }
    OMBRILO_MAP_TARGET static D Sub(D a, D b) { return _mm512_sub_pd(a, b); }
    OMBRILO_MAP_TARGET static D Mul(D a, D b) { return _mm512_mul_pd(a, b); }
    OMBRILO_MAP_TARGET static D Div(D a, D b) { return _mm512_div_pd(a, b); }
    // All lanes computed; the merge source only keeps GCC from a header's undefined register.
    OMBRILO_MAP_TARGET static D Sqrt(D a) { return _mm512_mask_sqrt_pd(a, 0xFF, a); }
    OMBRILO_MAP_TARGET static D Fma(D a, D b, D c) { return _mm512_fmadd_pd(a, b, c); }
    OMBRILO_MAP_TARGET static D Abs(D a) { return _mm512_abs_pd(a); }
    OMBRILO_MAP_TARGET static D ToFloat(D a) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(a)); }
    OMBRILO_MAP_TARGET static M SameFloatBits(D a, D b) {
        return _mm256_cmpeq_epi32_mask(_mm256_castps_si256(_mm512_cvtpd_ps(a)),
                                       _mm256_castps_si256(_mm512_cvtpd_ps(b)));
    }
    OMBRILO_MAP_TARGET static M DifferentBitsWithin(M m, D a, D b) {
        return _mm512_mask_cmpneq_epi64_mask(m, _mm512_castpd_si512(a), _mm512_castpd_si512(b));
    }
    OMBRILO_MAP_TARGET static M Ge(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    OMBRILO_MAP_TARGET static M Less(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    OMBRILO_MAP_TARGET static M LessEqual(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    OMBRILO_MAP_TARGET static M Eq(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    OMBRILO_MAP_TARGET static M Or(M a, M b) { return static_cast<M>(a | b); }
    OMBRILO_MAP_TARGET static M And(M a, M b) { return static_cast<M>(a & b); }
    OMBRILO_MAP_TARGET static unsigned Bits(M m) { return m; }
    // Four masks joined by mask unpacking, which keeps the mask moves off the arithmetic's port.
    template <int kCount>
    OMBRILO_MAP_TARGET static std::uint64_t Join(const M* m) {
        if constexpr (kCount == 4) {
            const __mmask16 low = _mm512_kunpackb(m[1], m[0]);
            const __mmask16 high = _mm512_kunpackb(m[3], m[2]);
            return _cvtmask32_u32(_mm512_kunpackw(high, low));
        } else {
            std::uint64_t bits = 0;
            for (int j = 0; j < kCount; ++j) {
                bits |= std::uint64_t{m[j]} << (kWidth * j);
            }
            return bits;
        }
    }
    OMBRILO_MAP_TARGET static D Blend(M m, D a, D b) { return _mm512_mask_blend_pd(m, a, b); }
};

}  // namespace

OMBRILO_MAP_TARGET void MapRunAvx512(const float* x, const float* y, int count,
                                     std::uint8_t* indices, KernelCounters& tally) {
    MapLanes<Avx512Ops, 4, 4>(x, y, count, indices, tally).Run();
}

OMBRILO_MAP_TARGET void MapStepAvx512(const float* cx, const float* cy, const float* x,
                                      const float* y, int count, FloatPoint* next) {
    KernelCounters tally;
    MapLanes<Avx512Ops, 4, 4>(nullptr, nullptr, 0, nullptr, tally)
        .StepEach(cx, cy, x, y, count, next);
}

}  // namespace ombrilo::detail
