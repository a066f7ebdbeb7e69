#pragma once

#include <QObject>

#include <array>

class ActionLog;
class LameEncoderX;
class Prompter;
class QCheckBox;
class QWidget;

// The nine option switches: a toggle by the person writes the box's flag into the encoder at
// once, then logs one line at the top of the action log.
class OptionSwitches : public QObject
{
    Q_OBJECT

public:
    // boxes: Check1 to Check9, in that order.
    OptionSwitches(const std::array<QCheckBox *, 9> &boxes, LameEncoderX &encoder, ActionLog &log,
                   Prompter &prompter, QWidget *window);

    void Check1_Click(); // Fast Mode
    void Check2_Click(); // Mono
    void Check3_Click(); // Voice Mode
    void Check4_Click(); // Fix Quality
    void Check5_Click(); // Force Byte Swap
    void Check6_Click(); // Copyrighted
    void Check7_Click(); // Original
    void Check8_Click(); // Input Raw PCM
    void Check9_Click(); // Use VBR

private:
    void toggleSwitch(int row);

    std::array<QCheckBox *, 9> m_boxes;
    LameEncoderX &m_encoder;
    ActionLog &m_log;
    Prompter &m_prompter;
    QWidget *m_window;
};
