#pragma once

#include <QString>

// The result of an operation that can be refused: errors travel as values, with a message a
// person can read and a kind code can act on.
struct [[nodiscard]] Outcome
{
    enum class Kind {
        Success,
        Stopped,       // aborted on request
        InputMismatch, // the input does not hold the audio its header announced
        Unjoinable,    // the chunks of a parallel run could not be joined
        Failure,       // anything else
    };

    bool ok = true;
    QString message;
    Kind kind = Kind::Success;

    static Outcome success() { return {}; }
    static Outcome failure(QString why, Kind kind = Kind::Failure) { return {false, std::move(why), kind}; }
    static Outcome stopped() { return failure(QStringLiteral("The conversion was stopped."), Kind::Stopped); }
    explicit operator bool() const { return ok; }
};
