// Help, About and the home page: the shipped help text line by line, both windows' layouts and
// keys, and which window or address each opener reaches.
#include "windowtest.h"

#include "info/help.h"
#include "info/maker.h"

#include <QPlainTextEdit>
#include <QScrollBar>

class TestInfo : public WindowTest
{
    Q_OBJECT

private slots:
    void helpTextLineByLine();
    void helpWindow();
    void aboutWindow();
    void openers();
    void homePageFromAboutAndMenu();
    void noBrowserIsReported();
};

void TestInfo::helpTextLineByLine()
{
    const QString text = Help::text();
    QVERIFY(text.endsWith("\r\n"));
    QStringList lines = text.split("\r\n");
    lines.removeLast(); // after the last CR LF
    QCOMPARE(lines.size(), 63);
    for (const QString &line : lines)
        QVERIFY2(!line.contains('\r') && !line.contains('\n'), qPrintable(line));

    const QMap<int, QString> fixed = {
        {1, "*Sonovert 1.1*"}, {4, "VBR supported, Mono mode, Fast mode, Voice mode, Fix sound "},
        {5, "and more!"}, {7, "----------"}, {9, "*Help*"}, {10, "1.How to Convert: "},
        {11, "Select a input and a output and select the options you want"}, {12, "and click encode."},
        {14, "2.Edit tags and Writing them on converted file:"},
        {15, "Select Use VBR and click edit tags put in wat you want"},
        {16, "and encode the file. Only writes on VBR mode!"}, {18, "3.Fast mode:"},
        {19, "Encode faster than normal."}, {21, "4.Mono mode:"}, {22, "Encode in mono one channle."},
        {24, "5.Voice Mode:"}, {25, "Encode in voice quality"}, {27, "6.Use VBR:"},
        {28, "VBR is Variable Bit Rate change your quilaity"}, {29, "in that form."},
        {31, "7.Fix Quality:"}, {32, "Fix the quality when encoding."}, {34, "8.Force Byte Swab:"},
        {35, "When encoding force it to encode on error."}, {37, "9.Copyrighted:"},
        {38, "Set as copyrighted."}, {40, "10.Original:"}, {41, "Set as original."},
        {43, "11.Bit Rate:"}, {44, "Change quality of mp3"}, {46, "12.VBR Rate:"},
        {47, "VBR is Variable Bit Rate change your quilaity"}, {48, "in that form."},
        {50, "13.Input Raw PCM:"}, {51, "Is the input wave file raw."}, {53, "14.Runtime Errors:"},
        {54, "Missing a runtime file reinstall or if still getting errors contact me!"},
        {56, "15.Status Wrong:"}, {57, "I dont know how to fix it!"},
        {59, "16.Any other errors contact me!"}, {61, "---------------"},
    };
    for (int n : {2, 6, 8, 13, 17, 20, 23, 26, 30, 33, 36, 39, 42, 45, 49, 52, 55, 58, 60})
        QVERIFY2(lines[n - 1].isEmpty(), qPrintable(QString::number(n)));
    for (auto it = fixed.begin(); it != fixed.end(); ++it)
        QCOMPARE(lines[it.key() - 1], it.value());
    // The three lines of the program's own: a one-sentence blurb ending in a blank, the home
    // page, the maker.
    QVERIFY(lines[2].endsWith(". "));
    QCOMPARE(lines[2], QString::fromUtf8(Maker::blurb));
    QCOMPARE(lines[61], QString::fromUtf8(Maker::homePage));
    QCOMPARE(lines[62], QString::fromUtf8(Maker::name));
}

void TestInfo::helpWindow()
{
    QVERIFY(whileModal("Help", [&] { click(*m_form, "btstop"); }, [](QDialog &d) {
        QCOMPARE(d.windowTitle(), QString("Help"));
        QCOMPARE(d.size(), QSize(387, 338));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        QVERIFY(!d.windowIcon().isNull());
        auto *text = d.findChild<QPlainTextEdit *>("Text1");
        QCOMPARE(text->geometry(), QRect(8, 8, 369, 289));
        QVERIFY(text->isReadOnly());
        QCOMPARE(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(text->toPlainText().split('\n').mid(0, 63),
                 Help::text().split("\r\n").mid(0, 63));
        QCOMPARE(d.findChild<QPushButton *>("OKButton")->geometry(), QRect(296, 304, 81, 25));
        QCOMPARE(d.findChild<QLabel *>("Image1")->geometry(), QRect(8, 304, 32, 32));
        // No key is bound: Enter and Esc leave it open; OK closes it.
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            QTest::keyClick(&d, key);
            QVERIFY(d.isVisible());
        }
        QTest::mouseClick(d.findChild<QPushButton *>("OKButton"), Qt::LeftButton);
        QVERIFY(!d.isVisible());
    }));
    QVERIFY(!m_form->findChild<QDialog *>("Help"));
}

void TestInfo::aboutWindow()
{
    auto open = [&] { menuItem(*m_form, "mnuabout")->trigger(); };
    QVERIFY(whileModal("frmAbout", open, [](QDialog &d) {
        QCOMPARE(d.windowTitle(), QString("About"));
        QCOMPARE(d.size(), QSize(372, 217));
        QVERIFY(!d.windowIcon().isNull());
        auto *title = d.findChild<QLabel *>("Label1");
        QCOMPARE(title->text(), QString("Sonovert 1.1"));
        QVERIFY(title->font().bold());
        QCOMPARE(title->font().pointSize(), 18);
        QCOMPARE(title->geometry(), QRect(80, 8, 233, 25));
        auto *description = d.findChild<QLabel *>("Label2");
        QCOMPARE(description->text(), QString::fromUtf8(Maker::blurb)
                                          + "VBR supported, Mono mode, Fast mode, Voice mode, Fix sound and more!");
        QVERIFY(description->wordWrap());
        QCOMPARE(description->geometry(), QRect(64, 48, 257, 41));
        QVERIFY(description->heightForWidth(257) <= 41);
        auto *address = d.findChild<QLabel *>("Label4");
        QCOMPARE(address->text(), QString::fromUtf8(Maker::homePage));
        QVERIFY(!address->font().underline());
        QVERIFY(!address->text().contains('<'));
        QVERIFY(d.findChild<QLabel *>("Label6")->text().startsWith("Icons By: "));
        QVERIFY(d.findChild<QLabel *>("Label5")->text().contains(QString::fromUtf8(Maker::name)));
        for (const char *label : {"Label3", "Label4", "Label6", "Label5"}) {
            auto *l = d.findChild<QLabel *>(label);
            QVERIFY2(l->sizeHint().width() <= l->width(), label); // nothing clipped
        }
        QCOMPARE(d.findChild<QWidget *>("Line1(0)")->geometry(), QRect(0, 176, 370, 2));
        QCOMPARE(d.findChild<QWidget *>("Line1(1)")->geometry(), QRect(0, 176, 371, 1));
        auto *ok = d.findChild<QPushButton *>("cmdOK");
        QCOMPARE(ok->geometry(), QRect(280, 184, 84, 23));
        QVERIFY(ok->isDefault());
        QTest::keyClick(&d, Qt::Key_Return);
        QVERIFY(!d.isVisible());
    }));
    QVERIFY(whileModal("frmAbout", open, [](QDialog &d) {
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.isVisible());
    }));
    QVERIFY(!m_form->findChild<QDialog *>("frmAbout"));
}

void TestInfo::openers()
{
    QVERIFY(whileModal("Help", [&] { menuItem(*m_form, "mnuhelps")->trigger(); }, [](QDialog &) {}));
    QVERIFY(whileModal("Help", [&] { click(*m_form, "btstop"); }, [](QDialog &) {}));
    QVERIFY(whileModal("frmAbout", [&] { menuItem(*m_form, "mnuabout")->trigger(); }, [](QDialog &) {}));
    QVERIFY(m_prompter.opened.empty());
}

void TestInfo::homePageFromAboutAndMenu()
{
    const QUrl home(QString::fromUtf8(Maker::homePage));
    menuItem(*m_form, "mnuvisit")->trigger();
    menuItem(*m_form, "mnuvisit")->trigger();
    QCOMPARE(m_prompter.opened, std::vector<QUrl>({home, home})); // one opening per click
    QVERIFY(whileModal("frmAbout", [&] { menuItem(*m_form, "mnuabout")->trigger(); }, [](QDialog &d) {
        QTest::mouseClick(d.findChild<QLabel *>("Label5"), Qt::LeftButton);
        QTest::mouseClick(d.findChild<QLabel *>("Label4"), Qt::LeftButton);
        QVERIFY(d.isVisible());
    }));
    QCOMPARE(m_prompter.opened.size(), size_t(3));
    QCOMPARE(m_prompter.opened.back(), home);
    QVERIFY(m_prompter.messages.empty());
}

void TestInfo::noBrowserIsReported()
{
    m_prompter.browserStarts = false;
    menuItem(*m_form, "mnuvisit")->trigger();
    QVERIFY(m_prompter.saw("Error", "Error Found"));
    QVERIFY(m_prompter.messages.back().detail.contains(QString::fromUtf8(Maker::homePage)));
}

QTEST_MAIN(TestInfo)
#include "tst_info.moc"
