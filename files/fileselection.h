#pragma once

#include <QObject>
#include <QString>

class CommonDialog;
class LameEncoderX;
class Prompter;
class QLineEdit;
class QWidget;

// Choosing the input and the output file through the window's two file dialogs. A choice is
// measured and written into the encoder; what it unlocks in the window is the window's to do,
// on inputAccepted and outputAccepted.
class FileSelection : public QObject
{
    Q_OBJECT

public:
    FileSelection(CommonDialog &cmd, CommonDialog &cmd2, QLineEdit *textinput, QLineEdit *textoutput,
                  LameEncoderX &encoder, Prompter &prompter, QWidget *window);

    void btbrowse1_Click(); // the input's Select
    void btbrowse2_Click(); // the output's Select
    // A file given another way (the command line, a drop), taken as if chosen in the input
    // dialog.
    void takeInput(const QString &path);

signals:
    // The encoder holds the file and its path box shows it; title is the bare file name.
    void inputAccepted(const QString &title);
    void outputAccepted(const QString &title);
    // Nothing was taken: the window shows the reason and returns to idle.
    void choiceFailed(const QString &why);

private:
    void acceptInput();

    CommonDialog &m_cmd;
    CommonDialog &m_cmd2;
    QLineEdit *m_textinput;
    QLineEdit *m_textoutput;
    LameEncoderX &m_encoder;
    Prompter &m_prompter;
    QWidget *m_window;
};
