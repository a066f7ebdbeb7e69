// The bit-rate and VBR-rate selectors. A pick from the list writes the text into the encoder;
// typing writes nothing. Both then append the rate the encoder holds at the end of the log.
#include "app/form1.h"
#include "ui_form1.h"

#include <QLineEdit>

#include <cmath>
#include <limits>

namespace {

using Member = LameEncoderX::Member;

struct RateSelector
{
    QComboBox *Ui::Form1::*box;
    Member member;
    const char *defaultText;
    const char *label;
};

const RateSelector selectors[] = {
    {&Ui::Form1::Combo1, Member::Bitrate, "128", "Bitrate: "},
    {&Ui::Form1::Combo2, Member::VBRRate, "4", "VBR Rate: "},
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

void Form1::connectRates()
{
    for (QComboBox *box : {ui->Combo1, ui->Combo2})
        box->setCompleter(nullptr); // typed text stays as typed
    // activated: a pick from the list by mouse or keyboard. textEdited: typing only; the text
    // a pick puts into the field is not an edit.
    connect(ui->Combo1, &QComboBox::activated, this, &Form1::Combo1_Click);
    connect(ui->Combo2, &QComboBox::activated, this, &Form1::Combo2_Click);
    connect(ui->Combo1->lineEdit(), &QLineEdit::textEdited, this, &Form1::Combo1_Change);
    connect(ui->Combo2->lineEdit(), &QLineEdit::textEdited, this, &Form1::Combo2_Change);
}

void Form1::logRateReadBack(int selector)
{
    const RateSelector &s = selectors[selector];
    if (const std::optional<qint32> rate = wholeNumber(m_encoder->read(s.member)))
        logAppend(QString::fromLatin1(s.label) + QString::number(*rate));
}

void Form1::pickRate(int selector)
{
    const RateSelector &s = selectors[selector];
    QComboBox *box = (*ui).*s.box;
    if (const Outcome written = m_encoder->write(s.member, box->currentText()); !written)
        return showErrorFound(written.message);
    if (box->currentText().isEmpty()) {
        // Only shown: the encoder keeps what it made of the empty text. Setting the text is a
        // change of the text, so the change handler reports too.
        box->setEditText(QString::fromLatin1(s.defaultText));
        logRateReadBack(selector);
    }
    logRateReadBack(selector);
}

void Form1::Combo1_Click() { pickRate(0); }
void Form1::Combo2_Click() { pickRate(1); }
void Form1::Combo1_Change() { logRateReadBack(0); }
void Form1::Combo2_Change() { logRateReadBack(1); }
