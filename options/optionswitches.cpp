#include "optionswitches.h"

#include "common/actionlog.h"
#include "common/prompter.h"
#include "encoder/lameencoderx.h"

#include <QCheckBox>

namespace {

using Member = LameEncoderX::Member;

struct Switch
{
    Member member;
    const char *checkedLine;
    const char *uncheckedLine;
};

// One row a box, in the order of Check1 to Check9.
const Switch switches[] = {
    {Member::FastMode, "Using: Fast Mode", " Not Using: Fast Mode"},
    {Member::Mono, "Using: Mono Mode", "Not Using: Mono Mode"},
    {Member::VoiceMode, "Using: Voice Mode", "Not Using: Voice Mode"},
    {Member::FixQuality, "Using: Fix Quality", "Not Using: Fix Quality"},
    {Member::ForceByteSwap, "Using: Force Byte Swap", "Not Using: Force Byte Swap"},
    {Member::Copyrighted, "Using: As Copyrighted", "Not Using: As Copyrighted"},
    {Member::Original, "Using: As Original", "Not Using: As Original"},
    {Member::RawPCM, "Input: Raw PCM", "Input Not: Raw PCM"},
    {Member::UseVBR, "Using: Variable Bit Rate (VBR) ", "Not Using: Variable Bit Rate (VBR) "},
};

} // namespace

OptionSwitches::OptionSwitches(const std::array<QCheckBox *, 9> &boxes, LameEncoderX &encoder, ActionLog &log,
                               Prompter &prompter, QWidget *window)
    : QObject(window), m_boxes(boxes), m_encoder(encoder), m_log(log), m_prompter(prompter), m_window(window)
{
    using Handler = void (OptionSwitches::*)();
    const Handler handlers[] = {&OptionSwitches::Check1_Click, &OptionSwitches::Check2_Click,
                                &OptionSwitches::Check3_Click, &OptionSwitches::Check4_Click,
                                &OptionSwitches::Check5_Click, &OptionSwitches::Check6_Click,
                                &OptionSwitches::Check7_Click, &OptionSwitches::Check8_Click,
                                &OptionSwitches::Check9_Click};
    // clicked: only a toggle by the person, never a programmatic change.
    for (std::size_t i = 0; i < m_boxes.size(); ++i)
        connect(m_boxes[i], &QCheckBox::clicked, this, handlers[i]);
}

void OptionSwitches::toggleSwitch(int row)
{
    const Switch &s = switches[row];
    const QCheckBox *box = m_boxes[static_cast<std::size_t>(row)];
    if (box->checkState() == Qt::Checked) {
        if (const Outcome written = m_encoder.write(s.member, true); !written)
            return showErrorFound(m_prompter, m_window, written.message);
        m_log.logTop(QString::fromLatin1(s.checkedLine));
    }
    if (box->checkState() == Qt::Unchecked) {
        if (const Outcome written = m_encoder.write(s.member, false); !written)
            return showErrorFound(m_prompter, m_window, written.message);
        m_log.logTop(QString::fromLatin1(s.uncheckedLine));
    }
}

void OptionSwitches::Check1_Click() { toggleSwitch(0); }
void OptionSwitches::Check2_Click() { toggleSwitch(1); }
void OptionSwitches::Check3_Click() { toggleSwitch(2); }
void OptionSwitches::Check4_Click() { toggleSwitch(3); }
void OptionSwitches::Check5_Click() { toggleSwitch(4); }
void OptionSwitches::Check6_Click() { toggleSwitch(5); }
void OptionSwitches::Check7_Click() { toggleSwitch(6); }
void OptionSwitches::Check8_Click() { toggleSwitch(7); }
void OptionSwitches::Check9_Click() { toggleSwitch(8); }
