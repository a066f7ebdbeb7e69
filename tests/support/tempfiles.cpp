#include "tempfiles.h"

#include "wavegen.h"

#include <QDir>
#include <QFile>

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString TestFolder::freshDir(const QString &name) const
{
    const QString dir = path(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

QString TestFolder::musicWave(int rate, int channels, double seconds) const
{
    const QString file = path(QStringLiteral("in-%1-%2-%3.wav").arg(rate).arg(channels).arg(seconds));
    if (!QFile::exists(file) && !writeMusicWave(file, seconds, rate, channels))
        return {};
    return file;
}
