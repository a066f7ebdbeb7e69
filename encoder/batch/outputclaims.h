#pragma once

#include <QSet>
#include <QString>

// A text as one file name: a slash or a control character becomes "_".
QString withoutUnnamable(QString text);

// What to do where an input's MP3 would go and a file is already there.
enum class ExistingPolicy { Skip, Overwrite, Rename };

// Where an input's MP3 goes, decided in the batch's order so a run and its repeat decide alike.
struct OutputChoice
{
    enum class Kind {
        Convert,   // to path
        Exists,    // a file is there and is kept
        Taken,     // an earlier input of the batch goes there
        IsInput,   // the MP3 would replace its own input
    };
    Kind kind = Kind::Convert;
    QString path;
};

// The outputs a batch has handed out. Never the same output twice, never an output over its own
// input; a file already there is kept, replaced, or the MP3 gets the next free name with " (2)",
// " (3)" ... before ".mp3", as the policy says.
class OutputClaims
{
public:
    explicit OutputClaims(ExistingPolicy policy) : m_policy(policy) {}

    OutputChoice claim(const QString &input, const QString &wanted);

    // output with " (n)" before its extension.
    static QString numbered(const QString &output, int n);

private:
    OutputChoice take(const QString &path);

    ExistingPolicy m_policy;
    QSet<QString> m_claimed; // absolute and clean
};
