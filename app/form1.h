#pragma once

#include "common/actionlog.h"
#include "encoder/lameencoderx.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <optional>

class CommonDialog;
class DesktopNotices;
class Dialog;
class FileSelection;
class InfoWindows;
class OptionSwitches;
class Prompter;
class QLabel;
class QMimeData;
class QTimer;
class RateSelectors;

namespace Ui {
class Form1;
}

// The main window: the layout of form1.ui, the idle and busy states, the conversion run and the
// action log. It wires the subsystems to its controls: file choice (files/), switches and rates
// (options/), help and about (info/).
class Form1 : public QMainWindow, private ActionLog
{
    Q_OBJECT

public:
    // prompter answers every message box and file dialog; null means the real ones.
    explicit Form1(Prompter *prompter = nullptr, QWidget *parent = nullptr);
    ~Form1() override;

    // For the tests and the tools that look inside the window.
    LameEncoderX &encoder() { return *m_encoder; }
    CommonDialog &inputDialog() { return *m_cmd; }
    CommonDialog &outputDialog() { return *m_cmd2; }

    // A WAVE named on the command line, taken as if chosen in the input dialog.
    void openInput(const QString &path);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // app/form1.cpp: start-up, states, unload, and the subsystems' wiring
    void setupControls();
    void setupSubsystems();
    void connectHandlers();
    void Form_Load();
    void Form_Unload();
    void ResetForm();
    void mnuexit_Click();
    void inputAccepted(const QString &title);
    void outputAccepted(const QString &title);
    void failChoice(const QString &why);
    void bttags_Click();
    void mnuedittags_Click();
    void openTagEditor();
    void btstop_Click(); // btstop is the Help button
    void mnuhelps_Click();
    void mnuabout_Click();
    void mnuvisit_Click();

    // app/conversionrun.cpp
    void btencode_Click();
    void LameEncoderX1_EncodeProgress(int percent, qint64 frames);
    void LameEncoderX1_EncodeFailed(const QString &message);
    void Timer1_Timer();
    void mnuencode_Click();

    // app/actionlog.cpp
    void logTop(const QString &line) override;
    void logAppend(const QString &line) override;
    void List1_Click();
    void List1_MouseDown();
    void listlogo_Click();

    // The one local WAVE file a drop holds, when the window can take an input now.
    std::optional<QString> droppedInput(const QMimeData *data) const;
    void showErrorFound(const QString &detail);
    // The end of a run, told to the desktop too when the person is looking elsewhere.
    void tellDesktopRunEnded(const QString &summary, const QString &body);
    // Sets a self-sizing label's caption; it grows to the right from where it stands.
    static void setAutoCaption(QLabel *label, const QString &text);

    std::unique_ptr<Ui::Form1> ui;
    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter *m_prompter;
    LameEncoderX *m_encoder;
    CommonDialog *m_cmd;
    CommonDialog *m_cmd2;
    QTimer *m_timer1;
    FileSelection *m_files = nullptr;
    OptionSwitches *m_switches = nullptr;
    RateSelectors *m_rates = nullptr;
    InfoWindows *m_info = nullptr;
    DesktopNotices *m_desktop;
    QPointer<Dialog> m_dialog; // the tag editor while it is open
    bool m_unloaded = false;
    bool m_placed = false; // centred on the screen at the first showing only
};
