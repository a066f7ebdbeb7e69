#pragma once

// What the mirror's tests share: the command run as a separate process, trees compared with what
// a fresh batch gives, WAVE tracks written into a library.
#include <QFile>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

class MirrorTest : public QObject
{
    Q_OBJECT

protected:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Run encode(const QStringList &args, int killAfterMs = 0);
    // Every file below dir but the mirror's record, with its bytes.
    static QMap<QString, QByteArray> tree(const QString &dir);
    // The tree a fresh batch of src gives with these settings.
    QMap<QString, QByteArray> batchOf(const QString &src, const QStringList &settings);
    static bool writeTrack(const QString &path, quint32 seed, const QByteArray &title, double seconds = 1.5);
    // The file's modification time set to the nanosecond, which QFileInfo's times are not.
    static bool setTime(const QString &path, timespec time)
    {
        const timespec times[2] = {{0, UTIME_OMIT}, time};
        return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
    }

    QTemporaryDir m_dir;
    QString m_src;
    QString m_dst;
    bool m_noTrash = false; // the trash's folder cannot be made
    QStringList m_wrapper; // the command run through this, where not empty
};
