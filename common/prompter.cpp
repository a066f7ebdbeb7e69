#include "prompter.h"

#include "appearance.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>

void QtPrompter::message(QWidget *parent, Icon icon, const QString &text, const QString &title,
                         const QString &detail)
{
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::Information,
                    title, text, QMessageBox::Ok, parent);
    if (!detail.isEmpty())
        box.setDetailedText(detail);
    keepUnmaximised(&box);
    // The box is as narrow as its text; where the program draws the title bar, "Error Found"
    // would be cut to "Error Fou".
    if (const int width = widthForWholeTitle(title); width > 0)
        if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
            grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), grid->rowCount(), 0,
                          1, grid->columnCount());
    box.exec();
}

std::optional<QString> QtPrompter::chooseFile(QWidget *parent, const FileRequest &request)
{
    QFileDialog dialog(parent, request.title);
    dialog.setNameFilter(request.nameFilter);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty()) {
        const QFileInfo last(request.fileName);
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    } else if (!request.folder.isEmpty()) {
        dialog.setDirectory(request.folder);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

bool QtPrompter::openUrl(const QUrl &url)
{
    // Through xdg-open: the person's default browser, one opening per call, nothing kept.
    return QDesktopServices::openUrl(url);
}

void showErrorFound(Prompter &prompter, QWidget *parent, const QString &detail)
{
    prompter.message(parent, Prompter::Icon::Critical, QStringLiteral("Error"), QStringLiteral("Error Found"),
                     detail);
}
