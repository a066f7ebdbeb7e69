#include "form1.h"
#include "ui_form1.h"

#include "closecommand.h"
#include "desktopnotices.h"
#include "common/appearance.h"
#include "common/prompter.h"
#include "encoder/input/wavefamily.h"
#include "files/commondialog.h"
#include "files/fileselection.h"
#include "files/tageditor.h"
#include "info/infowindows.h"
#include "options/optionswitches.h"
#include "options/rateselectors.h"
#include "version.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QLayout>
#include <QScreen>
#include <QTimer>

namespace {
// The scroll-bar grey of the separator drawn over the black line.
const QColor scrollBarColour(0xc8, 0xc8, 0xc8);
} // namespace

Form1::Form1(Prompter *prompter, QWidget *parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::Form1>()),
      m_ownPrompter(prompter ? nullptr : std::make_unique<QtPrompter>()),
      m_prompter(prompter ? prompter : m_ownPrompter.get()),
      m_encoder(new LameEncoderX(this)),
      m_cmd(new CommonDialog(*m_prompter, this, 265, this)),
      m_cmd2(new CommonDialog(*m_prompter, this, 260, this)),
      m_timer1(new QTimer(this)),
      m_desktop(new DesktopNotices(QDBusConnection::sessionBus(), this))
{
    ui->setupUi(this);
    setupControls();
    setupSubsystems();
    connectHandlers();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::setupControls()
{
    // A fixed single border with a system menu and Close, no minimise and no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral(SONOVERT_NAME));
    setWindowIcon(programIcon());

    m_encoder->setObjectName(QStringLiteral("LameEncoderX1"));
    m_cmd->setObjectName(QStringLiteral("cmd"));
    m_cmd2->setObjectName(QStringLiteral("cmd2"));
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(100);

    QAction *sep1 = ui->mnuedit->insertSeparator(ui->mnuencode);
    sep1->setObjectName(QStringLiteral("mnusep1"));
    QAction *sep0 = ui->mnuhelp->insertSeparator(ui->mnuvisit);
    sep0->setObjectName(QStringLiteral("mnusep0"));

    auto paintLine = [](QWidget *line, const QColor &colour) {
        QPalette palette = line->palette();
        palette.setColor(QPalette::Window, colour);
        line->setPalette(palette);
    };
    const QColor text = palette().color(QPalette::WindowText);
    paintLine(ui->Line1, text);
    paintLine(ui->Line2, text);
    paintLine(ui->Line3, scrollBarColour);

    // Combo box prompts are texts in the edit field, not entries of the list.
    ui->Combo1->setEditText(QStringLiteral("Bit Rate"));
    ui->Combo2->setEditText(QStringLiteral("VBR Rate"));

    for (QLabel *label : {ui->lbstatus, ui->lbpercent, ui->percentsmb})
        setAutoCaption(label, label->text());

    setAcceptDrops(true);

    // Names for screen readers where a control shows no text of its own.
    const std::pair<QWidget *, const char *> names[] = {
        {ui->textinput, "Input file"}, {ui->textoutput, "Output file"}, {ui->Combo1, "Bit rate"},
        {ui->Combo2, "VBR rate"},      {ui->progresscom, "Progress"},  {ui->List1, "Action log"},
        {ui->listlogo, "Sonovert logo"}, {ui->Image1, "Input"},         {ui->Image2, "Output"},
        // Both buttons read "Select".
        {ui->btbrowse1, "Select input file"}, {ui->btbrowse2, "Select output file"},
    };
    for (const auto &[control, name] : names)
        control->setAccessibleName(QString::fromLatin1(name));
    describeToolTips(this);

    // The logo lies in front of everything, the log list included.
    ui->listlogo->raise();

    // The window is exactly its client area plus the menu bar, and cannot be resized.
    ui->centralwidget->setFixedSize(585, 336);
    layout()->setSizeConstraint(maximisesAnyway() ? QLayout::SetMinimumSize : QLayout::SetFixedSize);
    keepUnmaximised(this);
}

void Form1::setupSubsystems()
{
    m_files = new FileSelection(*m_cmd, *m_cmd2, ui->textinput, ui->textoutput, *m_encoder, *m_prompter, this);
    m_switches = new OptionSwitches({ui->Check1, ui->Check2, ui->Check3, ui->Check4, ui->Check5, ui->Check6,
                                     ui->Check7, ui->Check8, ui->Check9},
                                    *m_encoder, *this, *m_prompter, this);
    m_rates = new RateSelectors(ui->Combo1, ui->Combo2, *m_encoder, *this, *m_prompter, this);
    m_info = new InfoWindows(*m_prompter, this);
}

void Form1::connectHandlers()
{
    connect(ui->mnuexit, &QAction::triggered, this, &Form1::mnuexit_Click);
    connect(ui->mnuencode, &QAction::triggered, this, &Form1::mnuencode_Click);
    connect(ui->btencode, &QPushButton::clicked, this, &Form1::btencode_Click);
    connect(ui->btbrowse1, &QPushButton::clicked, m_files, &FileSelection::btbrowse1_Click);
    connect(ui->btbrowse2, &QPushButton::clicked, m_files, &FileSelection::btbrowse2_Click);
    connect(m_files, &FileSelection::inputAccepted, this, &Form1::inputAccepted);
    connect(m_files, &FileSelection::outputAccepted, this, &Form1::outputAccepted);
    connect(m_files, &FileSelection::choiceFailed, this, &Form1::failChoice);
    connect(m_timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(m_encoder, &LameEncoderX::EncodeProgress, this, &Form1::LameEncoderX1_EncodeProgress);
    connect(m_encoder, &LameEncoderX::EncodeFailed, this, &Form1::LameEncoderX1_EncodeFailed);
    connect(ui->bttags, &QPushButton::clicked, this, &Form1::bttags_Click);
    connect(ui->mnuedittags, &QAction::triggered, this, &Form1::mnuedittags_Click);
    connect(ui->btstop, &QPushButton::clicked, this, &Form1::btstop_Click);
    connect(ui->mnuhelps, &QAction::triggered, this, &Form1::mnuhelps_Click);
    connect(ui->mnuabout, &QAction::triggered, this, &Form1::mnuabout_Click);
    connect(ui->mnuvisit, &QAction::triggered, this, &Form1::mnuvisit_Click);
    connect(ui->List1, &QListWidget::itemSelectionChanged, this, &Form1::List1_Click);
    ui->List1->viewport()->installEventFilter(this);
    ui->listlogo->installEventFilter(this);
}

void Form1::Form_Load()
{
    ResetForm();
}

void Form1::ResetForm()
{
    ui->btbrowse2->setEnabled(false);
    ui->textoutput->setEnabled(false);
    ui->btencode->setEnabled(false);
    ui->btbrowse1->setEnabled(true);
    ui->mnuencode->setEnabled(false);
    ui->bttags->setEnabled(true);
    ui->btstop->setEnabled(true);
    ui->textinput->setEnabled(false);
    for (QWidget *box : {ui->Check1, ui->Check2, ui->Check3, ui->Check4, ui->Check5, ui->Check6,
                         ui->Check7})
        box->setEnabled(false);
    ui->Check8->setEnabled(true);
    ui->Check9->setEnabled(false);
    ui->Combo1->setEnabled(false);
    ui->Combo2->setEnabled(false);
    ui->lbstatus->setVisible(false);
    ui->percentsmb->setVisible(false);
    ui->lbpercent->setVisible(false);
    ui->progresscom->setEnabled(false);
    ui->progresscom->setValue(0);
    setAutoCaption(ui->lbpercent, QStringLiteral("0"));
    m_timer1->stop();
    for (QMenu *menu : {ui->mnuhelp, ui->mnuedit, ui->mnufile})
        menu->menuAction()->setEnabled(true);
    Module1::RestoreCloseMenu(this);
    ui->List1->clear();
    // Refused only during a run, and the window is idle only when none is going.
    (void)m_encoder->write(LameEncoderX::Member::WriteInfoTag, true);
    if (ui->List1->count() == 0)
        ui->listlogo->setVisible(true);
}

void Form1::mnuexit_Click()
{
    close();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // During a run, from the first percent on, the window manager's close command is withdrawn.
    if (Module1::isCloseWithdrawn(this)) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void Form1::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // Stopping cannot fail in a way worth telling a person who is closing the program.
    (void)m_encoder->call(LameEncoderX::Member::Abort);
    m_desktop->hideProgress();
}

void Form1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void Form1::openInput(const QString &path)
{
    m_files->takeInput(path);
}

std::optional<QString> Form1::droppedInput(const QMimeData *data) const
{
    // Only where the input's Select could be pressed: not during a run, not under a dialog.
    if (!ui->btbrowse1->isEnabled() || QApplication::activeModalWidget() || !data->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.constFirst().isLocalFile())
        return std::nullopt;
    const QFileInfo file(urls.constFirst().toLocalFile());
    if (!file.isFile() || !isWaveFileName(file.fileName()))
        return std::nullopt;
    return file.absoluteFilePath();
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppedInput(event->mimeData()))
        event->acceptProposedAction();
}

void Form1::dragMoveEvent(QDragMoveEvent *event)
{
    if (droppedInput(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void Form1::dropEvent(QDropEvent *event)
{
    const std::optional<QString> path = droppedInput(event->mimeData());
    if (!path)
        return event->ignore();
    event->acceptProposedAction();
    // After the drop has ended: a message box inside it would hold the file manager's drag.
    QTimer::singleShot(0, this, [this, file = *path] { openInput(file); });
}

void Form1::inputAccepted(const QString &title)
{
    ui->textinput->setEnabled(true);
    ui->btbrowse2->setEnabled(true);
    ui->textoutput->setEnabled(true);
    logTop(QStringLiteral("Input - ") + title);
}

void Form1::outputAccepted(const QString &title)
{
    ui->textoutput->setEnabled(true);
    ui->btencode->setEnabled(true);
    ui->mnuencode->setEnabled(true);
    for (QWidget *control : std::initializer_list<QWidget *>{
             ui->Check1, ui->Check2, ui->Check3, ui->Check4, ui->Check5, ui->Check6, ui->Check7,
             ui->Combo1, ui->Combo2, ui->Check9})
        control->setEnabled(true);
    logTop(QStringLiteral("Output - ") + title);
}

void Form1::failChoice(const QString &why)
{
    showErrorFound(why);
    ResetForm();
}

void Form1::openTagEditor()
{
    if (!m_dialog)
        m_dialog = new Dialog(*m_encoder, *m_prompter, this);
    m_dialog->exec(); // deletes itself on close
}

void Form1::bttags_Click()
{
    openTagEditor();
}

void Form1::mnuedittags_Click()
{
    openTagEditor();
}

void Form1::btstop_Click() { m_info->openHelp(); }
void Form1::mnuhelps_Click() { m_info->openHelp(); }
void Form1::mnuabout_Click() { m_info->openAbout(); }
void Form1::mnuvisit_Click() { m_info->openHomePage(); }

void Form1::showErrorFound(const QString &detail)
{
    ::showErrorFound(*m_prompter, this, detail);
}

void Form1::setAutoCaption(QLabel *label, const QString &text)
{
    label->setText(text);
    label->resize(label->sizeHint().width(), label->height());
}
