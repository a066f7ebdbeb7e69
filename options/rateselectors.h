#pragma once

#include <QObject>

class ActionLog;
class LameEncoderX;
class Prompter;
class QComboBox;
class QWidget;

// The bit-rate and VBR-rate selectors. A pick from the list writes the text into the encoder;
// typing writes nothing. Both then append the rate the encoder holds at the end of the log.
class RateSelectors : public QObject
{
    Q_OBJECT

public:
    RateSelectors(QComboBox *combo1, QComboBox *combo2, LameEncoderX &encoder, ActionLog &log, Prompter &prompter,
                  QWidget *window);

    void Combo1_Click(); // bit rate picked
    void Combo1_Change(); // bit rate typed
    void Combo2_Click(); // VBR rate picked
    void Combo2_Change(); // VBR rate typed

private:
    void pickRate(int selector);
    void logRateReadBack(int selector);

    QComboBox *m_boxes[2];
    LameEncoderX &m_encoder;
    ActionLog &m_log;
    Prompter &m_prompter;
    QWidget *m_window;
};
