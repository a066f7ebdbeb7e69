#pragma once

#include <QString>

// The result of an operation that can be refused: errors travel as values, with a message a
// person can read and a kind code can act on. Success is the one kind that is not a failure.
struct [[nodiscard]] Outcome
{
    enum class Kind {
        Success,
        Stopped,       // aborted on request
        InputMismatch, // the input does not hold the audio its header announced
        Unjoinable,    // the chunks of a parallel run could not be joined
        DiskFull,      // the output's file system has no room left
        Failure,       // anything else
    };

    Kind kind = Kind::Success;
    QString message;

    static Outcome success() { return {}; }
    // A failure is never of kind Success.
    static Outcome failure(QString why, Kind kind = Kind::Failure)
    {
        return {kind == Kind::Success ? Kind::Failure : kind, std::move(why)};
    }
    static Outcome stopped() { return failure(QStringLiteral("The conversion was stopped."), Kind::Stopped); }
    bool ok() const { return kind == Kind::Success; }
    explicit operator bool() const { return ok(); }
};
