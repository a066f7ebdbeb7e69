// The idle and busy states, the timer's sampling of the progress count, and the Close command
// withdrawn during a run. The test plays the encoder's part by raising its progress events.
#include "windowtest.h"

#include "app/closecommand.h"
#include "app/startup.h"
#include "wavegen.h"

#include <QCloseEvent>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

namespace {

// One word per control: E/D enabled, S/H shown or hidden, plus the values that change.
QMap<QString, QString> snapshot(Form1 &form)
{
    QMap<QString, QString> s;
    for (const char *name : {"btbrowse1", "btbrowse2", "textinput", "textoutput", "btencode",
                             "bttags", "btstop", "Check1", "Check2", "Check3", "Check4",
                             "Check5", "Check6", "Check7", "Check8", "Check9", "Combo1",
                             "Combo2", "progresscom"})
        s[name] = control(form, name)->isEnabled() ? "E" : "D";
    for (const char *name : {"mnuencode"})
        s[name] = menuItem(form, name)->isEnabled() ? "E" : "D";
    for (const char *name : {"mnufile", "mnuedit", "mnuhelp"})
        s[name] = control<QMenu>(form, name)->menuAction()->isEnabled() ? "E" : "D";
    for (const char *name : {"lbstatus", "percentsmb", "lbpercent", "listlogo"})
        s[QString(name) + ".shown"] = control(form, name)->isHidden() ? "H" : "S";
    s["progresscom.value"] = QString::number(control<QProgressBar>(form, "progresscom")->value());
    s["lbpercent.text"] = control<QLabel>(form, "lbpercent")->text();
    s["Timer1"] = form.findChild<QTimer *>("Timer1")->isActive() ? "E" : "D";
    s["List1"] = logLines(form).join('|');
    s["close"] = Module1::isCloseWithdrawn(&form) ? "removed" : "present";
    return s;
}

const QMap<QString, QString> idle = {
    {"btbrowse1", "E"}, {"btbrowse2", "D"}, {"textinput", "D"}, {"textoutput", "D"},
    {"btencode", "D"}, {"bttags", "E"}, {"btstop", "E"}, {"Check1", "D"}, {"Check2", "D"},
    {"Check3", "D"}, {"Check4", "D"}, {"Check5", "D"}, {"Check6", "D"}, {"Check7", "D"},
    {"Check8", "E"}, {"Check9", "D"}, {"Combo1", "D"}, {"Combo2", "D"}, {"progresscom", "D"},
    {"mnuencode", "D"}, {"mnufile", "E"}, {"mnuedit", "E"}, {"mnuhelp", "E"},
    {"lbstatus.shown", "H"}, {"percentsmb.shown", "H"}, {"lbpercent.shown", "H"},
    {"listlogo.shown", "S"}, {"progresscom.value", "0"}, {"lbpercent.text", "0"},
    {"Timer1", "D"}, {"List1", ""}, {"close", "present"},
};

} // namespace

class TestStates : public WindowTest
{
    Q_OBJECT

private slots:
    void init();

    void startsIdle();
    void failedChoiceResetsToTheSameIdle();
    void readyThenBusy();
    void tickCopiesCountAndWithdrawsClose();
    void runEndsAtTheTickAfter101();
    void countNeverPasses101();
    void exitClosesTheWindowWhenIdle();
    void commandLine_data();
    void commandLine();
    void platformOrder_data();
    void platformOrder();

private:
    void chooseBothFiles();

    QTemporaryDir m_dir;
    QString m_input;
};

void TestStates::init()
{
    m_input = m_dir.filePath("song.wav");
    if (!QFile::exists(m_input))
        QVERIFY(writeMusicWave(m_input, 6.0));
    openWindow();
}

void TestStates::chooseBothFiles()
{
    m_prompter.answers = {m_input, m_dir.filePath("song.mp3")};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
}

void TestStates::startsIdle()
{
    QCOMPARE(snapshot(*m_form), idle);
    QVERIFY(m_form->encoder().read(LameEncoderX::Member::WriteInfoTag).toBool());
}

void TestStates::failedChoiceResetsToTheSameIdle()
{
    chooseBothFiles();
    control<QCheckBox>(*m_form, "Check2")->setChecked(true);
    // Two cancelled output choices: each shows the box and resets; twice is the same as once.
    m_prompter.answers = {QString()};
    click(*m_form, "btbrowse2");
    QCOMPARE(snapshot(*m_form), idle);
    QVERIFY(m_prompter.saw("Error", "Error Found"));
    m_prompter.answers = {m_input, QString()};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
    QCOMPARE(snapshot(*m_form), idle);
    QCOMPARE(m_prompter.messages.size(), size_t(2));
    // What the idle state leaves alone: paths, ticks, encoder settings.
    QCOMPARE(control<QLineEdit>(*m_form, "textinput")->text(), m_input);
    QVERIFY(control<QCheckBox>(*m_form, "Check2")->isChecked());
    QCOMPARE(m_form->encoder().read(LameEncoderX::Member::InputFile).toString(), m_input);
}

void TestStates::readyThenBusy()
{
    chooseBothFiles();
    QMap<QString, QString> ready = idle;
    for (const char *name : {"btbrowse2", "textinput", "textoutput", "btencode", "mnuencode",
                             "Check1", "Check2", "Check3", "Check4", "Check5", "Check6",
                             "Check7", "Check9", "Combo1", "Combo2"})
        ready[name] = "E";
    ready["List1"] = "Output - song.mp3|Input - song.wav";
    QCOMPARE(snapshot(*m_form), ready);

    click(*m_form, "btencode");
    QMap<QString, QString> busy = ready;
    for (auto it = busy.begin(); it != busy.end(); ++it)
        if (it.value() == "E")
            it.value() = "D";
    busy["mnuencode"] = "E"; // not touched by Encode
    busy["progresscom"] = "E";
    busy["Timer1"] = "E";
    for (const char *name : {"lbstatus.shown", "percentsmb.shown", "lbpercent.shown"})
        busy[name] = "S";
    busy["List1"] = "Encoding... |" + ready["List1"];
    QCOMPARE(snapshot(*m_form), busy);

    // The status line keeps its first caption until the first tick.
    QCOMPARE(control<QLabel>(*m_form, "lbstatus")->text(), QString("Converting:"));
    QTRY_COMPARE(control<QLabel>(*m_form, "lbstatus")->text(),
                 QString("Encoding: song.wav To song.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(m_prompter.saw("Finished Encoding!", "Finished"), 20000);
    QMap<QString, QString> finished = idle;
    finished["List1"] = "Finished Encoding!";
    QCOMPARE(snapshot(*m_form), finished);
}

void TestStates::tickCopiesCountAndWithdrawsClose()
{
    auto *timer = m_form->findChild<QTimer *>("Timer1");
    auto *bar = control<QProgressBar>(*m_form, "progresscom");
    auto *count = control<QLabel>(*m_form, "lbpercent");
    timer->start();
    emit m_form->encoder().EncodeProgress(0, 0);
    QCOMPARE(count->text(), QString("1"));
    QCOMPARE(bar->value(), 0); // the event only counts; the tick copies
    QTRY_COMPARE(bar->value(), 1);
    QVERIFY(Module1::isCloseWithdrawn(m_form.get()));
    QVERIFY(!(m_form->windowHandle()->flags() & Qt::WindowCloseButtonHint));

    // The window manager's close is refused now: the window stays and no unload happens.
    QCloseEvent close;
    QApplication::sendEvent(m_form.get(), &close);
    QVERIFY(!close.isAccepted());
    QVERIFY(m_form->isVisible());

    for (int i = 0; i < 100; ++i)
        emit m_form->encoder().EncodeProgress(i + 1, 0);
    QTRY_VERIFY(m_prompter.saw("Finished Encoding!", "Finished"));
    QVERIFY(!Module1::isCloseWithdrawn(m_form.get()));
    QVERIFY(m_form->windowHandle()->flags() & Qt::WindowCloseButtonHint);
}

void TestStates::runEndsAtTheTickAfter101()
{
    auto *timer = m_form->findChild<QTimer *>("Timer1");
    timer->start();
    for (int i = 0; i <= 100; ++i)
        emit m_form->encoder().EncodeProgress(i, 0);
    QCOMPARE(control<QLabel>(*m_form, "lbpercent")->text(), QString("101"));
    QTRY_VERIFY(m_prompter.saw("Finished Encoding!", "Finished"));
    QMap<QString, QString> finished = idle;
    finished["List1"] = "Finished Encoding!";
    QCOMPARE(snapshot(*m_form), finished);
    QCOMPARE(m_prompter.messages.back().icon, Prompter::Icon::Information);
    QCOMPARE(m_prompter.messages.size(), size_t(1));
}

void TestStates::countNeverPasses101()
{
    for (int i = 0; i < 150; ++i)
        emit m_form->encoder().EncodeProgress(qMin(i, 100), 0);
    QCOMPARE(control<QLabel>(*m_form, "lbpercent")->text(), QString("101"));
    m_form->findChild<QTimer *>("Timer1")->start();
    QTRY_VERIFY(m_prompter.saw("Finished Encoding!", "Finished"));
}

void TestStates::exitClosesTheWindowWhenIdle()
{
    menuItem(*m_form, "mnuexit")->trigger();
    QVERIFY(!m_form->isVisible());
    QVERIFY(!m_form->encoder().isEncoding());
}

// --help, --help-all and --version answer without a display, and so does an option it does not
// know (a usage error); Qt's own options are no usage error. Without any display the window
// says so in one line and exits 1, never Qt's abort.
void TestStates::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("display");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("printed"); // on stdout or stderr
    QTest::newRow("--version") << QStringList{"--version"} << false << 0 << QString("Sonovert 1.1\n");
    QTest::newRow("--help") << QStringList{"--help"} << false << 0 << QString("Usage: ");
    QTest::newRow("-h with a file") << QStringList{"song.wav", "-h"} << false << 0 << QString("[file]");
    QTest::newRow("--help-all") << QStringList{"--help-all"} << false << 0 << QString("--platform <name>");
    QTest::newRow("unknown option") << QStringList{"--bogus"} << true << 2 << QString("Unknown option 'bogus'");
    QTest::newRow("unknown option, no display") << QStringList{"--bogus"} << false << 2
                                                << QString("Unknown option 'bogus'");
    QTest::newRow("Qt's options, then --version") << QStringList{"-style", "fusion", "-reverse", "--version"}
                                                  << false << 0 << QString("Sonovert 1.1\n");
    QTest::newRow("no display") << QStringList{} << false << 1 << QString("sonovert-encode converts without a window");
    QTest::newRow("no display, a file") << QStringList{"song.wav"} << false << 1 << QString("no Wayland compositor");
}

void TestStates::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, display);
    QFETCH(int, exitCode);
    QFETCH(QString, printed);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        environment.remove(name);
    // Qt's Wayland plugin looks for wayland-0 there when WAYLAND_DISPLAY is unset.
    QTemporaryDir runtime;
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    if (display)
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(SONOVERT_PROGRAM, arguments);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString err = QString::fromUtf8(program.readAllStandardError());
    QVERIFY2((out + err).contains(printed), qPrintable(out + err));
    if (exitCode == 1)
        QCOMPARE(err.count('\n'), 1);
}

// Which window systems are tried, in order: the one the desktop runs on first, the other after,
// so that Wayland without XWayland (or X11 alone) still opens the window.
void TestStates::platformOrder_data()
{
    QTest::addColumn<QByteArray>("forced");
    QTest::addColumn<QByteArray>("xdgSessionType");
    QTest::addColumn<QByteArray>("desktops");
    QTest::addColumn<bool>("x11");
    QTest::addColumn<bool>("wayland");
    QTest::addColumn<QByteArray>("order");
    QTest::newRow("X11 desktop") << QByteArray() << QByteArray("x11") << QByteArray("XFCE:xfce") << true << false
                                 << QByteArray("xcb;wayland");
    QTest::newRow("Plasma on Wayland") << QByteArray() << QByteArray("wayland") << QByteArray("KDE:plasma")
                                       << true << true << QByteArray("wayland;xcb");
    QTest::newRow("GNOME on Wayland: XWayland, as Qt does") << QByteArray() << QByteArray("wayland")
                                                             << QByteArray("ubuntu:GNOME:gnome") << true << true
                                                             << QByteArray("xcb;wayland");
    QTest::newRow("a compositor without XWayland") << QByteArray() << QByteArray() << QByteArray(":") << false
                                                   << true << QByteArray("wayland;xcb");
    QTest::newRow("both, no XDG_SESSION_TYPE") << QByteArray() << QByteArray() << QByteArray(":") << true << true
                                           << QByteArray("xcb;wayland");
    QTest::newRow("chosen by the person") << QByteArray("wayland") << QByteArray("x11") << QByteArray(":")
                                          << true << false << QByteArray();
}

void TestStates::platformOrder()
{
    QFETCH(QByteArray, forced);
    QFETCH(QByteArray, xdgSessionType);
    QFETCH(QByteArray, desktops);
    QFETCH(bool, x11);
    QFETCH(bool, wayland);
    QFETCH(QByteArray, order);
    QCOMPARE(platformsToTry({forced, xdgSessionType, desktops, x11, wayland}), order);
}

QTEST_MAIN(TestStates)
#include "tst_states.moc"
