#pragma once

#include "encoder/core/outcome.h"

#include <QObject>
#include <QString>

class Prompter;
class QWidget;

// A file dialog that keeps its settings and its last choice between showings, as the main
// window uses them: set the title, filter, flags and cancel rule, show it, then read the full
// path and the bare file name of the choice.
class CommonDialog : public QObject
{
    Q_OBJECT

public:
    // Flag bits honoured by ShowOpen and ShowSave.
    static constexpr int OFN_OVERWRITEPROMPT = 0x2;
    static constexpr int OFN_FILEMUSTEXIST = 0x1000;

    CommonDialog(Prompter &prompter, QWidget *owner, int maxFileSize, QObject *parent = nullptr);

    QString FileName() const { return m_fileName; }
    QString FileTitle() const { return m_fileTitle; }
    void setDialogTitle(const QString &title) { m_dialogTitle = title; }
    void setFilter(const QString &filter) { m_filter = filter; }
    void setFlags(int flags) { m_flags = flags; }
    void setCancelError(bool on) { m_cancelError = on; }
    // The folder to open in while no file has been chosen; DefaultExt is added to a name typed
    // without an extension.
    void setInitDir(const QString &folder) { m_initDir = folder; }
    void setDefaultExt(const QString &extension) { m_defaultExt = extension; }
    // The full path offered while FileName is still empty; it is not FileName until chosen.
    void setSuggestedName(const QString &path) { m_suggestedName = path; }
    // Records a file chosen another way (the command line, a drop) as the dialog's choice.
    void setChoice(const QString &path);
    int MaxFileSize() const { return m_maxFileSize; }

    // Each returns when the dialog has closed. A cancel keeps FileName and FileTitle; it is a
    // failure only when CancelError is set.
    Outcome ShowOpen() { return show(false); }
    Outcome ShowSave() { return show(true); }

    // "Wave File (*.wav)|*.wav" -> "Wave File (*.wav)"; pairs are joined with ";;".
    static QString toQtFilter(const QString &filter);

private:
    Outcome show(bool save);

    Prompter &m_prompter;
    QWidget *m_owner;
    QString m_fileName;
    QString m_fileTitle;
    QString m_dialogTitle;
    QString m_filter;
    QString m_initDir;
    QString m_defaultExt;
    QString m_suggestedName;
    int m_flags = 0;
    bool m_cancelError = false;
    // Kept for the record only: a path longer than this is still accepted, since Linux paths
    // may be far longer than the old dialog buffers.
    int m_maxFileSize;
};
