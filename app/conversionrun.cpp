// The conversion run: Encode locks the window and starts the encoder; the encoder's progress
// events count up in lbpercent; Timer1 samples that count ten times a second and ends the run
// when it reads 101.
#include "form1.h"
#include "ui_form1.h"

#include "closecommand.h"
#include "desktopnotices.h"
#include "common/prompter.h"
#include "files/commondialog.h"

#include <QTimer>

namespace {
constexpr int completeMark = 101;
}

void Form1::btencode_Click()
{
    ui->lbstatus->setVisible(true);
    ui->percentsmb->setVisible(true);
    ui->lbpercent->setVisible(true);
    ui->progresscom->setEnabled(true);
    m_timer1->start();
    for (QMenu *menu : {ui->mnuhelp, ui->mnuedit, ui->mnufile})
        menu->menuAction()->setEnabled(false);
    for (QWidget *control : std::initializer_list<QWidget *>{
             ui->btencode, ui->bttags, ui->btstop, ui->Combo1, ui->Combo2, ui->btbrowse1,
             ui->btbrowse2, ui->Check8, ui->textinput, ui->textoutput, ui->Check1, ui->Check2,
             ui->Check3, ui->Check4, ui->Check5, ui->Check6, ui->Check7, ui->Check9})
        control->setEnabled(false);
    logTop(QStringLiteral("Encoding... "));
    if (ui->progresscom->value() != 0)
        ui->progresscom->setValue(0);
    if (ui->lbpercent->text().toDouble() != 0)
        setAutoCaption(ui->lbpercent, QStringLiteral("0"));

    const Outcome started = m_encoder->call(LameEncoderX::Member::Encode);
    if (!started) {
        // A run that cannot start must not leave the window locked with the timer running.
        tellDesktopRunEnded(tr("Encoding failed"), started.message);
        showErrorFound(started.message);
        ResetForm();
    }
}

void Form1::LameEncoderX1_EncodeProgress(int, qint64)
{
    const double count = ui->lbpercent->text().toDouble() + 1;
    // 101 is both the end mark and the bar's maximum: a count past it could never end the run.
    if (count > completeMark)
        return;
    setAutoCaption(ui->lbpercent, QString::number(count));
}

void Form1::LameEncoderX1_EncodeFailed(const QString &message)
{
    // The count stops short of 101, so the run must be ended here or the window stays busy.
    tellDesktopRunEnded(tr("Encoding failed"), message);
    showErrorFound(message);
    ResetForm();
}

void Form1::Timer1_Timer()
{
    if (ui->progresscom->value() == completeMark) {
        ResetForm();
        logTop(QStringLiteral("Finished Encoding!"));
        m_desktop->showProgress(1);
        tellDesktopRunEnded(QStringLiteral("Finished Encoding!"), m_cmd2->FileTitle());
        m_prompter->message(this, Prompter::Icon::Information, QStringLiteral("Finished Encoding!"),
                            QStringLiteral("Finished"));
    }
    ui->progresscom->setValue(static_cast<int>(ui->lbpercent->text().toFloat()));
    // QProgressBar skips repaints of less than a chunk's width; the bar is tiny, so it would
    // lag the count by ten percent.
    ui->progresscom->update();
    if (m_timer1->isActive())
        m_desktop->showProgress(double(ui->progresscom->value()) / completeMark);
    setAutoCaption(ui->lbstatus, QStringLiteral("Encoding: ") + m_cmd->FileTitle()
                                     + QStringLiteral(" To ") + m_cmd2->FileTitle());
    if (ui->progresscom->value() == 1)
        Module1::RemoveCloseMenu(this);
}

void Form1::tellDesktopRunEnded(const QString &summary, const QString &body)
{
    m_desktop->hideProgress();
    // In front, the message box says it; behind another window the box would go unseen.
    if (!isActiveWindow())
        m_desktop->notify(summary, body);
}

void Form1::mnuencode_Click()
{
    // The Edit menu's Encode item is enabled with the Encode button but does nothing.
}
