// The main window's point function on AVX-512 lanes: eight doubles to a register, four registers
// side by side. The kernel is z2_lanes.h, the same code as the AVX2 lanes, instantiated with the
// operations below; why it gives exactly the reference's indices, on either width, is written
// there.

#include "z2_avx512.h"

#include <immintrin.h>

#include <cstdint>

#include "lane_masks.h"
#include "trap_region.h"
#include "z2_avx2.h"

#define OMBRILO_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma")))
#define OMBRILO_Z2_LANES OMBRILO_AVX512
#include "z2_lanes.h"

namespace ombrilo::detail {

namespace {

struct Avx512Lanes {
    static constexpr int kWidth = 8;
    static constexpr int kGroups = 4;  // registers stepped side by side, to cover the latency
    using Real = __m512d;
    using Mask = __mmask8;
    using Floats = __m256;
    using FloatMask = __mmask8;

    // The conversions are the masked forms with every lane on: the unmasked ones of GCC 12's
    // avx512fintrin.h merge into a deliberately undefined register, which its optimiser then
    // warns about.

    OMBRILO_AVX512 static Real Set(double v) { return _mm512_set1_pd(v); }
    OMBRILO_AVX512 static Real Load(const double* p) { return _mm512_load_pd(p); }
    OMBRILO_AVX512 static void Store(double* p, Real v) { _mm512_store_pd(p, v); }
    OMBRILO_AVX512 static void StoreLanes(double* p, unsigned lanes, Real v) {
        _mm512_mask_store_pd(p, static_cast<__mmask8>(lanes), v);
    }
    OMBRILO_AVX512 static Real LoadFloats(const float* p, int count) {
        return _mm512_maskz_cvtps_pd(
            0xFF, _mm256_maskz_loadu_ps(static_cast<__mmask8>((1u << count) - 1), p));
    }
    OMBRILO_AVX512 static Real Add(Real a, Real b) { return _mm512_add_pd(a, b); }
    OMBRILO_AVX512 static Real Sub(Real a, Real b) { return _mm512_sub_pd(a, b); }
    OMBRILO_AVX512 static Real Mul(Real a, Real b) { return _mm512_mul_pd(a, b); }
    OMBRILO_AVX512 static Real FmAdd(Real a, Real b, Real c) { return _mm512_fmadd_pd(a, b, c); }
    OMBRILO_AVX512 static Real FloatGrid(Real v) {
        const __m512i carried =
            _mm512_add_epi64(_mm512_castpd_si512(v), _mm512_set1_epi64(kFloatGridHalfStep));
        return _mm512_castsi512_pd(_mm512_and_si512(carried, _mm512_set1_epi64(kFloatGridKept)));
    }
    OMBRILO_AVX512 static Mask GreaterEq(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ);
    }
    OMBRILO_AVX512 static Mask Equal(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ);
    }
    OMBRILO_AVX512 static Mask SameBits(Real a, Real b) {
        return _mm512_cmpeq_epi64_mask(_mm512_castpd_si512(a), _mm512_castpd_si512(b));
    }
    OMBRILO_AVX512 static Mask Or(Mask a, Mask b) { return static_cast<Mask>(a | b); }
    OMBRILO_AVX512 static Mask And(Mask a, Mask b) { return static_cast<Mask>(a & b); }
    OMBRILO_AVX512 static unsigned Bits(Mask m) { return m; }
    OMBRILO_AVX512 static Floats ToFloats(Real v) { return _mm512_maskz_cvtpd_ps(0xFF, v); }
    OMBRILO_AVX512 static Real FromFloats(Floats v) { return _mm512_maskz_cvtps_pd(0xFF, v); }
    OMBRILO_AVX512 static FloatMask SameFloats(Floats a, Floats b) {
        return _mm256_cmpeq_epi32_mask(_mm256_castps_si256(a), _mm256_castps_si256(b));
    }
    OMBRILO_AVX512 static Real Replace(Real v, Real w, unsigned lanes) {
        return _mm512_mask_mov_pd(v, static_cast<__mmask8>(lanes), w);
    }
    OMBRILO_AVX512 static void WriteIndex(std::uint8_t* p, unsigned lanes, int index) {
        _mm_mask_storeu_epi8(p, static_cast<__mmask16>(lanes),
                             _mm_set1_epi8(static_cast<char>(index)));
    }
    OMBRILO_AVX512 static unsigned Trapped(const TrapRegion& trap, Real x, Real y) {
        return TrappedLanes(trap, x, y);
    }
};

}  // namespace

bool ProcessorHasWideLanes() {
    return ProcessorHasLanes() && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512bw");
}

OMBRILO_AVX512 void Z2RunAvx512(double cx, double cy, const float* x, float y, int count,
                                std::uint8_t* indices, KernelCounters& tally) {
    RunRowOnLanes<Avx512Lanes>(cx, cy, x, y, count, indices, tally);
}

OMBRILO_AVX512 void Z2IterateCheckedAvx512(double cx, double cy, const float* x, const float* y,
                                           int count, FloatPoint* next, KernelCounters& tally) {
    IterateCheckedOnLanes<Avx512Lanes>(cx, cy, x, y, count, next, tally);
}

}  // namespace ombrilo::detail
