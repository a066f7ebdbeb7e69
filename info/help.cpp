#include "help.h"
#include "ui_help.h"

#include <QFile>

Help::Help(QWidget *parent) : ModalWindow(parent), ui(std::make_unique<Ui::Help>())
{
    ui->setupUi(this);
    fixLayout();
    // The text box shows lines; the CR LF pairs belong to the shipped text, not the display.
    QString shown = text();
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ui->Text1->setPlainText(shown);
    connect(ui->OKButton, &QPushButton::clicked, this, &Help::OKButton_Click);
}

Help::~Help() = default;

QString Help::text()
{
    QFile file(QStringLiteral(":/help.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void Help::OKButton_Click()
{
    close();
}
