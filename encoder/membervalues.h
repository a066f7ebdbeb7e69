#pragma once

#include "encoder/core/outcome.h"

#include <QString>
#include <QVariant>

#include <optional>

// Turning the values the window writes into member values. Each returns nothing for a value
// of the wrong kind, so the caller can refuse it with a message.

// Text members (paths, tags): text, or a number written for a year.
std::optional<QString> textValue(const QVariant &value);

// Switches: a bool, 0/1, or the text "True"/"False"/"1"/"0" in any letter case.
std::optional<bool> switchValue(const QVariant &value);

// Rates: a whole number in [min, max]. Empty text gives fallback; a fractional number is
// rounded half to even. The message says why a value is refused.
struct RateValue
{
    std::optional<int> value;
    QString refusal;
};
RateValue rateValue(const QVariant &value, int min, int max, int fallback);

// A bit rate in kbit/s: a number that rounds into 8..320, held as the nearest MPEG audio bit
// rate (ties to the lower). Empty text gives fallback.
RateValue bitRateValue(const QVariant &value, int fallback);
