#include "infowindows.h"

#include "about.h"
#include "common/prompter.h"
#include "help.h"
#include "maker.h"

#include <QUrl>

InfoWindows::InfoWindows(Prompter &prompter, QWidget *window)
    : QObject(window), m_prompter(prompter), m_window(window)
{
}

void InfoWindows::openHelp()
{
    if (!m_help)
        m_help = new Help(m_window);
    m_help->exec(); // deletes itself on close
}

void InfoWindows::openAbout()
{
    if (!m_about)
        m_about = new frmAbout([this] { openHomePage(); }, m_window);
    m_about->exec(); // deletes itself on close
}

void InfoWindows::openHomePage()
{
    const QUrl home(QString::fromUtf8(Maker::homePage));
    if (!m_prompter.openUrl(home))
        showErrorFound(m_prompter, m_window,
                       tr("No web browser could be started to show %1.").arg(home.toString()));
}
