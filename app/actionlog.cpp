// The action log: every writer but the rate selectors inserts its line at the top; the logo in
// front of the list hides at the first click on either and shows again at every return to idle.
#include "form1.h"
#include "ui_form1.h"

#include <QEvent>

void Form1::logTop(const QString &line)
{
    ui->List1->insertItem(0, line);
}

void Form1::logAppend(const QString &line)
{
    ui->List1->addItem(line);
}

void Form1::List1_Click()
{
    ui->listlogo->setVisible(false);
}

void Form1::List1_MouseDown()
{
    ui->listlogo->setVisible(false);
}

void Form1::listlogo_Click()
{
    ui->listlogo->setVisible(false);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->List1->viewport() && event->type() == QEvent::MouseButtonPress)
        List1_MouseDown();
    else if (watched == ui->listlogo && event->type() == QEvent::MouseButtonRelease)
        listlogo_Click();
    return QMainWindow::eventFilter(watched, event);
}
