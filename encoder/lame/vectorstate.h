#pragma once

// Zeroes the upper AVX-512 registers (zmm16 to zmm31) of the calling thread, where the
// processor has them; does nothing elsewhere.
//
// Why: glibc's AVX-512 memcpy and memset use those registers and leave them dirty, VZEROUPPER
// cannot clear them, and a new thread inherits its creator's. libmp3lame is built for SSE,
// libm's pow and exp for AVX; with the upper state dirty every switch between the two stalls,
// and a whole encode ran 8 % slower in a thread started by a thread that had copied memory.
void clearUpperVectorState();
