#include "about.h"
#include "ui_about.h"

#include "maker.h"
#include "version.h"

#include <QMouseEvent>

frmAbout::frmAbout(std::function<void()> openHomePage, QWidget *parent)
    : ModalWindow(parent, true), ui(std::make_unique<Ui::frmAbout>()),
      m_openHomePage(std::move(openHomePage))
{
    ui->setupUi(this);
    fixLayout();

    QFont title = font();
    title.setPointSize(18);
    title.setBold(true);
    ui->Label1->setFont(title);
    ui->Label1->setText(QStringLiteral(SONOVERT_NAME));
    ui->Label2->setText(QString::fromUtf8(Maker::blurb)
                        + QStringLiteral("VBR supported, Mono mode, Fast mode, Voice mode, Fix sound and more!"));
    ui->Label3->setText(QString::fromUtf8(Maker::credit));
    ui->Label4->setText(QString::fromUtf8(Maker::homePage));
    ui->Label6->setText(QStringLiteral("Icons By: ") + QString::fromUtf8(Maker::iconArtist));
    ui->Label5->setText(QString::fromUtf8(Maker::copyright));

    // An etched separator: a grey line over a white one twice as thick.
    ui->Line1_0->setObjectName(QStringLiteral("Line1(0)"));
    ui->Line1_1->setObjectName(QStringLiteral("Line1(1)"));
    ui->Line1_0->setGeometry(0, 176, 370, 2);
    ui->Line1_1->setGeometry(0, 176, 371, 1);
    for (auto [line, colour] : {std::pair{ui->Line1_0, QColor(Qt::white)},
                                std::pair{ui->Line1_1, QColor(128, 128, 128)}}) {
        QPalette palette = line->palette();
        palette.setColor(QPalette::Window, colour);
        line->setPalette(palette);
    }

    ui->cmdOK->setDefault(true);
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    ui->Label4->installEventFilter(this);
    ui->Label5->installEventFilter(this);
}

frmAbout::~frmAbout() = default;

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == ui->Label4)
            Label4_Click();
        else if (watched == ui->Label5)
            Label5_Click();
    }
    return ModalWindow::eventFilter(watched, event);
}

void frmAbout::cmdOK_Click()
{
    close();
}

void frmAbout::Label4_Click()
{
    m_openHomePage();
}

void frmAbout::Label5_Click()
{
    // The copyright notice is only text.
}
