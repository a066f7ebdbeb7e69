#include "commondialog.h"

#include "common/prompter.h"

#include <QFileInfo>
#include <QStringList>

CommonDialog::CommonDialog(Prompter &prompter, QWidget *owner, int maxFileSize, QObject *parent)
    : QObject(parent), m_prompter(prompter), m_owner(owner), m_maxFileSize(maxFileSize)
{
}

QString CommonDialog::toQtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        const QString patterns = QString(parts.at(i + 1)).replace(QLatin1Char(';'), QLatin1Char(' '));
        entries << (description.endsWith(QLatin1Char(')'))
                        ? description
                        : description + QLatin1String(" (") + patterns + QLatin1Char(')'));
    }
    return entries.join(QLatin1String(";;"));
}

Outcome CommonDialog::show(bool save)
{
    Prompter::FileRequest request;
    request.save = save;
    request.title = m_dialogTitle;
    request.nameFilter = toQtFilter(m_filter);
    request.fileName = m_fileName.isEmpty() ? m_suggestedName : m_fileName;
    request.folder = m_initDir;
    request.defaultSuffix = m_defaultExt;
    // File-must-exist only makes sense when opening: a save names a file that is to be made.
    request.mustExist = !save && (m_flags & OFN_FILEMUSTEXIST);
    request.confirmOverwrite = save && (m_flags & OFN_OVERWRITEPROMPT);

    const std::optional<QString> chosen = m_prompter.chooseFile(m_owner, request);
    if (!chosen) {
        if (m_cancelError)
            return Outcome::failure(tr("The file dialog was cancelled."));
        return Outcome::success();
    }
    setChoice(*chosen);
    return Outcome::success();
}

void CommonDialog::setChoice(const QString &path)
{
    m_fileName = path;
    m_fileTitle = QFileInfo(path).fileName();
}
