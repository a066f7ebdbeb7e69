#include "console.h"

#include <cstdio>

#include <unistd.h>

Console &Console::err()
{
    static Console console;
    return console;
}

Console::Console() : m_terminal(::isatty(STDERR_FILENO)), m_stream(stderr) {}

void Console::line(const QString &text)
{
    const std::lock_guard lock(m_mutex);
    if (m_progressShown)
        m_stream << "\r\033[K";
    m_progressShown = false;
    m_stream << text << Qt::endl;
}

void Console::progress(const QString &text)
{
    if (!m_terminal)
        return;
    const std::lock_guard lock(m_mutex);
    // Clears what a longer earlier line left.
    m_stream << '\r' << text << "\033[K" << Qt::flush;
    m_progressShown = true;
}

void Console::keepProgress()
{
    const std::lock_guard lock(m_mutex);
    if (m_progressShown)
        m_stream << Qt::endl;
    m_progressShown = false;
}
