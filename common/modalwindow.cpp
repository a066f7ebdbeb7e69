#include "modalwindow.h"

#include "common/appearance.h"

#include <QKeyEvent>

ModalWindow::ModalWindow(QWidget *parent, bool escapeCloses)
    : QDialog(parent), m_escapeCloses(escapeCloses)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void ModalWindow::fixLayout()
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(programIcon());
    describeToolTips(this);
    setFixedSize(size());
    keepUnmaximised(this);
}

void ModalWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && !m_escapeCloses) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
