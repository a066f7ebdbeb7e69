#include "rateselectors.h"

#include "common/actionlog.h"
#include "common/prompter.h"
#include "encoder/lameencoderx.h"

#include <QComboBox>
#include <QLineEdit>

#include <cmath>
#include <limits>
#include <optional>

namespace {

using Member = LameEncoderX::Member;

struct RateSelector
{
    Member member;
    const char *label;
};

// Combo1, then Combo2.
const RateSelector selectors[] = {
    {Member::Bitrate, "Bitrate: "},
    {Member::VBRRate, "VBR Rate: "},
};

// A whole 32-bit number, halves rounded to the even neighbour; nothing for anything else.
std::optional<qint32> wholeNumber(const QVariant &value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    const double rounded = std::nearbyint(number); // the default rounding mode: half to even
    if (rounded < std::numeric_limits<qint32>::min() || rounded > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(rounded);
}

} // namespace

RateSelectors::RateSelectors(QComboBox *combo1, QComboBox *combo2, LameEncoderX &encoder, ActionLog &log,
                             Prompter &prompter, QWidget *window)
    : QObject(window), m_boxes {combo1, combo2}, m_encoder(encoder), m_log(log), m_prompter(prompter),
      m_window(window)
{
    for (QComboBox *box : m_boxes)
        box->setCompleter(nullptr); // typed text stays as typed
    // activated: a pick from the list by mouse or keyboard. textEdited: typing only; the text
    // a pick puts into the field is not an edit.
    connect(combo1, &QComboBox::activated, this, &RateSelectors::Combo1_Click);
    connect(combo2, &QComboBox::activated, this, &RateSelectors::Combo2_Click);
    connect(combo1->lineEdit(), &QLineEdit::textEdited, this, &RateSelectors::Combo1_Change);
    connect(combo2->lineEdit(), &QLineEdit::textEdited, this, &RateSelectors::Combo2_Change);
}

void RateSelectors::logRateReadBack(int selector)
{
    const RateSelector &s = selectors[selector];
    if (const std::optional<qint32> rate = wholeNumber(m_encoder.read(s.member)))
        m_log.logAppend(QString::fromLatin1(s.label) + QString::number(*rate));
}

void RateSelectors::pickRate(int selector)
{
    const RateSelector &s = selectors[selector];
    QComboBox *box = m_boxes[selector];
    if (const Outcome written = m_encoder.write(s.member, box->currentText()); !written)
        return showErrorFound(m_prompter, m_window, written.message);
    if (box->currentText().isEmpty()) {
        // Only shown: the encoder keeps what it made of the empty text. Setting the text is a
        // change of the text, so the change handler reports too.
        box->setEditText(LameEncoderX::defaultValue(s.member).toString());
        logRateReadBack(selector);
    }
    logRateReadBack(selector);
}

void RateSelectors::Combo1_Click() { pickRate(0); }
void RateSelectors::Combo2_Click() { pickRate(1); }
void RateSelectors::Combo1_Change() { logRateReadBack(0); }
void RateSelectors::Combo2_Change() { logRateReadBack(1); }
