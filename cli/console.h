#pragma once

#include <QString>
#include <QTextStream>

#include <mutex>

// Standard error, the command's one voice: every part and every thread writes through it, each
// write whole under one lock, so a progress line redrawn by one thread never cuts into a line
// of another.
class Console
{
public:
    static Console &err();

    // Standard error is a terminal: only there is a progress line drawn.
    bool isTerminal() const { return m_terminal; }
    // A whole line, without its newline; on a terminal it takes the place of a progress line.
    void line(const QString &text);
    // Drawn in place of the last one, on a terminal only.
    void progress(const QString &text);
    // Leaves a progress line shown as it stands and starts a new line below it.
    void keepProgress();

private:
    Console();

    const bool m_terminal;
    std::mutex m_mutex; // guards the two below
    QTextStream m_stream;
    bool m_progressShown = false;
};
