#pragma once

// What the mirror's tests share: the command run as a separate process, trees compared with what
// a fresh batch gives, WAVE tracks written into a library.
#include <QFile>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <ctime>
#include <memory>

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

    // A stick's image at m_image mounted at m_stick, made first where format: "fat", FAT32 through
    // fusefat (run here, stopped by unmountStick); "exfat", on a loop device through the kernel's
    // driver or exfat-fuse. Empty, or why it cannot be.
    QString mountStick(const QString &fileSystem, bool format = true);
    // Unmounted, so that the image holds all it was told, and the loop device let go.
    void unmountStick();

    QTemporaryDir m_dir;
    QString m_image;
    QString m_stick;
    QString m_loop;
    std::unique_ptr<QProcess> m_fuse;
    QString m_src;
    QString m_dst;
    bool m_noTrash = false; // the trash's folder cannot be made
    QStringList m_wrapper; // the command run through this, where not empty
};
