#include "mirrortest.h"

#include "wavegen.h"
#include "wavetags.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>

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
