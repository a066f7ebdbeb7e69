#pragma once

#include <QHash>
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
// An output the disk holds as one with an earlier input's that asked for another name (a case
// twin on a disk that tells no case, or a name that became the same once made fit for the
// disk) is numbered whatever the policy; two inputs that ask for the same name are not.
class OutputClaims
{
public:
    explicit OutputClaims(ExistingPolicy policy) : m_policy(policy) {}

    // asked: the output before it was made fit for the disk; empty for wanted itself.
    OutputChoice claim(const QString &input, const QString &wanted, const QString &asked = {}, bool caseless = false);

    // output with " (n)" before its extension.
    static QString numbered(const QString &output, int n);

private:
    OutputChoice take(const QString &path, const QString &asked, bool caseless);

    ExistingPolicy m_policy;
    QHash<QString, QString> m_claimed; // absolute and clean, case-folded where caseless: as asked
};

// Names below one folder, as a disk that tells no letter case holds them: where two folders
// asked for by different names are one there, the later gets " (2)", " (3)"... The names
// handed out, and the order they are asked for in, make a run and its repeat decide alike.
class FolderSpellings
{
public:
    // base/fitted with fitted's folders as they go to the disk (the file's name as it is):
    // fitted a path below base made fit for the disk, asked the same path as asked for, name for
    // name.
    QString spelled(const QString &base, const QString &fitted, const QString &asked, bool caseless);
    // As spelled() would, for a path handed out before (a record's), where its folders are those
    // fitted gives, numbered or not.
    void keep(const QString &base, const QString &spelled, const QString &fitted, const QString &asked, bool caseless);

private:
    QHash<QString, QString> m_spelling; // folder given as spelled parent and asked name: spelled
    QSet<QString> m_taken; // spelled folders, case-folded where caseless
};

// A path as a disk that tells no letter case compares it.
QString foldedName(const QString &path, bool caseless);
