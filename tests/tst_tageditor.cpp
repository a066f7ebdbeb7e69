// The tag editor: its layout and keys, a fresh empty dialog at every opening, what OK, Cancel
// and the close button write into the encoder.
#include "windowtest.h"

#include "wavegen.h"

#include "encoder/core/tagfields.h"

#include <QDialog>
#include <QGroupBox>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using Member = LameEncoderX::Member;

class TestTagEditor : public WindowTest
{
    Q_OBJECT

private slots:
    void cleanup();

    void layout();
    void bothOpenersShowTheSameDialog();
    void okWritesAllFive();
    void eachBoxWritesItsTag_data();
    void eachBoxWritesItsTag();
    void everyOpeningStartsEmpty();
    void cancelAndCloseWriteNothing();
    void enterAndEscPressNothing();
    void refusedWriteKeepsTheDialogOpen();

private:
    // Opens the editor with an opener and runs the steps while it is open.
    void withEditor(const std::function<void()> &open, const std::function<void(QDialog &)> &steps);
    void setTags(const QString &artist, const QString &title, const QString &album,
                 const QString &genre, const QString &year);
    QStringList tags() const;

};

void TestTagEditor::cleanup()
{
    m_form.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(w->objectName() != "Dialog", "a tag editor was left behind");
}

void TestTagEditor::withEditor(const std::function<void()> &open,
                               const std::function<void(QDialog &)> &steps)
{
    QVERIFY(whileModal("Dialog", open, steps));
    QVERIFY2(!m_form->findChild<QDialog *>("Dialog"), "the editor is unloaded on close");
}

void TestTagEditor::setTags(const QString &artist, const QString &title, const QString &album,
                            const QString &genre, const QString &year)
{
    QVERIFY(m_form->encoder().write(Member::TagArtist, artist));
    QVERIFY(m_form->encoder().write(Member::TagTitle, title));
    QVERIFY(m_form->encoder().write(Member::TagAlbum, album));
    QVERIFY(m_form->encoder().write(Member::TagGenre, genre));
    QVERIFY(m_form->encoder().write(Member::TagYear, year));
}

QStringList TestTagEditor::tags() const
{
    QStringList out;
    for (Member m : {Member::TagArtist, Member::TagTitle, Member::TagAlbum, Member::TagGenre, Member::TagYear})
        out << m_form->encoder().read(m).toString();
    return out;
}

void TestTagEditor::layout()
{
    withEditor([&] { click(*m_form, "bttags"); }, [](QDialog &d) {
        QCOMPARE(d.windowTitle(), QString("Edit Tags Info"));
        QCOMPARE(d.size(), QSize(451, 268));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        QVERIFY(!(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!d.windowIcon().isNull());
        QCOMPARE(d.findChild<QGroupBox *>("ftags")->title(), QString("Tags Info"));
        QCOMPARE(d.findChild<QGroupBox *>("ftags")->geometry(), QRect(8, 8, 345, 249));
        QCOMPARE(d.findChild<QLabel *>("lbhint")->text(), QString("Edit output file tags."));
        const char *labels[] = {"Artist:", "Title:", "Album:", "Genre:", "Year:"};
        for (int i = 1; i <= 5; ++i) {
            auto *label = d.findChild<QLabel *>(QString("Label%1").arg(i));
            auto *box = d.findChild<QLineEdit *>(QString("Text%1").arg(i));
            QCOMPARE(label->text(), QString(labels[i - 1]));
            QCOMPARE(box->geometry(), QRect(24, 48 + 40 * (i - 1), 297, 19));
            QCOMPARE(label->y() + 16, box->y()); // each label stands 240 twips above its box
            QVERIFY(box->text().isEmpty());
        }
        QCOMPARE(d.findChild<QPushButton *>("OKButton")->geometry(), QRect(360, 16, 81, 25));
        QCOMPARE(d.findChild<QPushButton *>("CancelButton")->geometry(), QRect(360, 48, 81, 25));
        QCOMPARE(d.findChild<QLabel *>("Image1")->geometry(), QRect(384, 136, 32, 32));
        // Tab order: OK, Cancel, then the five boxes.
        QStringList chain;
        QWidget *w = d.findChild<QWidget *>("OKButton");
        for (int i = 0; i < 7; ++i, w = w->nextInFocusChain()) {
            while (!(w->focusPolicy() & Qt::TabFocus))
                w = w->nextInFocusChain();
            chain << w->objectName();
        }
        QCOMPARE(chain, QStringList({"OKButton", "CancelButton", "Text1", "Text2", "Text3", "Text4", "Text5"}));
    });
}

void TestTagEditor::bothOpenersShowTheSameDialog()
{
    for (auto open : {std::function<void()>([&] { click(*m_form, "bttags"); }),
                      std::function<void()>([&] { menuItem(*m_form, "mnuedittags")->trigger(); })}) {
        QVERIFY(m_form->encoder().write(Member::SkipTags, true));
        withEditor(open, [](QDialog &d) { QCOMPARE(d.windowTitle(), QString("Edit Tags Info")); });
        // Every opening writes False into member 12, whatever button closes it.
        QVERIFY(!m_form->encoder().read(Member::SkipTags).toBool());
    }
}

void TestTagEditor::okWritesAllFive()
{
    setTags("old", "old", "old", "old", "old");
    withEditor([&] { click(*m_form, "bttags"); }, [](QDialog &d) {
        d.findChild<QLineEdit *>("Text1")->insert("Земфира 椎名林檎 🎸"); // as pasted
        QTest::mouseClick(d.findChild<QPushButton *>("OKButton"), Qt::LeftButton);
        QVERIFY(!d.isVisible());
    });
    QCOMPARE(tags(), QStringList({"Земфира 椎名林檎 🎸", "", "", "", ""}));
}

void TestTagEditor::eachBoxWritesItsTag_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("tag"); // its place in tags()
    QTest::newRow("Text1 artist") << "Text1" << 0;
    QTest::newRow("Text2 title") << "Text2" << 1;
    QTest::newRow("Text3 album") << "Text3" << 2;
    QTest::newRow("Text4 genre") << "Text4" << 3;
    QTest::newRow("Text5 year") << "Text5" << 4;
}

void TestTagEditor::eachBoxWritesItsTag()
{
    QFETCH(QString, box);
    QFETCH(int, tag);
    withEditor([&] { click(*m_form, "bttags"); }, [&box](QDialog &d) {
        // A typed tag without a box of its own would be left out of the form.
        QCOMPARE(d.findChildren<QLineEdit *>().size(), qsizetype(tagFields().size()));
        QTest::keyClicks(d.findChild<QLineEdit *>(box), "typed");
        QTest::mouseClick(d.findChild<QPushButton *>("OKButton"), Qt::LeftButton);
    });
    QStringList expected(5, QString());
    expected[tag] = "typed";
    QCOMPARE(tags(), expected);
}

void TestTagEditor::everyOpeningStartsEmpty()
{
    withEditor([&] { click(*m_form, "bttags"); }, [](QDialog &d) {
        for (int i = 1; i <= 5; ++i)
            d.findChild<QLineEdit *>(QString("Text%1").arg(i))->setText(QString("value %1").arg(i));
        QTest::mouseClick(d.findChild<QPushButton *>("OKButton"), Qt::LeftButton);
    });
    QCOMPARE(tags(), QStringList({"value 1", "value 2", "value 3", "value 4", "value 5"}));
    withEditor([&] { click(*m_form, "bttags"); }, [](QDialog &d) {
        for (int i = 1; i <= 5; ++i)
            QVERIFY(d.findChild<QLineEdit *>(QString("Text%1").arg(i))->text().isEmpty());
        QTest::mouseClick(d.findChild<QPushButton *>("OKButton"), Qt::LeftButton);
    });
    QCOMPARE(tags(), QStringList({"", "", "", "", ""}));
}

void TestTagEditor::cancelAndCloseWriteNothing()
{
    setTags("a", "t", "al", "g", "1999");
    withEditor([&] { click(*m_form, "bttags"); }, [](QDialog &d) {
        QTest::keyClicks(d.findChild<QLineEdit *>("Text2"), "typed");
        QTest::mouseClick(d.findChild<QPushButton *>("CancelButton"), Qt::LeftButton);
    });
    withEditor([&] { click(*m_form, "bttags"); }, [](QDialog &d) {
        QTest::keyClicks(d.findChild<QLineEdit *>("Text2"), "typed");
        d.close(); // the title bar's close button
    });
    QCOMPARE(tags(), QStringList({"a", "t", "al", "g", "1999"}));
}

void TestTagEditor::enterAndEscPressNothing()
{
    setTags("kept", "", "", "", "");
    withEditor([&] { click(*m_form, "bttags"); }, [](QDialog &d) {
        auto *box = d.findChild<QLineEdit *>("Text1");
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClick(box, Qt::Key_Enter);
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(d.isVisible());
        d.findChild<QPushButton *>("OKButton")->setFocus();
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(d.isVisible());
    });
    QCOMPARE(tags().first(), QString("kept"));
}

void TestTagEditor::refusedWriteKeepsTheDialogOpen()
{
    QTemporaryDir dir;
    const QString input = dir.filePath("long.wav");
    QVERIFY(writeMusicWave(input, 60.0));
    QVERIFY(m_form->encoder().write(Member::InputFile, input));
    QVERIFY(m_form->encoder().write(Member::OutputFile, dir.filePath("long.mp3")));
    withEditor([&] { click(*m_form, "bttags"); }, [&](QDialog &d) {
        // A run started meanwhile makes the encoder refuse every write.
        QVERIFY(m_form->encoder().call(Member::Encode));
        QTest::keyClicks(d.findChild<QLineEdit *>("Text1"), "artist");
        QTest::mouseClick(d.findChild<QPushButton *>("OKButton"), Qt::LeftButton);
        QVERIFY(d.isVisible());
        QVERIFY(m_prompter.saw("Error", "Error Found"));
        QCOMPARE(d.findChild<QLineEdit *>("Text1")->text(), QString("artist"));
        QVERIFY(m_form->encoder().call(Member::Abort));
    });
    QVERIFY(tags().first().isEmpty());
}

QTEST_MAIN(TestTagEditor)
#include "tst_tageditor.moc"
