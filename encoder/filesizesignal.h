#pragma once

// Under a file-size limit (ulimit -f) the kernel's SIGXFSZ would end the program in the
// middle of a write; ignored, the write fails with EFBIG and the run ends with a message.
// Call first thing in main().
void ignoreFileSizeSignal();
