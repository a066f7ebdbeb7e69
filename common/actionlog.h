#pragma once

class QString;

// Where the subsystems record what the person did: the main window's action log.
class ActionLog
{
public:
    virtual ~ActionLog() = default;
    // Most lines go in at the top, so the latest action reads first.
    virtual void logTop(const QString &line) = 0;
    // The rate selectors add theirs at the end.
    virtual void logAppend(const QString &line) = 0;

protected:
    ActionLog() = default;
    ActionLog(const ActionLog &) = default;
    ActionLog &operator=(const ActionLog &) = default;
};
