#pragma once

// What the window tests share: a prompter that answers from a script, and short ways to reach
// the main window's controls by name.

#include "app/form1.h"
#include "common/appearance.h"
#include "common/prompter.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

// Answers file dialogs from a queue (an empty answer is a cancel) and records every message
// box instead of showing it.
class ScriptedPrompter : public Prompter
{
public:
    struct Message
    {
        Icon icon;
        QString text;
        QString title;
        QString detail;
    };

    void message(QWidget *, Icon icon, const QString &text, const QString &title,
                 const QString &detail) override
    {
        messages.push_back({icon, text, title, detail});
    }

    std::optional<QString> chooseFile(QWidget *, const FileRequest &request) override
    {
        requests.push_back(request);
        if (answers.empty())
            return std::nullopt;
        const QString answer = answers.front();
        answers.pop_front();
        if (answer.isEmpty())
            return std::nullopt;
        return answer;
    }

    bool openUrl(const QUrl &url) override
    {
        opened.push_back(url);
        return browserStarts;
    }

    bool saw(const QString &text, const QString &title) const
    {
        for (const Message &m : messages)
            if (m.text == text && m.title == title)
                return true;
        return false;
    }

    std::deque<QString> answers;
    std::vector<FileRequest> requests;
    std::vector<Message> messages;
    std::vector<QUrl> opened;
    bool browserStarts = true;
};

template <typename T = QWidget>
T *control(QWidget &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control named %s", name);
    return found;
}

inline QAction *menuItem(QWidget &window, const char *name)
{
    return control<QAction>(window, name);
}

inline QStringList logLines(QWidget &window)
{
    QStringList lines;
    const auto *list = control<QListWidget>(window, "List1");
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

inline void click(QWidget &window, const char *button)
{
    QTest::mouseClick(control<QPushButton>(window, button), Qt::LeftButton);
}

// Files that are not the MP3 nor the input: what a run leaves behind in a folder by mistake.
inline QStringList strayFiles(const QString &folder, const QStringList &expected)
{
    QStringList stray;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names)
        if (!expected.contains(name))
            stray << name;
    return stray;
}

// The fixture of every window test: each test function gets a new window answered by a fresh
// scripted prompter, shown and exposed unless the test asks for it hidden.
class WindowTest : public QObject
{
    Q_OBJECT

public:
    // Settings the window keeps (the dialogs' folders) go to a folder of the test's own.
    explicit WindowTest(bool shown = true) : m_shown(shown)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }

protected:
    void openWindow()
    {
        m_prompter = ScriptedPrompter();
        m_form = std::make_unique<Form1>(&m_prompter);
        if (!m_shown)
            return;
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    ScriptedPrompter m_prompter;
    std::unique_ptr<Form1> m_form;

private slots:
    // A test that needs more at these points declares its own and calls openWindow().
    void initTestCase() { setUpAppearance(); }
    void init() { openWindow(); }
    void cleanup() { m_form.reset(); }

private:
    bool m_shown;
    QTemporaryDir m_settings;
};

// Opens a modal window with open() and runs steps on it while it is open; a window the steps
// leave open is rejected. Returns whether the steps ran, on a window of that name.
inline bool whileModal(const char *name, const std::function<void()> &open,
                       const std::function<void(QDialog &)> &steps)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String(name)) {
            if (dialog)
                dialog->reject();
            return;
        }
        ran = true;
        steps(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    open();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ran;
}
