// Choosing the input and the output file. An accepted input unlocks the output choice; an
// accepted output unlocks Encode and the options. Any failure shows the "Error" box and
// returns the window to idle.
#include "app/form1.h"
#include "ui_form1.h"

#include "app/prompter.h"
#include "commondialog.h"
#include "filesize.h"

namespace {
constexpr int dialogFlags = 528388; // explorer style, file must exist, no read-only box
constexpr qint64 smallestInput = 1000000;
} // namespace

void Form1::failChoice(const QString &why)
{
    showErrorFound(why);
    ResetForm();
}

void Form1::btbrowse1_Click()
{
    m_cmd->setCancelError(false);
    m_cmd->setFlags(dialogFlags);
    m_cmd->setDialogTitle(QStringLiteral("Open File to Convert"));
    m_cmd->setFilter(QStringLiteral("Wave File (*.wav)|*.wav"));
    if (const Outcome shown = m_cmd->ShowOpen(); !shown)
        return failChoice(shown.message);

    const std::optional<QString> size = Module1::FormatFileSize(m_cmd->FileName());
    if (!size)
        return failChoice(m_cmd->FileName().isEmpty()
                        ? tr("No input file was chosen.")
                        : tr("The length of %1 cannot be read.").arg(m_cmd->FileName()));
    if (size->toLongLong() < smallestInput) {
        m_prompter->message(this, Prompter::Icon::Critical,
                            QStringLiteral("Wave file to small, has to be more than 1MB!"),
                            QStringLiteral("Too Small"));
        return;
    }

    if (const Outcome written = m_encoder->write(LameEncoderX::Member::InputFile, m_cmd->FileName());
        !written)
        return failChoice(written.message);
    ui->textinput->setText(m_encoder->read(LameEncoderX::Member::InputFile).toString());
    if (ui->textinput->text().isEmpty())
        return;
    ui->textinput->setEnabled(true);
    ui->btbrowse2->setEnabled(true);
    ui->textoutput->setEnabled(true);
    logTop(QStringLiteral("Input - ") + m_cmd->FileTitle());
}

void Form1::btbrowse2_Click()
{
    m_cmd2->setCancelError(true);
    m_cmd2->setFlags(dialogFlags);
    m_cmd2->setDialogTitle(QStringLiteral("Save Output File"));
    m_cmd2->setFilter(QStringLiteral("Mp3 File (*.mp3)|*.mp3"));
    if (const Outcome shown = m_cmd2->ShowSave(); !shown)
        return failChoice(shown.message);

    if (const Outcome written = m_encoder->write(LameEncoderX::Member::OutputFile, m_cmd2->FileName());
        !written)
        return failChoice(written.message);
    ui->textoutput->setText(m_encoder->read(LameEncoderX::Member::OutputFile).toString());
    if (ui->textinput->text().isEmpty())
        return;
    ui->textoutput->setEnabled(true);
    ui->btencode->setEnabled(true);
    ui->mnuencode->setEnabled(true);
    for (QWidget *control : std::initializer_list<QWidget *>{
             ui->Check1, ui->Check2, ui->Check3, ui->Check4, ui->Check5, ui->Check6, ui->Check7,
             ui->Combo1, ui->Combo2, ui->Check9})
        control->setEnabled(true);
    logTop(QStringLiteral("Output - ") + m_cmd2->FileTitle());
}
