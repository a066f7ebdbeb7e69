// The nine switches and the two rate selectors: what each writes into the encoder and the
// line it logs, a pick against typing, and the empty-text default.
#include "windowtest.h"

#include "wavegen.h"

#include <QAbstractItemView>
#include <QTemporaryDir>

using Member = LameEncoderX::Member;

class TestOptions : public WindowTest
{
    Q_OBJECT

private slots:
    void initTestCase();

    void switches_data();
    void switches();
    void onlyRawPcmBeforeFilesAreChosen();
    void refusedSwitchIsReported();
    void pickWritesAndLogsOnce_data();
    void pickWritesAndLogsOnce();
    void typingLogsWithoutWriting();
    void emptyTextShowsTheDefault_data();
    void emptyTextShowsTheDefault();
    void rateLinesGoToTheEnd();

private:
    void chooseFiles();
    void pick(const char *combo, const QString &entry);

    QTemporaryDir m_dir;
};

void TestOptions::initTestCase()
{
    setUpAppearance();
    QVERIFY(writeMusicWave(m_dir.filePath("song.wav"), 6.0));
}

void TestOptions::chooseFiles()
{
    m_prompter.answers = {m_dir.filePath("song.wav"), m_dir.filePath("song.mp3")};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
}

// A pick as a person makes it: open the list and click the entry.
void TestOptions::pick(const char *combo, const QString &entry)
{
    auto *box = control<QComboBox>(*m_form, combo);
    box->showPopup();
    QAbstractItemView *view = box->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    const QModelIndex index = view->model()->index(box->findText(entry), 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    QTRY_VERIFY(!view->isVisible());
}

void TestOptions::switches_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<Member>("member");
    QTest::addColumn<QString>("checkedLine");
    QTest::addColumn<QString>("uncheckedLine");
    QTest::newRow("Fast Mode") << "Check1" << Member::FastMode << "Using: Fast Mode" << " Not Using: Fast Mode";
    QTest::newRow("Mono") << "Check2" << Member::Mono << "Using: Mono Mode" << "Not Using: Mono Mode";
    QTest::newRow("Voice Mode") << "Check3" << Member::VoiceMode << "Using: Voice Mode" << "Not Using: Voice Mode";
    QTest::newRow("Fix Quality") << "Check4" << Member::FixQuality << "Using: Fix Quality" << "Not Using: Fix Quality";
    QTest::newRow("Force Byte Swab") << "Check5" << Member::ForceByteSwap << "Using: Force Byte Swap" << "Not Using: Force Byte Swap";
    QTest::newRow("Copyrighted") << "Check6" << Member::Copyrighted << "Using: As Copyrighted" << "Not Using: As Copyrighted";
    QTest::newRow("Original") << "Check7" << Member::Original << "Using: As Original" << "Not Using: As Original";
    QTest::newRow("Input Raw PCM") << "Check8" << Member::RawPCM << "Input: Raw PCM" << "Input Not: Raw PCM";
    QTest::newRow("Use VBR") << "Check9" << Member::UseVBR << "Using: Variable Bit Rate (VBR) " << "Not Using: Variable Bit Rate (VBR) ";
}

void TestOptions::switches()
{
    QFETCH(QString, box);
    QFETCH(Member, member);
    QFETCH(QString, checkedLine);
    QFETCH(QString, uncheckedLine);
    chooseFiles();
    auto *check = control<QCheckBox>(*m_form, qPrintable(box));
    QTest::mouseClick(check, Qt::LeftButton);
    QVERIFY(m_form->encoder().read(member).toBool());
    QCOMPARE(logLines(*m_form).first(), checkedLine);
    // The keyboard toggles too.
    check->setFocus();
    QTest::keyClick(check, Qt::Key_Space);
    QVERIFY(!m_form->encoder().read(member).toBool());
    QCOMPARE(logLines(*m_form).mid(0, 2), QStringList({uncheckedLine, checkedLine}));
    QCOMPARE(logLines(*m_form).size(), 4);
    QVERIFY(m_prompter.messages.empty());
}

void TestOptions::onlyRawPcmBeforeFilesAreChosen()
{
    for (const char *name : {"Check1", "Check2", "Check3", "Check4", "Check5", "Check6", "Check7", "Check9"})
        QVERIFY2(!control(*m_form, name)->isEnabled(), name);
    QTest::mouseClick(control(*m_form, "Check8"), Qt::LeftButton);
    QVERIFY(m_form->encoder().read(Member::RawPCM).toBool());
    QCOMPARE(logLines(*m_form), QStringList({"Input: Raw PCM"}));
}

void TestOptions::refusedSwitchIsReported()
{
    // The encoder refuses every write while it runs.
    const QString longWave = m_dir.filePath("long.wav");
    QVERIFY(writeMusicWave(longWave, 60.0));
    m_prompter.answers = {longWave, m_dir.filePath("long.mp3")};
    click(*m_form, "btbrowse1");
    click(*m_form, "btbrowse2");
    QVERIFY(m_form->encoder().call(Member::Encode));
    const QStringList before = logLines(*m_form);
    QTest::mouseClick(control(*m_form, "Check2"), Qt::LeftButton);
    QVERIFY(m_form->encoder().call(Member::Abort));
    QVERIFY(m_prompter.saw("Error", "Error Found"));
    QVERIFY(!m_prompter.messages.back().detail.isEmpty());
    QCOMPARE(logLines(*m_form), before);
    QVERIFY(!m_form->encoder().read(Member::Mono).toBool());
    QVERIFY(control<QCheckBox>(*m_form, "Check2")->isChecked()); // left as the person set it
}

void TestOptions::pickWritesAndLogsOnce_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<Member>("member");
    QTest::addColumn<QString>("line");
    QTest::newRow("bit rate 64") << "Combo1" << "64" << Member::Bitrate << "Bitrate: 64";
    QTest::newRow("bit rate 256") << "Combo1" << "256" << Member::Bitrate << "Bitrate: 256";
    QTest::newRow("VBR rate 2") << "Combo2" << "2" << Member::VBRRate << "VBR Rate: 2";
}

void TestOptions::pickWritesAndLogsOnce()
{
    QFETCH(QString, combo);
    QFETCH(QString, entry);
    QFETCH(Member, member);
    QFETCH(QString, line);
    chooseFiles();
    pick(qPrintable(combo), entry);
    QCOMPARE(m_form->encoder().read(member).toInt(), entry.toInt());
    QCOMPARE(logLines(*m_form), QStringList({"Output - song.mp3", "Input - song.wav", line}));
    QCOMPARE(control<QComboBox>(*m_form, qPrintable(combo))->currentText(), entry);
}

void TestOptions::typingLogsWithoutWriting()
{
    chooseFiles();
    auto *box = control<QComboBox>(*m_form, "Combo1");
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), "999");
    QCOMPARE(box->currentText(), QString("999"));
    QCOMPARE(m_form->encoder().read(Member::Bitrate).toInt(), 128);
    QCOMPARE(logLines(*m_form).mid(2), QStringList({"Bitrate: 128", "Bitrate: 128", "Bitrate: 128"}));

    auto *vbr = control<QComboBox>(*m_form, "Combo2");
    QTest::keyClick(vbr->lineEdit(), Qt::Key_Backspace);
    QCOMPARE(logLines(*m_form).last(), QString("VBR Rate: 4"));
    QCOMPARE(logLines(*m_form).size(), 6);
}

void TestOptions::emptyTextShowsTheDefault_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<Member>("member");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("line");
    QTest::newRow("bit rate") << "Combo1" << Member::Bitrate << "128" << "Bitrate: 128";
    QTest::newRow("VBR rate") << "Combo2" << Member::VBRRate << "4" << "VBR Rate: 4";
}

void TestOptions::emptyTextShowsTheDefault()
{
    QFETCH(QString, combo);
    QFETCH(Member, member);
    QFETCH(QString, shown);
    QFETCH(QString, line);
    chooseFiles();
    pick(qPrintable(combo), combo == "Combo1" ? "32" : "1");
    auto *box = control<QComboBox>(*m_form, qPrintable(combo));
    box->setEditText(QString());
    // A pick that finds the field empty: the list can only be asked for one by a signal.
    emit box->activated(box->currentIndex());
    QCOMPARE(box->currentText(), shown);
    QCOMPARE(m_form->encoder().read(member).toString(), shown); // what the empty text made
    QCOMPARE(logLines(*m_form).mid(3), QStringList({line, line}));
}

void TestOptions::rateLinesGoToTheEnd()
{
    chooseFiles();
    QTest::mouseClick(control(*m_form, "Check2"), Qt::LeftButton);
    pick("Combo1", "64");
    QTest::mouseClick(control(*m_form, "Check6"), Qt::LeftButton);
    pick("Combo2", "3");
    QCOMPARE(logLines(*m_form),
             QStringList({"Using: As Copyrighted", "Using: Mono Mode", "Output - song.mp3",
                          "Input - song.wav", "Bitrate: 64", "VBR Rate: 3"}));
    click(*m_form, "btencode");
    QCOMPARE(logLines(*m_form).first(), QString("Encoding... "));
    QTRY_VERIFY_WITH_TIMEOUT(m_prompter.saw("Finished Encoding!", "Finished"), 20000);
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
