// The main window as built: every control where the layout puts it, with its caption, tooltip
// and place in the tab order, the menus, and a window that cannot be resized.
#include "windowtest.h"

#include <QAccessible>
#include <QGroupBox>
#include <QMenuBar>
#include <QTimer>
#include <QWindow>

#include "files/commondialog.h"

class TestLayout : public WindowTest
{
    Q_OBJECT

public:
    TestLayout() : WindowTest(false) {}

private slots:
    void controls_data();
    void controls();
    void tabOrder();
    void menus();
    void window();
    void logoIsFrontmost();
    void comboBoxes();
    void hiddenComponents();
    void enterAndEscPressNothing();
    void statusLabelsGrowToTheRight();
    void screenReadersNameEveryControl_data();
    void screenReadersNameEveryControl();
};

void TestLayout::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tooltip");
    QTest::addColumn<QRect>("twips");

    struct Row
    {
        const char *name, *kind, *in, *caption, *tooltip;
        int left, top, width, height;
    };
    const Row rows[] = {
        {"listlogo", "QLabel", "", "", "", 2280, 2280, 4410, 1140},
        {"bttags", "QPushButton", "", "Edit Tags", "Edit Tags", 7440, 2160, 1215, 495},
        {"Combo2", "QComboBox", "", "VBR Rate", "Change Variable Bit Rate", 120, 3960, 1575, 315},
        {"Check9", "QCheckBox", "", "Use VBR", "Use Variable Bit Rate to set the quality", 120, 2280, 1455, 195},
        {"Check8", "QCheckBox", "", "Input Raw PCM", "If wave a raw pcm format", 1800, 840, 1575, 195},
        {"Check7", "QCheckBox", "", "Original", "Set output file as original", 120, 3240, 1575, 255},
        {"Check6", "QCheckBox", "", "Copyrighted", "Set output file as copyrighted", 120, 3000, 1575, 255},
        {"Check5", "QCheckBox", "", "Force Byte Swab", "Set output file to force byte swaps", 120, 2760, 1575, 255},
        {"Check4", "QCheckBox", "", "Fix Quality", "Set output file to better quality", 120, 2520, 1455, 255},
        {"Combo1", "QComboBox", "", "Bit Rate", "Change Bitrate", 120, 3600, 1575, 315},
        {"Check3", "QCheckBox", "", "Voice Mode", "Use voice quality", 120, 2040, 1455, 255},
        {"Check2", "QCheckBox", "", "Mono", "Down mix to mono", 120, 1800, 1455, 255},
        {"Check1", "QCheckBox", "", "Fast Mode", "Use Fast Encoding Mode", 120, 1560, 1455, 255},
        {"progresscom", "QProgressBar", "", "", "", 7320, 4800, 1335, 135},
        {"foutput", "QGroupBox", "", "Output File", "", 4440, 120, 4215, 1215},
        {"textoutput", "QLineEdit", "foutput", "", "", 120, 240, 3975, 285},
        {"btbrowse2", "QPushButton", "foutput", "Select", "Save output mp3 file", 120, 600, 1455, 375},
        {"Image2", "QLabel", "foutput", "", "", 3480, 600, 495, 495},
        {"finput", "QGroupBox", "", "Input File", "", 120, 120, 4215, 1215},
        {"textinput", "QLineEdit", "finput", "", "", 120, 240, 3855, 285},
        {"btbrowse1", "QPushButton", "finput", "Select", "Select input wave file", 120, 600, 1455, 375},
        {"Image1", "QLabel", "finput", "", "", 3480, 600, 480, 480},
        {"btstop", "QPushButton", "", "Help", "Show Help", 7440, 2760, 1215, 495},
        {"btencode", "QPushButton", "", "Encode", "Start Encoding", 7440, 1560, 1215, 495},
        {"List1", "QListWidget", "", "", "Logging Actions", 1800, 1440, 5415, 2790},
        {"Line3", "QFrame", "", "", "", 0, 4440, 8800, 15},
        {"Line2", "QFrame", "", "", "", 0, 0, 8760, 15},
        {"Line1", "QFrame", "", "", "", 0, 4440, 8760, 15},
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << r.name << r.kind << r.in << r.caption << r.tooltip
                              << QRect(r.left, r.top, r.width, r.height);
}

void TestLayout::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QString, tooltip);
    QFETCH(QRect, twips);

    auto *w = m_form->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->metaObject()->className(), kind);
    QCOMPARE(w->parentWidget()->objectName(), container.isEmpty() ? "centralwidget" : container);
    QCOMPARE(w->toolTip(), tooltip);

    QString text;
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        text = b->text();
    else if (auto *c = qobject_cast<QComboBox *>(w))
        text = c->currentText();
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        text = g->title();
    else if (auto *l = qobject_cast<QLineEdit *>(w))
        text = l->text();
    QCOMPARE(text, caption);

    if (kind == "QFrame") { // lines: one pixel high, as long as drawn
        QCOMPARE(w->geometry(), QRect(twips.left() / 15, twips.top() / 15,
                                      qRound(twips.width() / 15.0), 1));
        return;
    }
    QCOMPARE(w->geometry(), QRect(twips.left() / 15, twips.top() / 15, twips.width() / 15,
                                  twips.height() / 15));
    if (auto *edit = qobject_cast<QLineEdit *>(w))
        QVERIFY(edit->isReadOnly());
}

void TestLayout::tabOrder()
{
    const QStringList expected = {"btencode", "btstop", "btbrowse1", "btbrowse2", "textinput",
                                  "textoutput", "List1", "Check1", "Check2", "Check3",
                                  "Combo1", "Check4", "Check5", "Check6", "Check7",
                                  "Check8", "Check9", "Combo2", "bttags"};
    QStringList chain;
    QWidget *w = control(*m_form, "btencode");
    do {
        if (w->focusPolicy() & Qt::TabFocus && expected.contains(w->objectName()))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w && w->objectName() != "btencode");
    QCOMPARE(chain, expected);

    // Frames, labels, pictures and the progress bar hold no focus.
    for (const char *name : {"finput", "foutput", "lbstatus", "lbpercent", "percentsmb",
                             "progresscom", "listlogo", "Image1", "Image2"})
        QVERIFY2(!(control(*m_form, name)->focusPolicy() & Qt::TabFocus), name);
}

void TestLayout::menus()
{
    auto *bar = m_form->menuBar();
    QStringList tops;
    for (QAction *a : bar->actions())
        tops << a->menu()->objectName() + "=" + a->text();
    QCOMPARE(tops, QStringList({"mnufile=File", "mnuedit=Edit", "mnuhelp=Help"}));

    auto items = [&](const char *menu) {
        QStringList out;
        for (QAction *a : control<QMenu>(*m_form, menu)->actions()) {
            out << a->objectName() + "=" + (a->isSeparator() ? "-" : a->text());
        }
        return out;
    };
    QCOMPARE(items("mnufile"), QStringList({"mnuexit=Exit"}));
    // No access keys, no shortcuts; every item usable and unchecked when built.
    for (QAction *a : m_form->findChildren<QAction *>()) {
        QVERIFY2(!a->text().contains('&'), qPrintable(a->text()));
        QVERIFY(a->shortcut().isEmpty());
        QVERIFY(!a->isChecked());
    }
    QCOMPARE(items("mnuedit"),
             QStringList({"mnuedittags=Edit Tags", "mnusep1=-", "mnuencode=Encode"}));
    QCOMPARE(items("mnuhelp"), QStringList({"mnuhelps=How to use...", "mnuabout=About",
                                            "mnusep0=-", "mnuvisit=Visit Orvane"}));
}

void TestLayout::window()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QCOMPARE(m_form->windowTitle(), QString("Sonovert 1.1"));
    QCOMPARE(m_form->objectName(), QString("Form1"));
    QCOMPARE(m_form->centralWidget()->size(), QSize(585, 336));
    QCOMPARE(m_form->centralWidget()->y(), m_form->menuBar()->height());
    // Fixed: no resizing, no minimise or maximise button, but a close button.
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
    const Qt::WindowFlags flags = m_form->windowHandle()->flags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!m_form->windowIcon().isNull());
    const QList<QSize> sizes = m_form->windowIcon().availableSizes();
    for (int s : {16, 24, 32, 48, 64, 72, 96, 128})
        QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));
}

void TestLayout::logoIsFrontmost()
{
    auto *logo = control<QLabel>(*m_form, "listlogo");
    QCOMPARE(logo->pixmap().size(), QSize(294, 76));
    // The middle of the log list and the logo's every corner show the logo.
    QWidget *central = m_form->centralWidget();
    for (const QPoint &p : {logo->geometry().center(), logo->geometry().topLeft(),
                            logo->geometry().bottomRight()})
        QCOMPARE(central->childAt(p), logo);
    // "Input Raw PCM" lies over the input frame but belongs to the window.
    auto *raw = control(*m_form, "Check8");
    QCOMPARE(central->childAt(raw->geometry().center()), raw);
    for (const char *picture : {"Image1", "Image2"})
        QCOMPARE(control<QLabel>(*m_form, picture)->pixmap().size(), QSize(32, 32));
}

void TestLayout::comboBoxes()
{
    auto entries = [](QComboBox *c) {
        QStringList out;
        for (int i = 0; i < c->count(); ++i)
            out << c->itemText(i);
        return out;
    };
    auto *rate = control<QComboBox>(*m_form, "Combo1");
    auto *vbr = control<QComboBox>(*m_form, "Combo2");
    QCOMPARE(entries(rate), QStringList({"32", "56", "64", "96", "112", "256"}));
    QCOMPARE(entries(vbr), QStringList({"1", "2", "3", "4"}));
    QVERIFY(rate->isEditable() && vbr->isEditable());
    // The prompts stand in the edit fields and are not entries.
    QCOMPARE(rate->currentText(), QString("Bit Rate"));
    QCOMPARE(vbr->currentText(), QString("VBR Rate"));
}

void TestLayout::hiddenComponents()
{
    auto *timer = m_form->findChild<QTimer *>("Timer1");
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 100);
    QVERIFY(!timer->isActive());
    QCOMPARE(m_form->findChild<CommonDialog *>("cmd")->MaxFileSize(), 265);
    QCOMPARE(m_form->findChild<CommonDialog *>("cmd2")->MaxFileSize(), 260);
    QVERIFY(m_form->findChild<LameEncoderX *>("LameEncoderX1"));
}

void TestLayout::enterAndEscPressNothing()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    int clicks = 0;
    for (QPushButton *b : m_form->findChildren<QPushButton *>()) {
        QVERIFY2(!b->isDefault() && !b->autoDefault(), qPrintable(b->objectName()));
        connect(b, &QPushButton::clicked, this, [&clicks] { ++clicks; });
    }
    control(*m_form, "btbrowse1")->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(QApplication::focusWidget(), key);
    QCOMPARE(clicks, 0);
    QVERIFY(m_prompter.requests.empty());
}

void TestLayout::statusLabelsGrowToTheRight()
{
    // Labels size themselves to their text from where they stand; "%" stays at x 32.
    auto *status = control<QLabel>(*m_form, "lbstatus");
    QVERIFY(status->width() >= status->sizeHint().width());
    QCOMPARE(status->pos(), QPoint(8, 304));
    auto *percent = control<QLabel>(*m_form, "lbpercent");
    QCOMPARE(control(*m_form, "percentsmb")->pos(), QPoint(32, 320));
    QFontMetrics metrics(percent->font());
    QVERIFY2(8 + metrics.horizontalAdvance("101") <= 32, "three digits run into the % sign");
}

namespace {

// The controls a person reaches in a window, as the accessibility tree gives them, by name.
void collectControls(QAccessibleInterface *node, QList<QAccessibleInterface *> &found)
{
    static const QList<QAccessible::Role> controlRoles = {
        QAccessible::PushButton, QAccessible::CheckBox, QAccessible::EditableText, QAccessible::ComboBox,
        QAccessible::List, QAccessible::ProgressBar, QAccessible::Graphic};
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        if (!child || child->state().invisible)
            continue;
        // A combo box's own field and list are named by Qt after the box.
        if (controlRoles.contains(child->role())) {
            found << child;
            if (child->role() == QAccessible::ComboBox)
                continue;
        }
        collectControls(child, found);
    }
}

} // namespace

// Every control of every window has a name a screen reader can say, no two alike (five fields
// all called "Tags Info" cannot be told apart), and its tool tip as its description.
void TestLayout::screenReadersNameEveryControl_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("opener"); // a button or menu item of the main window
    QTest::addColumn<int>("atLeast");
    QTest::newRow("main window") << "Form1" << "" << 20;
    QTest::newRow("tag editor") << "Dialog" << "bttags" << 7;
    QTest::newRow("help") << "Help" << "btstop" << 2;
    QTest::newRow("about") << "frmAbout" << "mnuabout" << 1;
}

void TestLayout::screenReadersNameEveryControl()
{
    QFETCH(QString, window);
    QFETCH(QString, opener);
    QFETCH(int, atLeast);
    auto check = [&](QWidget &w) {
        QList<QAccessibleInterface *> controls;
        collectControls(QAccessible::queryAccessibleInterface(&w), controls);
        QVERIFY2(controls.size() >= atLeast, qPrintable(QString::number(controls.size())));
        QStringList names;
        for (QAccessibleInterface *reader : controls) {
            const QString name = reader->text(QAccessible::Name);
            const QString id = reader->object()->objectName();
            QVERIFY2(!name.isEmpty(), qPrintable(id));
            QVERIFY2(!names.contains(name), qPrintable(id + ": " + name));
            names << name;
            if (const auto *widget = qobject_cast<QWidget *>(reader->object()); widget && !widget->toolTip().isEmpty())
                QCOMPARE(reader->text(QAccessible::Description), widget->toolTip());
        }
    };
    if (opener.isEmpty()) {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        return check(*m_form);
    }
    bool checked = false;
    const bool opened = whileModal(qPrintable(window), [&] {
        if (auto *button = m_form->findChild<QPushButton *>(opener))
            button->click();
        else
            menuItem(*m_form, qPrintable(opener))->trigger();
    }, [&](QDialog &dialog) {
        check(dialog);
        checked = !QTest::currentTestFailed();
    });
    QVERIFY(opened);
    QVERIFY(checked);
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
