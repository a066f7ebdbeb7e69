#include "membervalues.h"

#include "encoder/mp3/frames.h"

#include <cmath>

namespace {

bool isInteger(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

bool isFloating(const QVariant &value)
{
    const int id = value.metaType().id();
    return id == QMetaType::Double || id == QMetaType::Float;
}

std::optional<QString> plainText(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<QString> textValue(const QVariant &value)
{
    if (auto text = plainText(value))
        return text;
    if (isInteger(value))
        return value.toString();
    return std::nullopt;
}

std::optional<bool> switchValue(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::Bool)
        return value.toBool();
    if (isInteger(value)) {
        const qlonglong number = value.toLongLong();
        if (number == 0 || number == 1)
            return number == 1;
        return std::nullopt;
    }
    const std::optional<QString> text = plainText(value);
    if (!text)
        return std::nullopt;
    const QString word = text->trimmed();
    if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || word == QLatin1String("1"))
        return true;
    if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || word == QLatin1String("0"))
        return false;
    return std::nullopt;
}

namespace {

// A rate as written: its number, which rounds into [min, max]; nothing for empty text; or
// why it is refused.
struct Rate
{
    std::optional<double> number;
    bool empty = false;
    QString refusal;
};

Rate rateOf(const QVariant &value, int min, int max)
{
    const QString range = QStringLiteral("%1 to %2").arg(min).arg(max);
    double number = 0;
    if (isInteger(value) || isFloating(value)) {
        number = value.toDouble();
    } else if (const std::optional<QString> text = plainText(value)) {
        const QString trimmed = text->trimmed();
        if (trimmed.isEmpty())
            return {std::nullopt, true, {}};
        bool ok = false;
        number = trimmed.toDouble(&ok);
        if (!ok)
            return {std::nullopt, false, QStringLiteral("\"%1\" is not a number; expected %2.").arg(*text, range)};
    } else {
        return {std::nullopt, false, QStringLiteral("Expected a number from %1.").arg(range)};
    }
    if (!std::isfinite(number))
        return {std::nullopt, false, QStringLiteral("Expected a number from %1.").arg(range)};
    // nearbyint rounds half to even under the default rounding mode.
    const double rounded = std::nearbyint(number);
    if (rounded < min || rounded > max)
        return {std::nullopt, false, QStringLiteral("%1 is out of range; expected %2.").arg(number).arg(range)};
    return {number, false, {}};
}

} // namespace

RateValue rateValue(const QVariant &value, int min, int max, int fallback)
{
    const Rate rate = rateOf(value, min, max);
    if (rate.empty)
        return {fallback, {}};
    if (!rate.number)
        return {std::nullopt, rate.refusal};
    return {static_cast<int>(std::nearbyint(*rate.number)), {}};
}

RateValue bitRateValue(const QVariant &value, int fallback)
{
    const std::vector<int> &standards = mpegBitrates();
    const Rate rate = rateOf(value, standards.front(), standards.back());
    if (rate.empty)
        return {fallback, {}};
    if (!rate.number)
        return {std::nullopt, rate.refusal};
    int nearest = standards.front();
    for (const int standard : standards) {
        if (std::abs(standard - *rate.number) < std::abs(nearest - *rate.number))
            nearest = standard;
    }
    return {nearest, {}};
}
