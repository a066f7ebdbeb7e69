#pragma once

#include <QString>

// The result of an operation that can be refused: errors travel as values, with a message a
// person can read.
struct Outcome
{
    bool ok = true;
    QString message;

    static Outcome success() { return {}; }
    static Outcome failure(QString why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};
