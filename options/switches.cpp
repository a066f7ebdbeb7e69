// The nine option switches: a toggle writes the box's flag into the encoder at once, then logs
// one line at the top of the action log.
#include "app/form1.h"
#include "ui_form1.h"

namespace {

using Member = LameEncoderX::Member;

struct Switch
{
    QCheckBox *Ui::Form1::*box;
    Member member;
    const char *checkedLine;
    const char *uncheckedLine;
};

const Switch switches[] = {
    {&Ui::Form1::Check1, Member::FastMode, "Using: Fast Mode", " Not Using: Fast Mode"},
    {&Ui::Form1::Check2, Member::Mono, "Using: Mono Mode", "Not Using: Mono Mode"},
    {&Ui::Form1::Check3, Member::VoiceMode, "Using: Voice Mode", "Not Using: Voice Mode"},
    {&Ui::Form1::Check4, Member::FixQuality, "Using: Fix Quality", "Not Using: Fix Quality"},
    {&Ui::Form1::Check5, Member::ForceByteSwap, "Using: Force Byte Swap", "Not Using: Force Byte Swap"},
    {&Ui::Form1::Check6, Member::Copyrighted, "Using: As Copyrighted", "Not Using: As Copyrighted"},
    {&Ui::Form1::Check7, Member::Original, "Using: As Original", "Not Using: As Original"},
    {&Ui::Form1::Check8, Member::RawPCM, "Input: Raw PCM", "Input Not: Raw PCM"},
    {&Ui::Form1::Check9, Member::UseVBR, "Using: Variable Bit Rate (VBR) ", "Not Using: Variable Bit Rate (VBR) "},
};

} // namespace

void Form1::connectSwitches()
{
    using Handler = void (Form1::*)();
    const Handler handlers[] = {&Form1::Check1_Click, &Form1::Check2_Click, &Form1::Check3_Click,
                                &Form1::Check4_Click, &Form1::Check5_Click, &Form1::Check6_Click,
                                &Form1::Check7_Click, &Form1::Check8_Click, &Form1::Check9_Click};
    // clicked: only a toggle by the person, never a programmatic change.
    for (int i = 0; i < 9; ++i)
        connect((*ui).*switches[i].box, &QCheckBox::clicked, this, handlers[i]);
}

void Form1::toggleSwitch(int row)
{
    const Switch &s = switches[row];
    const QCheckBox *box = (*ui).*s.box;
    if (box->checkState() == Qt::Checked) {
        if (const Outcome written = m_encoder->write(s.member, true); !written)
            return showErrorFound(written.message);
        logTop(QString::fromLatin1(s.checkedLine));
    }
    if (box->checkState() == Qt::Unchecked) {
        if (const Outcome written = m_encoder->write(s.member, false); !written)
            return showErrorFound(written.message);
        logTop(QString::fromLatin1(s.uncheckedLine));
    }
}

void Form1::Check1_Click() { toggleSwitch(0); }
void Form1::Check2_Click() { toggleSwitch(1); }
void Form1::Check3_Click() { toggleSwitch(2); }
void Form1::Check4_Click() { toggleSwitch(3); }
void Form1::Check5_Click() { toggleSwitch(4); }
void Form1::Check6_Click() { toggleSwitch(5); }
void Form1::Check7_Click() { toggleSwitch(6); }
void Form1::Check8_Click() { toggleSwitch(7); }
void Form1::Check9_Click() { toggleSwitch(8); }
