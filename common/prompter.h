#pragma once

#include <QString>

#include <optional>

class QUrl;
class QWidget;

// Every modal prompt of the program, and the opening of a web address, go through this one
// seam, so tests can answer message boxes and file dialogs and start no browser.
class Prompter
{
public:
    enum class Icon { Critical, Information };

    struct FileRequest
    {
        bool save = false;
        QString title;
        QString nameFilter;   // Qt's form: "Wave File (*.wav)"
        QString fileName;     // preselected: the last name chosen
        QString folder;       // where to open when no name is preselected
        QString defaultSuffix; // added to a name typed without one
        bool mustExist = false;
        bool confirmOverwrite = false;
    };

    virtual ~Prompter() = default;

    // A box with one OK button; returns when the person has closed it. The detail text, if
    // any, is offered behind the box's details button.
    virtual void message(QWidget *parent, Icon icon, const QString &text, const QString &title,
                         const QString &detail = {}) = 0;
    // The full path chosen, or nothing when the person cancelled.
    virtual std::optional<QString> chooseFile(QWidget *parent, const FileRequest &request) = 0;
    // Shows the address in the person's web browser; false when none could be started.
    virtual bool openUrl(const QUrl &url) = 0;
};

// The real prompts: QMessageBox and QFileDialog.
class QtPrompter : public Prompter
{
public:
    void message(QWidget *parent, Icon icon, const QString &text, const QString &title,
                 const QString &detail) override;
    std::optional<QString> chooseFile(QWidget *parent, const FileRequest &request) override;
    bool openUrl(const QUrl &url) override;
};

// The "Error" box titled "Error Found", with the reason behind its details button: how every
// failure the person must know of is shown.
void showErrorFound(Prompter &prompter, QWidget *parent, const QString &detail);
