// The export's checked FMA kernel on AVX-512 lanes: eight doubles to a register.
//
// Why it gives exactly the reference's indices
// ---------------------------------------------
// The kernel is export_lanes.h, the same code as the AVX2 lanes, instantiated with the
// operations below. Each of them does in every lane what the scalar operation of the same name
// does in IEEE double arithmetic with rounding to nearest, and nothing else:
// - add, sub, mul, fmadd and fmsub (vaddpd, vsubpd, vmulpd, vfmadd/vfmsub) round once, to
//   nearest even, under the default MXCSR the program never changes, exactly as their AVX2
//   forms; no embedded rounding or exception suppression is used, and denormals are neither
//   flushed nor treated as zero (the checks of export_fma.cpp keep every operand in range, and
//   out-of-range states are refused before their results are used);
// - comparisons (vcmppd into a mask register) use the same ordered predicates as the AVX2
//   code, so a NaN compares false in both; a mask register holds bit i for lane i, which is
//   what the AVX2 form gets from its movemask;
// - Abs clears the sign bit (an and of the bits), HalfGap isolates the exponent bits and
//   tests the mantissa bits for zero as the scalar HalfGap does, SameBits compares 64-bit
//   patterns, Replace blends whole lanes by mask: all exact bit operations.
// So every lane computes bit for bit what the scalar FMA step computes, the argument of
// export_fma.cpp (the error bound, the exact-tie rule, the escape band and
// the cycle detection) holds for each lane, and only the number of points in flight changes:
// sixteen instead of eight, each lane taking the run's next point as the AVX2 lanes do.

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "color_table.h"
#include "export_fma.h"
#include "lane_masks.h"
#include "trap_region.h"

#define OMBRILO_AVX512 __attribute__((target("avx512f,avx2,fma")))
#define OMBRILO_EXPORT_LANES OMBRILO_AVX512
#include "export_lanes.h"

namespace ombrilo::detail {

namespace {

struct Avx512Lanes {
    static constexpr int kWidth = 8;
    using Real = __m512d;
    using Mask = __mmask8;
    using Int = __m512i;

    OMBRILO_AVX512 static Real Set(double v) { return _mm512_set1_pd(v); }
    OMBRILO_AVX512 static Real Load(const double* p) { return _mm512_load_pd(p); }
    OMBRILO_AVX512 static Real LoadUnaligned(const double* p) { return _mm512_loadu_pd(p); }
    // Stores the lanes `lanes` of v, whole numbers, to p[lane] as 32-bit integers.
    OMBRILO_AVX512 static void StoreIndices(std::int32_t* p, unsigned lanes, Real v) {
        const __m256i bits = _mm256_sllv_epi32(_mm256_set1_epi32(static_cast<int>(lanes)),
                                               _mm256_setr_epi32(31, 30, 29, 28, 27, 26, 25, 24));
        _mm256_maskstore_epi32(p, _mm256_srai_epi32(bits, 31), _mm512_maskz_cvttpd_epi32(0xFF, v));
    }
    OMBRILO_AVX512 static double Sum(Real v) {
        alignas(64) double lanes[8];
        _mm512_store_pd(lanes, v);
        return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) +
               ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
    }
    OMBRILO_AVX512 static void StoreUnaligned(double* p, Real v) { _mm512_storeu_pd(p, v); }
    // p[columns[lane]] = index for the lanes `lanes` (the columns are whole numbers).
    OMBRILO_AVX512 static void WriteIndex(std::int32_t* p, Real columns, unsigned lanes,
                                          std::int32_t index) {
        // Adding 2^52 puts a whole number below 2^52 into the low bits of the result.
        const __m512i shifted = _mm512_castpd_si512(_mm512_add_pd(columns, _mm512_set1_pd(0x1p52)));
        const __m512i at = _mm512_sub_epi64(shifted, _mm512_castpd_si512(_mm512_set1_pd(0x1p52)));
        _mm512_mask_i64scatter_epi32(p, static_cast<__mmask8>(lanes), at, _mm256_set1_epi32(index),
                                     4);
    }
    // The lanes `lanes` of v moved to the lowest lanes, in order; zeros above them.
    OMBRILO_AVX512 static Real Compress(Real v, unsigned lanes) {
        return _mm512_maskz_compress_pd(static_cast<__mmask8>(lanes), v);
    }
    OMBRILO_AVX512 static Real LaneNumbers() { return _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0); }
    OMBRILO_AVX512 static void Store(double* p, Real v) { _mm512_store_pd(p, v); }
    OMBRILO_AVX512 static double First(Real v) { return _mm512_cvtsd_f64(v); }
    OMBRILO_AVX512 static Int SetInt(std::int64_t v) { return _mm512_set1_epi64(v); }
    OMBRILO_AVX512 static Int LoadInt(const std::int64_t* p) { return _mm512_load_si512(p); }
    OMBRILO_AVX512 static void StoreInt(std::int64_t* p, Int v) { _mm512_store_si512(p, v); }
    OMBRILO_AVX512 static Real Add(Real a, Real b) { return _mm512_add_pd(a, b); }
    OMBRILO_AVX512 static Real Sub(Real a, Real b) { return _mm512_sub_pd(a, b); }
    OMBRILO_AVX512 static Real Mul(Real a, Real b) { return _mm512_mul_pd(a, b); }
    // At least sqrt(q) for 0 <= q <= 4, without a square root: q' / sqrt(q') with q' = q + 2^-1000
    // (never 0), 1 / sqrt(q') from the approximation whose relative error is below 2^-14, raised
    // by 2^-13 for it and the two roundings.
    OMBRILO_AVX512 static Real RootBound(Real q) {
        const Real lifted = _mm512_add_pd(q, _mm512_set1_pd(0x1p-1000));
        return _mm512_mul_pd(_mm512_mul_pd(lifted, _mm512_maskz_rsqrt14_pd(0xFF, lifted)),
                             _mm512_set1_pd(1.0 + 0x1p-13));
    }
    OMBRILO_AVX512 static Real FmSub(Real a, Real b, Real c) { return _mm512_fmsub_pd(a, b, c); }
    OMBRILO_AVX512 static Real FmAdd(Real a, Real b, Real c) { return _mm512_fmadd_pd(a, b, c); }
    OMBRILO_AVX512 static Real Abs(Real v) { return _mm512_abs_pd(v); }
    OMBRILO_AVX512 static Mask Less(Real a, Real b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    OMBRILO_AVX512 static Mask LessEq(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ);
    }
    OMBRILO_AVX512 static Mask Greater(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ);
    }
    OMBRILO_AVX512 static Mask GreaterEq(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ);
    }
    OMBRILO_AVX512 static Mask Equal(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ);
    }
    OMBRILO_AVX512 static Mask And(Mask a, Mask b) { return static_cast<Mask>(a & b); }
    OMBRILO_AVX512 static Mask Or(Mask a, Mask b) { return static_cast<Mask>(a | b); }
    OMBRILO_AVX512 static unsigned Bits(Mask m) { return m; }
    OMBRILO_AVX512 static Mask SameBits(Real a, Real b) {
        return _mm512_cmpeq_epi64_mask(_mm512_castpd_si512(a), _mm512_castpd_si512(b));
    }
    OMBRILO_AVX512 static Int IntAdd(Int a, Int b) { return _mm512_add_epi64(a, b); }
    OMBRILO_AVX512 static Mask IntGreater(Int a, Int b) { return _mm512_cmpgt_epi64_mask(a, b); }
    OMBRILO_AVX512 static Real HalfGap(Real d) {
        const __m512i bits = _mm512_castpd_si512(d);
        const __m512d power = _mm512_castsi512_pd(
            _mm512_and_si512(bits, _mm512_set1_epi64(static_cast<std::int64_t>(kExponentBits))));
        const __mmask8 powerOfTwo = _mm512_cmpeq_epi64_mask(
            _mm512_and_si512(bits, _mm512_set1_epi64(static_cast<std::int64_t>(kMantissaBits))),
            _mm512_setzero_si512());
        return _mm512_mul_pd(power, _mm512_mask_blend_pd(powerOfTwo, _mm512_set1_pd(0x1p-53),
                                                         _mm512_set1_pd(0x1p-54)));
    }
    OMBRILO_AVX512 static Real Replace(Real v, Real w, unsigned lanes) {
        return _mm512_mask_blend_pd(static_cast<__mmask8>(lanes), v, w);
    }
    OMBRILO_AVX512 static unsigned Trapped(const TrapRegion& trap, Real x, Real y) {
        return TrappedLanes(trap, x, y);
    }
};

}  // namespace

OMBRILO_AVX512 bool ExportStepAvx512(double cx, double cy, double x, double y, DoublePoint* next) {
    return StepOneOnLanes<Avx512Lanes>(cx, cy, x, y, next);
}

OMBRILO_AVX512 void ExportRunAvx512(double cx, double cy, std::int32_t limit, const double* x,
                                    double y, int count, std::int32_t* indices,
                                    KernelCounters& tally) {
    limit = std::clamp<std::int32_t>(limit, 0, ColorTable::kLastIndex);
    RunOnLanes<Avx512Lanes>(cx, cy, limit, x, y, count, indices, tally);
}

}  // namespace ombrilo::detail
