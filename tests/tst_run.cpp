// Conversions through the window, end to end: the count, the log and the logo, the finished
// box, the MP3 itself, and every way a run can fail without leaving the window busy or a file
// behind.
#include "windowtest.h"

#include "mp3check.h"
#include "wavegen.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

QByteArray digest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestRun : public WindowTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void convertsThroughTheWindow();
    void failedRunReturnsToIdle_data();
    void failedRunReturnsToIdle();
    void closingDuringARunStopsIt();
    void logOrderAndLogo();
    void unusualPathsEverywhere();
    void hundredThousandLogLines();
    void fiftyRunsInOneWindow();

private:
    void choose(const QString &input, const QString &output);
    bool idle() const;

    QTemporaryDir m_dir;
    QString m_wave;
    qint64 m_waveFrames = 0;
};

void TestRun::initTestCase()
{
    setUpAppearance();
    // Six seconds of 16-bit stereo: just over a million bytes.
    m_wave = m_dir.filePath("in.wav");
    m_waveFrames = 6 * 44100;
    QString error;
    QVERIFY2(writeMusicWave(m_wave, 6.0, 44100, 2, &error), qPrintable(error));
    QVERIFY(QFileInfo(m_wave).size() >= 1000000);
}

void TestRun::cleanup()
{
    m_form.reset();
    for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden))
        if (name != "in.wav")
            QFile::remove(m_dir.filePath(name));
}

void TestRun::choose(const QString &input, const QString &output)
{
    m_prompter.answers = {input, output};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
}

bool TestRun::idle() const
{
    return control(*m_form, "btbrowse1")->isEnabled() && !control(*m_form, "btencode")->isEnabled()
           && control<QMenu>(*m_form, "mnufile")->menuAction()->isEnabled()
           && control(*m_form, "lbpercent")->isHidden();
}

void TestRun::convertsThroughTheWindow()
{
    const QString mp3 = m_dir.filePath("out.mp3");
    choose(m_wave, mp3);
    QSignalSpy progress(&m_form->encoder(), &LameEncoderX::EncodeProgress);
    click(*m_form, "btencode");
    QTRY_VERIFY_WITH_TIMEOUT(m_prompter.saw("Finished Encoding!", "Finished"), 30000);

    QCOMPARE(progress.size(), 101);
    for (int i = 0; i < progress.size(); ++i)
        QCOMPARE(progress.at(i).at(0).toInt(), i);
    QCOMPARE(m_prompter.messages.size(), size_t(1));
    QCOMPARE(logLines(*m_form), QStringList({"Finished Encoding!"}));
    QVERIFY(!control(*m_form, "listlogo")->isHidden());
    QVERIFY(idle());
    QCOMPARE(control<QProgressBar>(*m_form, "progresscom")->value(), 0);
    QCOMPARE(control<QLabel>(*m_form, "lbstatus")->text(), QString("Encoding: in.wav To out.mp3"));
    QVERIFY(control(*m_form, "lbstatus")->isHidden());
    // Paths stay in their boxes; Encode waits for both files to be chosen again.
    QCOMPARE(control<QLineEdit>(*m_form, "textinput")->text(), m_wave);
    QCOMPARE(control<QLineEdit>(*m_form, "textoutput")->text(), mp3);

    const Mp3Info info = decodeMp3(mp3);
    QVERIFY2(info.ok, qPrintable(info.error));
    QCOMPARE(info.rate, 44100);
    QCOMPARE(info.channels, 2);
    QCOMPARE(info.frames, m_waveFrames);
    QCOMPARE(strayFiles(m_dir.path(), {"in.wav", "out.mp3"}), QStringList());
}

void TestRun::failedRunReturnsToIdle_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("input is not audio") << "text";
    QTest::newRow("input is a FLAC: the window takes WAVE alone") << "flac";
    QTest::newRow("input gone after it was chosen") << "vanished";
    QTest::newRow("output folder missing") << "nofolder";
    QTest::newRow("output is the input") << "same";
    QTest::newRow("output links to the input") << "symlink";
    QTest::newRow("output is a hard link of the input") << "hardlink";
}

void TestRun::failedRunReturnsToIdle()
{
    QFETCH(QString, fault);
    QString input = m_wave;
    QString output = m_dir.filePath("out.mp3");
    QStringList expected = {"in.wav"};

    if (fault == "text" || fault == "vanished") {
        input = m_dir.filePath("text.wav");
        QFile f(input);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1000000, 'a'));
        f.close();
        // An MP3 already at the output path must survive a failed run.
        QFile old(output);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older MP3");
        expected << "out.mp3";
        if (fault == "text")
            expected << "text.wav";
    } else if (fault == "flac") {
        input = m_dir.filePath("in.flac");
        QVERIFY(writeWave(input, {.frames = 30 * 44100, .container = Container::Flac}));
        expected << "in.flac";
    } else if (fault == "nofolder") {
        output = m_dir.filePath("missing/out.mp3");
    } else if (fault == "same") {
        output = m_wave;
    } else if (fault == "symlink") {
        QVERIFY(QFile::link(m_wave, output));
        expected << "out.mp3";
    } else if (fault == "hardlink") {
        QCOMPARE(::link(QFile::encodeName(m_wave).constData(), QFile::encodeName(output).constData()), 0);
        expected << "out.mp3";
    }
    const QByteArray inputBefore = digest(m_wave);
    const QByteArray outputBefore = digest(output);

    choose(input, output);
    QVERIFY(control(*m_form, "btencode")->isEnabled());
    if (fault == "vanished")
        QVERIFY(QFile::remove(input));
    click(*m_form, "btencode");
    QTRY_VERIFY_WITH_TIMEOUT(m_prompter.saw("Error", "Error Found"), 20000);
    QCOMPARE(m_prompter.messages.back().icon, Prompter::Icon::Critical);
    QVERIFY2(!m_prompter.messages.back().detail.isEmpty(), "the reason goes in the detail text");
    if (fault == "text" || fault == "flac") // in the words the window has always used
        QCOMPARE(m_prompter.messages.back().detail, QStringLiteral("The input %1 is not a WAVE file.").arg(input));
    QVERIFY(idle());
    QVERIFY(logLines(*m_form).isEmpty());
    QVERIFY(!m_form->encoder().isEncoding());
    QTest::qWait(250); // no late finish or second box
    QCOMPARE(m_prompter.messages.size(), size_t(1));

    QCOMPARE(digest(m_wave), inputBefore);
    if (fault != "nofolder" && fault != "same")
        QCOMPARE(digest(output), outputBefore);
    QCOMPARE(strayFiles(m_dir.path(), expected), QStringList());
}

void TestRun::closingDuringARunStopsIt()
{
    const QString longWave = m_dir.filePath("long.wav");
    QVERIFY(writeMusicWave(longWave, 120.0));
    choose(longWave, m_dir.filePath("out.mp3"));
    click(*m_form, "btencode");
    QVERIFY(m_form->encoder().isEncoding());
    // Before the first tick the window manager's close is still offered.
    QCloseEvent close;
    QApplication::sendEvent(m_form.get(), &close);
    QVERIFY(close.isAccepted());
    QVERIFY(!m_form->encoder().isEncoding());
    QTest::qWait(200);
    QCOMPARE(strayFiles(m_dir.path(), {"in.wav", "long.wav"}), QStringList());
    QVERIFY(m_prompter.messages.empty());
}

void TestRun::logOrderAndLogo()
{
    choose(m_wave, m_dir.filePath("x.mp3"));
    auto *logo = control(*m_form, "listlogo");
    QVERIFY(!logo->isHidden());
    // Any mouse button on the list hides the logo; adding lines does not.
    auto *list = control<QListWidget>(*m_form, "List1");
    QTest::mousePress(list->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    QVERIFY(logo->isHidden());
    m_form = std::make_unique<Form1>(&m_prompter);
    m_form->show();
    logo = control(*m_form, "listlogo");
    QTest::mouseClick(logo, Qt::LeftButton);
    QVERIFY(logo->isHidden());
    QVERIFY(logLines(*m_form).isEmpty());
}

void TestRun::unusualPathsEverywhere()
{
    // Spaces, Cyrillic, Japanese, and a name of 250 characters (255 bytes, the most a Linux
    // file name may have).
    const QString folder = m_dir.filePath("папка 日本 with spaces");
    QVERIFY(QDir().mkpath(folder));
    const QString inputName = QString("Песня ") + QString(240, 'x') + ".wav";
    QCOMPARE(inputName.size(), 250);
    QCOMPARE(inputName.toUtf8().size(), 255);
    const QString input = folder + "/" + inputName;
    QVERIFY(QFile::copy(m_wave, input));
    const QString outputName = QString("曲 ") + QString(200, 'y') + ".mp3";
    const QString output = folder + "/" + outputName;

    choose(input, output);
    QCOMPARE(logLines(*m_form), QStringList({"Output - " + outputName, "Input - " + inputName}));
    QCOMPARE(control<QLineEdit>(*m_form, "textinput")->text(), input);
    click(*m_form, "btencode");
    QTRY_COMPARE(control<QLabel>(*m_form, "lbstatus")->text(),
                 "Encoding: " + inputName + " To " + outputName);
    QTRY_VERIFY_WITH_TIMEOUT(m_prompter.saw("Finished Encoding!", "Finished"), 30000);
    const Mp3Info info = decodeMp3(output);
    QVERIFY2(info.ok, qPrintable(info.error));
    QCOMPARE(info.frames, m_waveFrames);
    QCOMPARE(strayFiles(folder, {inputName, outputName}), QStringList());
}

void TestRun::hundredThousandLogLines()
{
    // A person typing into a rate box for a long time: every keystroke adds a line.
    choose(m_wave, m_dir.filePath("x.mp3"));
    auto *rate = control<QComboBox>(*m_form, "Combo1");
    for (int i = 0; i < 100000; ++i)
        emit rate->lineEdit()->textEdited(QStringLiteral("1"));
    auto *list = control<QListWidget>(*m_form, "List1");
    QCOMPARE(list->count(), 100002);
    QCOMPARE(list->item(list->count() - 1)->text(), QString("Bitrate: 128"));
    QTest::mouseClick(control(*m_form, "Check2"), Qt::LeftButton);
    QCOMPARE(list->item(0)->text(), QString("Using: Mono Mode"));
    list->scrollToBottom();
    QTest::qWait(50); // paints with the whole log in place
    // The next return to idle empties it.
    m_prompter.answers = {QString()};
    click(*m_form, "btbrowse2");
    QCOMPARE(list->count(), 0);
}

namespace {

struct Footprint
{
    int files = 0;
    int threads = 0;
    qint64 residentKiB = 0;
};

Footprint footprint()
{
    Footprint now;
    now.files = QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Threads:"))
                now.threads = line.mid(8).trimmed().toInt();
            else if (line.startsWith("VmRSS:"))
                now.residentKiB = line.mid(6).trimmed().split(' ').constFirst().toLongLong();
        }
    return now;
}

} // namespace

// A long day of use: fifty conversions in one window, a failed run and a window closed during its
// run among them, leave open files, threads and memory where the first few runs left them.
void TestRun::fiftyRunsInOneWindow()
{
    const QString longWave = m_dir.filePath("long.wav");
    QVERIFY(writeMusicWave(longWave, 60.0));
    Footprint settled;
    QElapsedTimer clock;
    qint64 fifthRunMs = 0;
    for (int run = 1; run <= 50; ++run) {
        if (run == 20) {
            const QString gone = m_dir.filePath("gone.wav");
            QVERIFY(QFile::copy(m_wave, gone));
            choose(gone, m_dir.filePath("gone.mp3"));
            QVERIFY(QFile::remove(gone));
            click(*m_form, "btencode");
            QTRY_VERIFY_WITH_TIMEOUT(m_prompter.saw("Error", "Error Found"), 30000);
            QVERIFY(idle());
        } else if (run == 30) {
            ScriptedPrompter otherPrompter;
            otherPrompter.answers = {longWave, m_dir.filePath("long.mp3")};
            auto other = std::make_unique<Form1>(&otherPrompter);
            click(*other, "btbrowse1");
            click(*other, "btbrowse2");
            QSignalSpy progress(&other->encoder(), &LameEncoderX::EncodeProgress);
            click(*other, "btencode");
            QTRY_VERIFY_WITH_TIMEOUT(progress.size() >= 5, 30000);
            other.reset(); // closing the program mid-run
        }
        m_prompter.messages.clear();
        clock.start();
        choose(m_wave, m_dir.filePath(QString("run %1.mp3").arg(run)));
        click(*m_form, "btencode");
        QTRY_VERIFY_WITH_TIMEOUT(m_prompter.saw("Finished Encoding!", "Finished"), 30000);
        QVERIFY(idle());
        if (run == 5) {
            settled = footprint();
            fifthRunMs = clock.elapsed();
        }
    }
    const Footprint last = footprint();
    qInfo("run 5: %lld ms, %d files, %d threads, %lld KiB; run 50: %lld ms, %d files, %d threads, %lld KiB",
          fifthRunMs, settled.files, settled.threads, settled.residentKiB, clock.elapsed(), last.files,
          last.threads, last.residentKiB);
    // A leak only grows: files or threads that the system let go since run 5 (under load, a
    // descriptor still closing then) are no fault.
    QVERIFY2(last.files <= settled.files, qPrintable(QString("%1 then %2 files").arg(settled.files).arg(last.files)));
    QVERIFY2(last.threads <= settled.threads,
             qPrintable(QString("%1 then %2 threads").arg(settled.threads).arg(last.threads)));
#ifndef __SANITIZE_ADDRESS__ // AddressSanitizer holds freed memory back for a while
    QVERIFY2(last.residentKiB - settled.residentKiB < 8 * 1024,
             qPrintable(QString("%1 KiB then %2 KiB").arg(settled.residentKiB).arg(last.residentKiB)));
#endif
    QCOMPARE(decodeMp3(m_dir.filePath("run 50.mp3")).frames, m_waveFrames);
    QVERIFY(!QFile::exists(m_dir.filePath("long.mp3")));
}

QTEST_MAIN(TestRun)
#include "tst_run.moc"

