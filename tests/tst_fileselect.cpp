// Choosing the input and the output: the size rule, both cancels, what reaches the encoder, the
// text boxes and the log, and the real file dialog and message box.
#include "windowtest.h"

#include "files/commondialog.h"
#include "files/filesize.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
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

} // namespace

class TestFileSelect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpAppearance(); }
    void init();
    void cleanup() { m_form.reset(); }

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

private:
    QTemporaryDir m_dir;
    ScriptedPrompter m_prompter;
    std::unique_ptr<Form1> m_form;
};

void TestFileSelect::init()
{
    m_prompter = ScriptedPrompter();
    m_form = std::make_unique<Form1>(&m_prompter);
}

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

QTEST_MAIN(TestFileSelect)
#include "tst_fileselect.moc"
