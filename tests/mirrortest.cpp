#include "mirrortest.h"

#include "wavegen.h"
#include "wavetags.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <QThread>

#include <csignal>

#include <sys/stat.h>

MirrorTest::Run MirrorTest::encode(const QStringList &args, int killAfterMs)
{
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(m_noTrash ? "no-trash/xdg" : "xdg"));
    cli.setProcessEnvironment(environment);
    cli.setWorkingDirectory(m_dir.path());
    if (m_wrapper.isEmpty())
        cli.start(QStringLiteral(SONOVERT_ENCODE), args);
    else
        cli.start(m_wrapper.first(), m_wrapper.mid(1) + QStringList {QStringLiteral(SONOVERT_ENCODE)} + args);
    Run run;
    if (!cli.waitForStarted())
        return run;
    if (killAfterMs > 0 && !cli.waitForFinished(killAfterMs))
        cli.kill();
    cli.waitForFinished(120000);
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -SIGKILL;
    run.out = QString::fromUtf8(cli.readAllStandardOutput());
    run.err = QString::fromUtf8(cli.readAllStandardError());
    return run;
}

QMap<QString, QByteArray> MirrorTest::tree(const QString &dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!it.fileName().startsWith(QLatin1String(".sonovert-mirror.sqlite")))
            files.insert(QDir(dir).relativeFilePath(path), contentOf(path));
    }
    return files;
}

QMap<QString, QByteArray> MirrorTest::batchOf(const QString &src, const QStringList &settings)
{
    const QString out = m_dir.filePath(QStringLiteral("batch"));
    QDir(out).removeRecursively();
    const Run run = encode(QStringList {src, QStringLiteral("-o"), out} + settings);
    if (run.exitCode != 0)
        return {{QStringLiteral("failed"), run.err.toUtf8()}};
    // The mirror copies the MP3s among the sources as they are, where a batch leaves them out.
    QMap<QString, QByteArray> files = tree(out);
    for (const auto &[path, bytes] : tree(src).asKeyValueRange()) {
        if (path.endsWith(QLatin1String(".mp3")))
            files.insert(path, bytes);
    }
    return files;
}

bool MirrorTest::writeTrack(const QString &path, quint32 seed, const QByteArray &title, double seconds)
{
    WaveOptions shape;
    shape.frames = qint64(seconds * 44100);
    shape.seed = seed;
    return QDir().mkpath(QFileInfo(path).path()) && writeWave(path, shape) &&
           appendChunks(path, {infoChunk({{"INAM", title}, {"IPRD", "Album " + QByteArray::number(seed / 10)}})});
}

namespace {

bool run(const QString &program, const QStringList &args, QString *out = nullptr)
{
    QProcess process;
    process.start(program, args);
    const bool ran = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return ran;
}

bool mounted(const QString &path)
{
    struct stat folder {}, parent {};
    return ::stat(QFile::encodeName(path).constData(), &folder) == 0 && ::stat(QFile::encodeName(path + "/..").constData(), &parent) == 0
        && folder.st_dev != parent.st_dev;
}

} // namespace

QString MirrorTest::mountStick(const QString &fileSystem, bool format)
{
    const bool fat = fileSystem == QLatin1String("fat");
    QFile image(m_image);
    if (format && !(QDir().mkpath(m_stick) && image.open(QIODevice::WriteOnly | QIODevice::Truncate) && image.resize(40 << 20)
                    && run(fat ? QStringLiteral("mkfs.fat") : QStringLiteral("mkfs.exfat"), fat ? QStringList {"-F", "32", m_image} : QStringList {m_image})))
        return fat ? QStringLiteral("mkfs.fat cannot be run (scripts/install-deps test installs dosfstools)")
                   : QStringLiteral("mkfs.exfat cannot be run (scripts/install-deps test installs exfatprogs)");
    if (fat) {
        m_fuse = std::make_unique<QProcess>();
        // Its chatter unread would fill the pipe and stop it.
        m_fuse->setStandardOutputFile(QProcess::nullDevice());
        m_fuse->setStandardErrorFile(QProcess::nullDevice());
        m_fuse->start(QStringLiteral("fusefat"), {"-f", "-o", "rw+", m_image, m_stick});
        for (int wait = 0; wait < 100 && m_fuse->state() != QProcess::NotRunning && !mounted(m_stick); ++wait)
            QThread::msleep(50);
        return mounted(m_stick) ? QString() : QStringLiteral("fusefat cannot mount the image (no /dev/fuse here, or fusefat missing)");
    }
    if (!run(QStringLiteral("losetup"), {"-f", "--show", m_image}, &m_loop))
        return QStringLiteral("no loop device can be had here");
    // The kernel's driver where it has one, else exfat-fuse, as a desktop mounts a stick.
    if (!run(QStringLiteral("mount"), {"-t", "exfat", m_loop, m_stick}) && !run(QStringLiteral("mount.exfat-fuse"), {m_loop, m_stick}))
        return QStringLiteral("neither the kernel nor exfat-fuse can mount exFAT here (scripts/install-deps test installs exfat-fuse)");
    return {};
}

void MirrorTest::unmountStick()
{
    run(QStringLiteral("umount"), {m_stick});
    if (m_fuse && !m_fuse->waitForFinished(10000))
        m_fuse->kill();
    m_fuse.reset();
    if (!m_loop.isEmpty())
        run(QStringLiteral("losetup"), {QStringLiteral("-d"), m_loop});
    m_loop.clear();
}
