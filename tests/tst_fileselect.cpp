// Choosing the input and the output: the size rule, both cancels, what reaches the encoder, the
// text boxes and the log, and the real file dialog and message box.
#include "windowtest.h"

#include "files/commondialog.h"
#include "files/filesize.h"
#include "wavegen.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>

namespace {

QString makeFile(const QTemporaryDir &dir, const QString &name, qint64 size)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(size))
        qFatal("cannot make %s", qPrintable(path));
    return path;
}

// Offers data to the window as a drag would; whether the window took it.
bool offerDrop(QWidget &window, QMimeData *data)
{
    const QPoint at = window.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    QCoreApplication::processEvents(); // the drop is taken after it has ended
    return drop.isAccepted();
}

std::unique_ptr<QMimeData> filesData(const QStringList &paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << (path.contains("://") ? QUrl(path) : QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

} // namespace

class TestFileSelect : public WindowTest
{
    Q_OBJECT

public:
    TestFileSelect() : WindowTest(false) {}

private slots:
    void sizeRule_data();
    void sizeRule();
    void dialogSettings();
    void inputThenOutputUnlocksEncode();
    void cancelInputWithoutEarlierChoiceIsAnError();
    void cancelInputAfterAChoiceTakesItAgain();
    void cancelOutputResetsButKeepsInput();
    void newInputKeepsOutput();
    void unusualNames();
    void fileSizeIsSixtyFourBit();
    void filterToQtForm();
    void realDialogAndMessageBox();
    void inputFromOutside_data();
    void inputFromOutside();
    void dropRefused_data();
    void dropRefused();
    void dropByName_data();
    void dropByName();
    void foldersRemembered();
    void suggestedOutputName_data();
    void suggestedOutputName();
    void realDialogFolderAndSuffix();

private:
    QTemporaryDir m_dir;
};

void TestFileSelect::sizeRule_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty") << qint64(0) << false;
    QTest::newRow("999,999") << qint64(999999) << false;
    QTest::newRow("1,000,000") << qint64(1000000) << true;
    QTest::newRow("1 MiB - 1") << qint64(1048575) << true;
}

void TestFileSelect::sizeRule()
{
    QFETCH(qint64, size);
    QFETCH(bool, accepted);
    const QString path = makeFile(m_dir, "in.wav", size);
    m_prompter.answers = {path};
    click(*m_form, "btbrowse1");
    auto *input = control<QLineEdit>(*m_form, "textinput");
    if (accepted) {
        QVERIFY(m_prompter.messages.empty());
        QCOMPARE(input->text(), path);
        QCOMPARE(m_form->encoder().read(LameEncoderX::Member::InputFile).toString(), path);
        QCOMPARE(logLines(*m_form), QStringList({"Input - in.wav"}));
        QVERIFY(control(*m_form, "btbrowse2")->isEnabled());
        QVERIFY(input->isEnabled());
        QVERIFY(control(*m_form, "textoutput")->isEnabled());
        QVERIFY(!control(*m_form, "btencode")->isEnabled());
    } else {
        QCOMPARE(m_prompter.messages.size(), size_t(1));
        QCOMPARE(m_prompter.messages[0].text, QString("Wave file to small, has to be more than 1MB!"));
        QCOMPARE(m_prompter.messages[0].title, QString("Too Small"));
        QCOMPARE(m_prompter.messages[0].icon, Prompter::Icon::Critical);
        QVERIFY(input->text().isEmpty());
        QVERIFY(m_form->encoder().read(LameEncoderX::Member::InputFile).toString().isEmpty());
        QVERIFY(logLines(*m_form).isEmpty());
        QVERIFY(!control(*m_form, "btbrowse2")->isEnabled());
    }
}

void TestFileSelect::dialogSettings()
{
    m_prompter.answers = {makeFile(m_dir, "a.wav", 1000000), m_dir.filePath("new.mp3")};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
    QCOMPARE(m_prompter.requests.size(), size_t(2));
    const auto &open = m_prompter.requests[0];
    QVERIFY(!open.save);
    QCOMPARE(open.title, QString("Open File to Convert"));
    QCOMPARE(open.nameFilter, QString("Wave File (*.wav)"));
    QVERIFY(open.mustExist);
    const auto &save = m_prompter.requests[1];
    QVERIFY(save.save);
    QCOMPARE(save.title, QString("Save Output File"));
    QCOMPARE(save.nameFilter, QString("Mp3 File (*.mp3)"));
    // The output is a file to be made, and an existing one is taken without a question.
    QVERIFY(!save.mustExist);
    QVERIFY(!save.confirmOverwrite);
}

void TestFileSelect::inputThenOutputUnlocksEncode()
{
    m_prompter.answers = {makeFile(m_dir, "song.wav", 2000000), m_dir.filePath("song.mp3")};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
    QCOMPARE(control<QLineEdit>(*m_form, "textoutput")->text(), m_dir.filePath("song.mp3"));
    QCOMPARE(m_form->encoder().read(LameEncoderX::Member::OutputFile).toString(),
             m_dir.filePath("song.mp3"));
    for (const char *name : {"textoutput", "btencode", "Check1", "Check2", "Check3", "Check4",
                             "Check5", "Check6", "Check7", "Check9", "Combo1", "Combo2"})
        QVERIFY2(control(*m_form, name)->isEnabled(), name);
    QVERIFY(menuItem(*m_form, "mnuencode")->isEnabled());
    QCOMPARE(logLines(*m_form), QStringList({"Output - song.mp3", "Input - song.wav"}));

    // Edit > Encode does nothing, even when usable.
    menuItem(*m_form, "mnuencode")->trigger();
    QVERIFY(!m_form->encoder().isEncoding());
    QCOMPARE(logLines(*m_form).size(), 2);
}

void TestFileSelect::cancelInputWithoutEarlierChoiceIsAnError()
{
    m_prompter.answers = {QString()};
    click(*m_form, "btbrowse1");
    QCOMPARE(m_prompter.messages.size(), size_t(1));
    QCOMPARE(m_prompter.messages[0].text, QString("Error"));
    QCOMPARE(m_prompter.messages[0].title, QString("Error Found"));
    QCOMPARE(m_prompter.messages[0].icon, Prompter::Icon::Critical);
    QVERIFY(!control(*m_form, "btbrowse2")->isEnabled());
}

void TestFileSelect::cancelInputAfterAChoiceTakesItAgain()
{
    m_prompter.answers = {makeFile(m_dir, "first.wav", 1000000), QString()};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse1");
    QVERIFY(m_prompter.messages.empty());
    QCOMPARE(logLines(*m_form), QStringList({"Input - first.wav", "Input - first.wav"}));
    // The dialog opens on the last choice.
    QCOMPARE(m_prompter.requests[1].fileName, m_dir.filePath("first.wav"));
}

void TestFileSelect::cancelOutputResetsButKeepsInput()
{
    const QString input = makeFile(m_dir, "keep.wav", 1000000);
    m_prompter.answers = {input, QString()};
    click(*m_form, "btbrowse1");
    control(*m_form, "listlogo")->hide();
    click(*m_form, "btbrowse2");
    QVERIFY(m_prompter.saw("Error", "Error Found"));
    QVERIFY(logLines(*m_form).isEmpty());
    QVERIFY(!control(*m_form, "listlogo")->isHidden());
    QVERIFY(!control(*m_form, "btbrowse2")->isEnabled());
    QCOMPARE(control<QLineEdit>(*m_form, "textinput")->text(), input);
    QCOMPARE(m_form->encoder().read(LameEncoderX::Member::InputFile).toString(), input);
}

void TestFileSelect::newInputKeepsOutput()
{
    m_prompter.answers = {makeFile(m_dir, "one.wav", 1000000), m_dir.filePath("out.mp3"),
                          makeFile(m_dir, "two.wav", 1000000)};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
    click(*m_form, "btbrowse1");
    QCOMPARE(m_form->encoder().read(LameEncoderX::Member::OutputFile).toString(),
             m_dir.filePath("out.mp3"));
    QVERIFY(control(*m_form, "btencode")->isEnabled());
    QCOMPARE(logLines(*m_form).first(), QString("Input - two.wav"));
}

void TestFileSelect::unusualNames()
{
    const QString name = QString("Песня 日本 ") + QString(200, QChar('x')) + ".wav";
    QVERIFY(QDir(m_dir.path()).mkpath("a folder with spaces"));
    const QString path = makeFile(m_dir, "a folder with spaces/" + name, 1000000);
    m_prompter.answers = {path};
    click(*m_form, "btbrowse1");
    QVERIFY(m_prompter.messages.empty());
    QCOMPARE(control<QLineEdit>(*m_form, "textinput")->text(), path);
    QCOMPARE(logLines(*m_form), QStringList({"Input - " + name}));
}

void TestFileSelect::fileSizeIsSixtyFourBit()
{
    // A sparse file past 4 GiB: its length does not fit 32 bits.
    const QString big = makeFile(m_dir, "big.wav", 5000000000LL);
    QCOMPARE(Module1::FormatFileSize(big), std::optional<QString>("5000000000"));
    QCOMPARE(Module1::FormatFileSize(m_dir.filePath("missing.wav")), std::nullopt);
    QCOMPARE(Module1::FormatFileSize(QString()), std::nullopt);
    QCOMPARE(Module1::FormatFileSize(m_dir.path()), std::nullopt);
    m_prompter.answers = {big};
    click(*m_form, "btbrowse1");
    QVERIFY(m_prompter.messages.empty());
    QFile::remove(big);
}

void TestFileSelect::filterToQtForm()
{
    QCOMPARE(CommonDialog::toQtFilter("Wave File (*.wav)|*.wav"), QString("Wave File (*.wav)"));
    QCOMPARE(CommonDialog::toQtFilter("Audio|*.wav;*.raw|All (*.*)|*.*"),
             QString("Audio (*.wav *.raw);;All (*.*)"));
    QCOMPARE(CommonDialog::toQtFilter(QString()), QString());
}

// The real QFileDialog and QMessageBox, answered the way a person would.
void TestFileSelect::realDialogAndMessageBox()
{
    Form1 form; // its own real prompter
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QString small = makeFile(m_dir, "small.wav", 999999);

    QStringList seen;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            seen << dialog->windowTitle();
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            QVERIFY(name);
            name->setText(small);
            QTest::keyClick(name, Qt::Key_Return);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            seen << box->windowTitle() + ": " + box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    answerer.start(50);
    click(form, "btbrowse1");
    answerer.stop();
    QCOMPARE(seen, QStringList({"Open File to Convert",
                                "Too Small: Wave file to small, has to be more than 1MB!"}));
    QCOMPARE(form.inputDialog().FileName(), small);
    QCOMPARE(form.inputDialog().FileTitle(), QString("small.wav"));
    QVERIFY(QApplication::topLevelWidgets().size() >= 1);
    QVERIFY(!QApplication::activeModalWidget());
}

// A file from the command line or a drop takes the input dialog's path: the size rule, the log,
// the error box for a file that cannot be measured.
void TestFileSelect::inputFromOutside_data()
{
    QTest::addColumn<bool>("dropped");
    QTest::addColumn<qint64>("size"); // -1: no such file
    QTest::addColumn<QString>("message"); // empty: taken
    for (bool dropped : {false, true}) {
        const char *way = dropped ? "drop: " : "argument: ";
        QTest::addRow("%staken", way) << dropped << qint64(2000000) << QString();
        QTest::addRow("%stoo small", way) << dropped << qint64(999999) << QString("Too Small");
    }
    QTest::addRow("argument: missing") << false << qint64(-1) << QString("Error Found");
}

void TestFileSelect::inputFromOutside()
{
    QFETCH(bool, dropped);
    QFETCH(qint64, size);
    QFETCH(QString, message);
    const QString path = size < 0 ? m_dir.filePath("gone.wav") : makeFile(m_dir, "outside.wav", size);
    if (dropped)
        QVERIFY(offerDrop(*m_form, filesData({path}).get()));
    else
        m_form->openInput(path);

    QCOMPARE(m_form->inputDialog().FileName(), path);
    if (message.isEmpty()) {
        QVERIFY(m_prompter.messages.empty());
        QCOMPARE(control<QLineEdit>(*m_form, "textinput")->text(), path);
        QCOMPARE(m_form->encoder().read(LameEncoderX::Member::InputFile).toString(), path);
        QCOMPARE(logLines(*m_form), QStringList({"Input - outside.wav"}));
        QVERIFY(control(*m_form, "btbrowse2")->isEnabled());
    } else {
        QCOMPARE(m_prompter.messages.size(), size_t(1));
        QCOMPARE(m_prompter.messages[0].title, message);
        QVERIFY(control<QLineEdit>(*m_form, "textinput")->text().isEmpty());
        QVERIFY(logLines(*m_form).isEmpty());
        QVERIFY(!control(*m_form, "btbrowse2")->isEnabled());
    }
}

// Drops the window cannot take are refused before they land, and change nothing.
void TestFileSelect::dropRefused_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"two files", "not local", "not a WAVE", "a folder", "during a run", "under a dialog"})
        QTest::newRow(kind) << QString(kind);
}

void TestFileSelect::dropRefused()
{
    QFETCH(QString, kind);
    const QString wave = makeFile(m_dir, "drop.wav", 2000000);
    QStringList paths = {wave};
    if (kind == "two files")
        paths << makeFile(m_dir, "drop2.wav", 2000000);
    else if (kind == "not local")
        paths = {"https://www.orvane.example/song.wav"};
    else if (kind == "not a WAVE")
        paths = {makeFile(m_dir, "drop.flac", 2000000)};
    else if (kind == "a folder")
        paths = {m_dir.path()};
    else if (kind == "during a run") {
        QVERIFY(writeMusicWave(m_dir.filePath("long.wav"), 60.0));
        m_prompter.answers = {m_dir.filePath("long.wav"), m_dir.filePath("long.mp3")};
        click(*m_form, "btbrowse1");
        click(*m_form, "btbrowse2");
        click(*m_form, "btencode");
    }
    const QStringList before = logLines(*m_form);
    const QString inputBefore = m_form->encoder().read(LameEncoderX::Member::InputFile).toString();

    const std::unique_ptr<QMimeData> data = filesData(paths);
    bool taken = true;
    if (kind == "under a dialog")
        QVERIFY(whileModal("Help", [&] { click(*m_form, "btstop"); },
                           [&](QDialog &) { taken = offerDrop(*m_form, data.get()); }));
    else
        taken = offerDrop(*m_form, data.get());
    QVERIFY(!taken);
    QCOMPARE(logLines(*m_form), before);
    QCOMPARE(m_form->encoder().read(LameEncoderX::Member::InputFile).toString(), inputBefore);
    QVERIFY(m_prompter.messages.empty());
}

// A drop is taken by the name's extension, as a WAVE file goes by: .wav or .wave, any case.
void TestFileSelect::dropByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("taken");
    QTest::newRow(".wav") << "a.wav" << true;
    QTest::newRow(".WAV") << "b.WAV" << true;
    QTest::newRow(".wave") << "c.wave" << true;
    QTest::newRow(".Wave") << "d.Wave" << true;
    QTest::newRow("only the extension") << ".wav" << true;
    QTest::newRow("two extensions, the last .wav") << "e.mp3.wav" << true;
    QTest::newRow(".wav before another") << "f.wav.mp3" << false;
    QTest::newRow("wav without a dot") << "wav" << false;
    QTest::newRow(".wv") << "g.wv" << false;
    QTest::newRow(".waves") << "h.waves" << false;
    QTest::newRow(".w64") << "i.w64" << false;
}

void TestFileSelect::dropByName()
{
    QFETCH(QString, name);
    QFETCH(bool, taken);
    const QString path = makeFile(m_dir, name, 2000000);
    QCOMPARE(offerDrop(*m_form, filesData({path}).get()), taken);
    QCOMPARE(m_form->encoder().read(LameEncoderX::Member::InputFile).toString(), taken ? path : QString());
}

// Each dialog opens where its last file came from, after a restart too; the output dialog
// first opens beside the input.
void TestFileSelect::foldersRemembered()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "sonovert", "sonovert").clear(); // no earlier run
    QTemporaryDir music, mp3s;
    const QString input = makeFile(music, "a.wav", 2000000);
    m_prompter.answers = {input, mp3s.filePath("a.mp3")};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
    QCOMPARE(m_prompter.requests.at(1).folder, music.path());
    QCOMPARE(m_prompter.requests.at(1).defaultSuffix, QString("mp3"));

    openWindow(); // a restart
    m_prompter.answers = {input, mp3s.filePath("b.mp3")};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
    QCOMPARE(m_prompter.requests.at(0).folder, music.path());
    QCOMPARE(m_prompter.requests.at(1).folder, mp3s.path());
}

// The save dialog offers the input's name as an MP3 beside it until a name has been chosen.
void TestFileSelect::suggestedOutputName_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("earlierOutput"); // empty: none; "cancel": the dialog was cancelled
    QTest::addColumn<QString>("offered");
    QTest::newRow("first output") << "song.wav" << "" << "song.mp3";
    QTest::newRow("capital suffix") << "Take 1.WAV" << "" << "Take 1.mp3";
    QTest::newRow("dots in the name") << "live.2024.wav" << "" << "live.2024.mp3";
    QTest::newRow("no suffix") << "song" << "" << "song.mp3";
    QTest::newRow("an output chosen before") << "song.wav" << "mine.mp3" << "mine.mp3";
    QTest::newRow("after a cancelled save") << "song.wav" << "cancel" << "song.mp3";
}

void TestFileSelect::suggestedOutputName()
{
    QFETCH(QString, input);
    QFETCH(QString, earlierOutput);
    QFETCH(QString, offered);
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "sonovert", "sonovert").clear();
    QTemporaryDir folder;
    const QString wave = makeFile(folder, input, 1000000);
    if (!earlierOutput.isEmpty()) {
        m_prompter.answers = {wave, earlierOutput == "cancel" ? QString() : folder.filePath(earlierOutput)};
        click(*m_form, "btbrowse1");
        click(*m_form, "btbrowse2");
    }
    m_prompter.answers = {wave, QString()};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
    QCOMPARE(m_prompter.requests.back().fileName, folder.filePath(offered));
    // Offered, not chosen: a cancel still takes nothing.
    QVERIFY(m_prompter.saw("Error", "Error Found"));
    QVERIFY(!control(*m_form, "btencode")->isEnabled());
}

// The real save dialog opens in the folder asked for and adds ".mp3" to a bare name.
void TestFileSelect::realDialogFolderAndSuffix()
{
    QString openedIn;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        openedIn = dialog->directory().absolutePath();
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        name->setText("song");
        QTest::keyClick(name, Qt::Key_Return);
    });
    Prompter::FileRequest request;
    request.save = true;
    request.nameFilter = "Mp3 File (*.mp3)";
    request.folder = m_dir.path();
    request.defaultSuffix = "mp3";
    const std::optional<QString> chosen = QtPrompter().chooseFile(nullptr, request);
    QCOMPARE(openedIn, m_dir.path());
    QCOMPARE(chosen.value_or(QString()), m_dir.filePath("song.mp3"));
}

QTEST_MAIN(TestFileSelect)
#include "tst_fileselect.moc"
