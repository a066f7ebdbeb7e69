#pragma once

#include "exitstatus.h"

#include <QString>

#include <optional>

class LameEncoderX;

// sonovert-encode INPUT OUTPUT: converts as the window does, every member written by name
// through LameEncoderX, then Encode, then the event loop until the run ends; threads: the
// encoder's, where given.
ExitStatus runFileCommand(LameEncoderX &encoder, const QString &input, const QString &output,
                          std::optional<int> threads);
