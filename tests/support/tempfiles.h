#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Everything in a folder, hidden files included, by name: what a run left behind.
QStringList entriesOf(const QString &dir);

// A suite's temporary folder, removed with it.
class TestFolder
{
public:
    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // An empty folder for one case, so its listing shows what the case left behind.
    QString freshDir(const QString &name) const;
    // A WAVE of the music-like test signal (16-bit, seed 1), made once per shape; empty if it
    // cannot be written.
    QString musicWave(int rate, int channels, double seconds) const;

private:
    QTemporaryDir m_dir;
};
