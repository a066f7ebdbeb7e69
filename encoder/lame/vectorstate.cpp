#include "vectorstate.h"

#if defined(__x86_64__) && defined(__GNUC__)

namespace {

__attribute__((target("avx512f"))) void zeroUpperRegisters()
{
    // The registers are the caller's to clobber under the x86-64 calling convention.
    __asm__ volatile("vpxord %%zmm16, %%zmm16, %%zmm16\n\t"
                     "vpxord %%zmm17, %%zmm17, %%zmm17\n\t"
                     "vpxord %%zmm18, %%zmm18, %%zmm18\n\t"
                     "vpxord %%zmm19, %%zmm19, %%zmm19\n\t"
                     "vpxord %%zmm20, %%zmm20, %%zmm20\n\t"
                     "vpxord %%zmm21, %%zmm21, %%zmm21\n\t"
                     "vpxord %%zmm22, %%zmm22, %%zmm22\n\t"
                     "vpxord %%zmm23, %%zmm23, %%zmm23\n\t"
                     "vpxord %%zmm24, %%zmm24, %%zmm24\n\t"
                     "vpxord %%zmm25, %%zmm25, %%zmm25\n\t"
                     "vpxord %%zmm26, %%zmm26, %%zmm26\n\t"
                     "vpxord %%zmm27, %%zmm27, %%zmm27\n\t"
                     "vpxord %%zmm28, %%zmm28, %%zmm28\n\t"
                     "vpxord %%zmm29, %%zmm29, %%zmm29\n\t"
                     "vpxord %%zmm30, %%zmm30, %%zmm30\n\t"
                     "vpxord %%zmm31, %%zmm31, %%zmm31\n\t"
                     "vzeroupper" ::
                         : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9",
                           "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "xmm16", "xmm17", "xmm18",
                           "xmm19", "xmm20", "xmm21", "xmm22", "xmm23", "xmm24", "xmm25", "xmm26", "xmm27",
                           "xmm28", "xmm29", "xmm30", "xmm31");
}

} // namespace

void clearUpperVectorState()
{
    static const bool hasAvx512 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0;
    }();
    if (hasAvx512)
        zeroUpperRegisters();
}

#else

void clearUpperVectorState() {}

#endif
