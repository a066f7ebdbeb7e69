#pragma once

// Zeroes the upper AVX-512 registers (zmm16 to zmm31) of the calling thread, where the
// processor has them; does nothing elsewhere. glibc's string functions leave them dirty, a
// thread inherits them, and libmp3lame's SSE code then stalls (docs/vector-registers.md).
void clearUpperVectorState();
