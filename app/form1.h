#pragma once

#include "encoder/lameencoderx.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class CommonDialog;
class Prompter;
class QTimer;

namespace Ui {
class Form1;
}

// The main window: the layout of form1.ui, the idle and busy states, the conversion run and the
// action log. Its handlers are spread over the folders of their subsystems: file choice in
// files/, switches and rates in options/, help and about in info/.
class Form1 : public QMainWindow
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

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // app/form1.cpp: start-up, states, unload
    void setupControls();
    void connectHandlers();
    void Form_Load();
    void Form_Unload();
    void ResetForm();
    void mnuexit_Click();

    // app/conversionrun.cpp
    void btencode_Click();
    void LameEncoderX1_EncodeProgress(int percent, qint64 frames);
    void LameEncoderX1_EncodeFailed(const QString &message);
    void Timer1_Timer();
    void mnuencode_Click();

    // app/actionlog.cpp
    void logTop(const QString &line);
    void logAppend(const QString &line);
    void List1_Click();
    void List1_MouseDown();
    void listlogo_Click();

    // options/switches.cpp
    void connectSwitches();
    void toggleSwitch(int row);
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();
    void Check6_Click();
    void Check7_Click();
    void Check8_Click();
    void Check9_Click();

    // options/rates.cpp
    void connectRates();
    void pickRate(int selector);
    void logRateReadBack(int selector);
    void Combo1_Click();
    void Combo1_Change();
    void Combo2_Click();
    void Combo2_Change();

    // files/tagediting.cpp
    void openTagEditor();
    void bttags_Click();
    void mnuedittags_Click();

    // info/infowindows.cpp
    void btstop_Click();
    void mnuhelps_Click();
    void mnuabout_Click();
    void mnuvisit_Click();
    void openHelp();

    // files/fileselection.cpp
    void btbrowse1_Click();
    void btbrowse2_Click();
    void failChoice(const QString &why);

    // The "Error" box titled "Error Found", with the reason behind its details button.
    void showErrorFound(const QString &detail);
    // Sets a self-sizing label's caption; it grows to the right from where it stands.
    static void setAutoCaption(class QLabel *label, const QString &text);

    std::unique_ptr<Ui::Form1> ui;
    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter *m_prompter;
    LameEncoderX *m_encoder;
    CommonDialog *m_cmd;
    CommonDialog *m_cmd2;
    QTimer *m_timer1;
    // The secondary windows while they are open.
    QPointer<class Dialog> m_dialog;
    QPointer<class Help> m_help;
    QPointer<class frmAbout> m_about;
    bool m_unloaded = false;
    bool m_placed = false; // centred on the screen at the first showing only
};
