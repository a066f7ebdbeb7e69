// Help, About and the maker's home page, reached from the Help button and the Help menu.
#include "app/form1.h"

#include "about.h"
#include "app/prompter.h"
#include "help.h"
#include "maker.h"

#include <QUrl>

void Form1::btstop_Click()
{
    openHelp();
}

void Form1::mnuhelps_Click()
{
    openHelp();
}

void Form1::mnuabout_Click()
{
    if (!m_about)
        m_about = new frmAbout([this] { mnuvisit_Click(); }, this);
    m_about->exec(); // deletes itself on close
}

void Form1::mnuvisit_Click()
{
    const QUrl home(QString::fromUtf8(Maker::homePage));
    if (!m_prompter->openUrl(home))
        showErrorFound(tr("No web browser could be started to show %1.").arg(home.toString()));
}

void Form1::openHelp()
{
    if (!m_help)
        m_help = new Help(this);
    m_help->exec(); // deletes itself on close
}
