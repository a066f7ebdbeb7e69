#pragma once

#include <QObject>
#include <QPointer>

class Help;
class Prompter;
class QWidget;
class frmAbout;

// Help, About and the maker's home page. Each window is made when opened, shown modally and
// deleted when closed, so at most one of each exists.
class InfoWindows : public QObject
{
    Q_OBJECT

public:
    // prompter opens the home page in the person's browser.
    InfoWindows(Prompter &prompter, QWidget *window);

    void openHelp();
    void openAbout();
    void openHomePage();

private:
    Prompter &m_prompter;
    QWidget *m_window;
    QPointer<Help> m_help;
    QPointer<frmAbout> m_about;
};
