#pragma once

// Helpers shared by the lane kernels of both point functions. Every function here needs a
// processor with AVX2 and FMA (the eight-lane forms also AVX-512F); the kernels ask before they
// call.

#include <immintrin.h>

#include "trap_region.h"

namespace ombrilo::detail {

#define OMBRILO_AVX2_FMA __attribute__((target("avx2,fma")))

// All bits set in the 64-bit lanes named by `lanes` (bits 0..3), clear in the others.
OMBRILO_AVX2_FMA inline __m256d LanesMask(int lanes) {
    const __m256i bits = _mm256_setr_epi64x(1, 2, 4, 8);
    return _mm256_castsi256_pd(
        _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_set1_epi64x(lanes), bits), bits));
}

// Lanes (bits 0..3) whose state is in the trap region, by TrapRegion::Contains's test.
OMBRILO_AVX2_FMA inline int TrappedLanes(const TrapRegion& trap, __m256d x, __m256d y) {
    __m256d inside = _mm256_setzero_pd();
    for (int i = 0; i < trap.disks; ++i) {
        const __m256d dx = _mm256_sub_pd(x, _mm256_set1_pd(trap.centerX[i]));
        const __m256d dy = _mm256_sub_pd(y, _mm256_set1_pd(trap.centerY[i]));
        const __m256d d2 = _mm256_fmadd_pd(dx, dx, _mm256_mul_pd(dy, dy));
        inside = _mm256_or_pd(inside,
                              _mm256_cmp_pd(d2, _mm256_set1_pd(trap.squaredRadius[i]), _CMP_LE_OQ));
    }
    return _mm256_movemask_pd(inside);
}

// The same on eight lanes (bits 0..7).
__attribute__((target("avx512f,avx2,fma"))) inline __mmask8 TrappedLanes(const TrapRegion& trap,
                                                                         __m512d x, __m512d y) {
    __mmask8 inside = 0;
    for (int i = 0; i < trap.disks; ++i) {
        const __m512d dx = _mm512_sub_pd(x, _mm512_set1_pd(trap.centerX[i]));
        const __m512d dy = _mm512_sub_pd(y, _mm512_set1_pd(trap.centerY[i]));
        const __m512d d2 = _mm512_fmadd_pd(dx, dx, _mm512_mul_pd(dy, dy));
        inside |= _mm512_cmp_pd_mask(d2, _mm512_set1_pd(trap.squaredRadius[i]), _CMP_LE_OQ);
    }
    return inside;
}

#undef OMBRILO_AVX2_FMA

}  // namespace ombrilo::detail
