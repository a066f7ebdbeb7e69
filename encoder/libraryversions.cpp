#include "libraryversions.h"

#include "encoder/tags/coverpixels.h"

#include <QtGlobal>

#include <ebur128.h>
#include <lame/lame.h>
#include <sndfile.h>
#include <soxr.h>
#include <taglib/taglib.h>

namespace {

// "libsndfile-1.2.0" as "1.2.0".
QString afterDash(const char *named)
{
    const QString text = QString::fromUtf8(named);
    return text.mid(text.lastIndexOf(QLatin1Char('-')) + 1);
}

} // namespace

QStringList libraryVersions()
{
    int major = 0;
    int minor = 0;
    int patch = 0;
    ebur128_get_version(&major, &minor, &patch);
    QStringList versions {
        QStringLiteral("libmp3lame %1").arg(QString::fromUtf8(get_lame_version())),
        QStringLiteral("libsndfile %1").arg(afterDash(sf_version_string())),
        QStringLiteral("libsoxr %1").arg(afterDash(soxr_version())),
        // TagLib 1 has no run-time version call.
        QStringLiteral("TagLib %1.%2.%3 (built against)")
            .arg(TAGLIB_MAJOR_VERSION)
            .arg(TAGLIB_MINOR_VERSION)
            .arg(TAGLIB_PATCH_VERSION),
        QStringLiteral("libebur128 %1.%2.%3").arg(major).arg(minor).arg(patch),
    };
    versions << imageLibraryVersions().split(QStringLiteral(", "))
             << QStringLiteral("Qt %1").arg(QLatin1String(qVersion()));
    return versions;
}
