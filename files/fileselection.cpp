#include "fileselection.h"

#include "commondialog.h"
#include "common/prompter.h"
#include "encoder/lameencoderx.h"
#include "encoder/input/wavefamily.h"
#include "filesize.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>

namespace {
constexpr int dialogFlags = 528388; // explorer style, file must exist, no read-only box
constexpr qint64 smallestInput = 1000000;

// The folder each dialog last took a file from, kept across starts.
const QString inputFolderKey = QStringLiteral("folders/input");
const QString outputFolderKey = QStringLiteral("folders/output");

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("sonovert"),
                     QStringLiteral("sonovert"));
}

void rememberFolder(const QString &key, const QString &file)
{
    if (!file.isEmpty())
        settings().setValue(key, QFileInfo(file).absolutePath());
}
} // namespace

FileSelection::FileSelection(CommonDialog &cmd, CommonDialog &cmd2, QLineEdit *textinput, QLineEdit *textoutput,
                             LameEncoderX &encoder, Prompter &prompter, QWidget *window)
    : QObject(window), m_cmd(cmd), m_cmd2(cmd2), m_textinput(textinput), m_textoutput(textoutput),
      m_encoder(encoder), m_prompter(prompter), m_window(window)
{
}

void FileSelection::btbrowse1_Click()
{
    m_cmd.setCancelError(false);
    m_cmd.setFlags(dialogFlags);
    m_cmd.setDialogTitle(QStringLiteral("Open File to Convert"));
    m_cmd.setFilter(waveFileFilter());
    m_cmd.setInitDir(settings().value(inputFolderKey).toString());
    if (const Outcome shown = m_cmd.ShowOpen(); !shown)
        return emit choiceFailed(shown.message);
    rememberFolder(inputFolderKey, m_cmd.FileName());
    acceptInput();
}

void FileSelection::takeInput(const QString &path)
{
    m_cmd.setChoice(path);
    rememberFolder(inputFolderKey, path);
    acceptInput();
}

void FileSelection::acceptInput()
{

    const std::optional<QString> size = Module1::FormatFileSize(m_cmd.FileName());
    if (!size)
        return emit choiceFailed(m_cmd.FileName().isEmpty()
                                     ? tr("No input file was chosen.")
                                     : tr("The length of %1 cannot be read.").arg(m_cmd.FileName()));
    if (size->toLongLong() < smallestInput) {
        m_prompter.message(m_window, Prompter::Icon::Critical,
                           QStringLiteral("Wave file to small, has to be more than 1MB!"),
                           QStringLiteral("Too Small"));
        return;
    }

    if (const Outcome written = m_encoder.write(LameEncoderX::Member::InputFile, m_cmd.FileName()); !written)
        return emit choiceFailed(written.message);
    m_textinput->setText(m_encoder.read(LameEncoderX::Member::InputFile).toString());
    if (m_textinput->text().isEmpty())
        return;
    emit inputAccepted(m_cmd.FileTitle());
}

void FileSelection::btbrowse2_Click()
{
    m_cmd2.setCancelError(true);
    m_cmd2.setFlags(dialogFlags);
    m_cmd2.setDialogTitle(QStringLiteral("Save Output File"));
    m_cmd2.setFilter(QStringLiteral("Mp3 File (*.mp3)|*.mp3"));
    m_cmd2.setDefaultExt(QStringLiteral("mp3"));
    // With no output chosen before, the MP3 most likely goes beside its WAVE.
    const QString lastOutputFolder = settings().value(outputFolderKey).toString();
    const QFileInfo input(m_cmd.FileName());
    const QString folder = !lastOutputFolder.isEmpty() || m_cmd.FileName().isEmpty() ? lastOutputFolder
                                                                                    : input.absolutePath();
    m_cmd2.setInitDir(folder);
    // Until a name is chosen, the input's own name as an MP3.
    m_cmd2.setSuggestedName(m_cmd.FileName().isEmpty() || folder.isEmpty()
                                ? QString()
                                : QDir(folder).filePath(input.completeBaseName() + QStringLiteral(".mp3")));
    if (const Outcome shown = m_cmd2.ShowSave(); !shown)
        return emit choiceFailed(shown.message);
    rememberFolder(outputFolderKey, m_cmd2.FileName());

    if (const Outcome written = m_encoder.write(LameEncoderX::Member::OutputFile, m_cmd2.FileName()); !written)
        return emit choiceFailed(written.message);
    m_textoutput->setText(m_encoder.read(LameEncoderX::Member::OutputFile).toString());
    if (m_textinput->text().isEmpty())
        return;
    emit outputAccepted(m_cmd2.FileTitle());
}
