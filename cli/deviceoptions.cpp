#include "deviceoptions.h"

#include "choices.h"
#include "diskprobe.h"
#include "mirrorfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

using Gain = DeviceSettings::Gain;

constexpr Choice<int> id3Choices[] = {{"2.3", 3}, {"2.4", 4}};
constexpr Choice<bool> onOff[] = {{"on", true}, {"off", false}};
constexpr Choice<Gain> gainChoices[] = {{"off", Gain::Off}, {"track", Gain::Track}, {"album", Gain::Album}};

// Smaller than a thumbnail is no cover; larger than a 4K screen's height is no device's limit.
constexpr int kLeastCover = 32;
constexpr int kMostCover = 4096;
// The lowest MP3 sample rate.
constexpr int kLeastRate = 8000;

// A bundle --device names: the settings it gives where their options are not given.
struct DeviceBundle
{
    const char *name;
    DeviceSettings settings;
};

// The bundles: each unit's documented limits, docs/devices.md gives the sources.
const DeviceBundle kBundles[] = {
    {"car",
     {.id3Version = 3,
      .id3v1 = true,
      .coverSize = 500,
      .maxRate = 44100,
      .applyGain = Gain::Track,
      .appliedDb = std::nullopt}},
    {"player",
     {.id3Version = 3,
      .id3v1 = true,
      .coverSize = 300,
      .maxRate = 44100,
      .applyGain = Gain::Track,
      .appliedDb = std::nullopt}},
    {"phone",
     {.id3Version = 4,
      .id3v1 = false,
      .coverSize = 1000,
      .maxRate = 0,
      .applyGain = Gain::Track,
      .appliedDb = std::nullopt}},
};

const DeviceSettings deviceDefaults;

// The device settings held, changed by change.
template <typename Change>
Outcome changeDevice(Command &command, Change change)
{
    DeviceSettings device = command.encoder.settings().device;
    if (Outcome changed = change(device); !changed)
        return changed;
    command.encoder.setDevice(device);
    return Outcome::success();
}

template <typename T, std::size_t N>
Outcome readInto(const Choice<T> (&choices)[N], const char *option, const QString &value, T &into)
{
    const std::optional<T> chosen = choiceByName(choices, value);
    if (!chosen)
        return Outcome::failure(QStringLiteral("--%1 takes %2").arg(QLatin1String(option), choiceList(choices)));
    into = *chosen;
    return Outcome::success();
}

std::optional<int> numberWithin(const QString &text, int least, int most)
{
    bool number = false;
    const int value = text.toInt(&number);
    return number && value >= least && value <= most ? std::optional<int>(value) : std::nullopt;
}

bool given(const Command &command, const char *option)
{
    return std::any_of(command.given.cbegin(), command.given.cend(),
                       [option](const auto &pair) { return pair.first == QLatin1String(option); });
}

// The bundle's settings, each where its own option was not given before --device (one given
// after it changes it anyway): what is asked for by name wins over the bundle.
Outcome setBundle(Command &command, const QString &value)
{
    const auto named = std::find_if(std::begin(kBundles), std::end(kBundles),
                                    [&value](const DeviceBundle &bundle) { return value == QLatin1String(bundle.name); });
    if (named == std::end(kBundles))
        return Outcome::failure(QStringLiteral("--device takes car, player or phone"));
    return changeDevice(command, [&](DeviceSettings &device) {
        const DeviceSettings &bundle = named->settings;
        if (!given(command, "id3"))
            device.id3Version = bundle.id3Version;
        if (!given(command, "id3v1"))
            device.id3v1 = bundle.id3v1;
        if (!given(command, "cover-size"))
            device.coverSize = bundle.coverSize;
        if (!given(command, "max-rate"))
            device.maxRate = bundle.maxRate;
        if (!given(command, "apply-gain"))
            device.applyGain = bundle.applyGain;
        return Outcome::success();
    });
}

const CommandOption kDeviceOptions[] = {
    {"id3", 0, choiceNames(id3Choices), OptionGroup::Device, "the ID3v2 version of the tags (2.4 dates in TDRC)",
     choiceName(id3Choices, deviceDefaults.id3Version), AnyForm, nullptr, nullptr,
     [](Command &command, const QString &value) {
         return changeDevice(command, [&value](DeviceSettings &device) {
             return readInto(id3Choices, "id3", value, device.id3Version);
         });
     }},
    {"id3v1", 0, choiceNames(onOff), OptionGroup::Device, "an ID3v1 tag at the end too, for the oldest units",
     choiceName(onOff, deviceDefaults.id3v1), AnyForm, nullptr, nullptr,
     [](Command &command, const QString &value) {
         return changeDevice(command,
                             [&value](DeviceSettings &device) { return readInto(onOff, "id3v1", value, device.id3v1); });
     }},
    {"cover-size", 0, QStringLiteral("PX|none"), OptionGroup::Device,
     "pictures larger than PX on their longer side, or not baseline JPEGs, made baseline JPEGs of at most PX (the "
     "same bytes on every machine); none: no pictures",
     QStringLiteral("as they are"), AnyForm, nullptr, nullptr,
     [](Command &command, const QString &value) {
         return changeDevice(command, [&value](DeviceSettings &device) {
             if (value == QLatin1String("none")) {
                 device.coverSize = DeviceSettings::kNoCovers;
                 return Outcome::success();
             }
             const std::optional<int> size = numberWithin(value, kLeastCover, kMostCover);
             device.coverSize = size.value_or(0);
             return size ? Outcome::success()
                         : Outcome::failure(QStringLiteral("--cover-size takes pixels from %1 to %2, or none")
                                                .arg(kLeastCover)
                                                .arg(kMostCover));
         });
     }},
    {"max-rate", 0, QStringLiteral("HZ"), OptionGroup::Device,
     "inputs whose MP3 would be of a higher sample rate resampled to the highest MP3 rate within HZ (44100 for "
     "units that refuse 48 kHz)",
     QString(), AnyForm, nullptr, nullptr,
     [](Command &command, const QString &value) {
         return changeDevice(command, [&value](DeviceSettings &device) {
             const std::optional<int> rate = numberWithin(value, kLeastRate, 1'000'000);
             device.maxRate = rate.value_or(0);
             return rate ? Outcome::success()
                         : Outcome::failure(QStringLiteral("--max-rate takes a sample rate in Hz, at least %1")
                                                .arg(kLeastRate));
         });
     }},
    {"apply-gain", 0, choiceNames(gainChoices), OptionGroup::Device,
     "scale the audio itself by its ReplayGain, for players that read none: each track's, or its album's "
     "(folders alone); held lower where the MP3's peaks would pass -1 dBFS",
     choiceName(gainChoices, deviceDefaults.applyGain), AnyForm, nullptr, nullptr,
     [](Command &command, const QString &value) {
         return changeDevice(command, [&value](DeviceSettings &device) {
             return readInto(gainChoices, "apply-gain", value, device.applyGain);
         });
     }},
    {"device", 0, QStringLiteral("car|player|phone"), OptionGroup::Device,
     "the settings above and --names as the unit takes them (docs/devices.md), each unless given: car: portable "
     "names (ASCII where the disk holds no more), ID3v2.3+v1, 500 px, 44.1 kHz, track gain; player: the same with "
     "300 px; phone: portable names, ID3v2.4 alone, 1000 px, track gain, not onto an MTP mount",
     QString(), AnyForm, nullptr, nullptr, setBundle},
};

// Where a path's MP3s go: the output folder, or the folder of IN OUT's OUT.
QString destinationOf(const Command &command)
{
    if (!command.batch.outputDir.isEmpty())
        return command.batch.outputDir;
    if (command.form == Form::InOut && command.files.size() == 2)
        return QFileInfo(command.files[1]).absolutePath();
    return {};
}

// The path's nearest folder that is there, links resolved.
QString existingFolderOf(const QString &path)
{
    QFileInfo info(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
    while (!info.exists() && !info.isRoot())
        info.setFile(info.absolutePath());
    return info.canonicalFilePath();
}

// "/a\\040b" as mount tables write "/a b".
QString unescaped(const QByteArray &field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            out += char(field.mid(i + 1, 3).toInt(nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return QFile::decodeName(out);
}

// A listed run's job, as the lists give them: its output absolute, below DST/.sonovert-incoming
// (a mirror's) or ROOT/./REST. "./music" is a user's folder.
bool isJobOutput(const QString &output)
{
    const QStringList parts = output.split(QLatin1Char('/'));
    return output.startsWith(QLatin1Char('/'))
           && (parts.indexOf(MirrorFolder::kIncoming, 1) > 0 || parts.indexOf(QStringLiteral("."), 1) > 0);
}

} // namespace

std::span<const CommandOption> deviceOptions()
{
    return kDeviceOptions;
}

std::optional<QString> mtpMountOf(const QByteArray &mounts, const QString &absolutePath)
{
    QString bestPoint;
    QByteArray bestType;
    for (const QByteArray &line : mounts.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 3)
            continue;
        const QString point = unescaped(fields[1]);
        const bool under = point == QLatin1String("/") || absolutePath == point
                           || absolutePath.startsWith(point + QLatin1Char('/'));
        if (under && point.size() >= bestPoint.size()) {
            bestPoint = point;
            bestType = fields[2];
        }
    }
    const QByteArray type = bestType.startsWith("fuse.") ? bestType.mid(5) : bestType;
    // gvfs mounts every kind of place under one folder; an MTP device's is named mtp:host=...
    if (type == "gvfsd-fuse") {
        const QString below = absolutePath.mid(bestPoint.size() + 1);
        return below.startsWith(QLatin1String("mtp:")) ? std::optional<QString>(QStringLiteral("gvfs mtp")) : std::nullopt;
    }
    if (type.contains("mtp"))
        return QString::fromLatin1(type);
    return std::nullopt;
}

Outcome checkDeviceOptions(const Command &command)
{
    const DeviceSettings &device = command.encoder.settings().device;
    if (device.applyGain == Gain::Album) {
        if (command.form == Form::InOut)
            return Outcome::failure(QStringLiteral("--apply-gain=album applies to folders and lists: IN OUT has no "
                                                   "album (--apply-gain=track gives the file its own)"));
        if (command.batch.album == BatchRequest::Album::Off || !command.encoder.settings().replayGain)
            return Outcome::failure(QStringLiteral("--apply-gain=album measures albums: it goes with --album=folder "
                                                   "or tags and --replaygain=on"));
    }
    const auto phone = std::find_if(command.given.cbegin(), command.given.cend(), [](const auto &pair) {
        return pair.first == QLatin1String("device") && pair.second == QLatin1String("phone");
    });
    const QString destination = destinationOf(command);
    if (phone == command.given.cend() || destination.isEmpty())
        return Outcome::success();
    QFile table(QStringLiteral("/proc/self/mounts"));
    if (!table.open(QIODevice::ReadOnly))
        return Outcome::success();
    const QString folder = existingFolderOf(destination);
    if (const std::optional<QString> mtp = mtpMountOf(table.readAll(), folder))
        return Outcome::failure(
            QStringLiteral("--device=phone: %1 is on an MTP mount (%2), which cannot write into a file already "
                           "written, as the MP3s' tags and the mirror's record need: give the phone's SD card in a "
                           "card reader, or a folder the phone syncs")
                .arg(destination, *mtp));
    return Outcome::success();
}

void setDeviceNames(Command &command)
{
    if (!given(command, "device") || given(command, "names") || command.form == Form::InOut)
        return;
    const QString destination = destinationOf(command);
    // A job names its MP3s as the listing run did, which it reads from the listing's mark.
    if (!destination.isEmpty() && isJobOutput(destination))
        return;
    // Portable at least: a stick, a car's card and a phone's shared storage take FAT's names and
    // tell no letter case; ASCII where the disk the MP3s go to holds no more.
    const DiskNames probed = destination.isEmpty() ? DiskNames() : probeNames(destination);
    command.batch.names = givenNames(probed.mode == NamesMode::Ascii ? NamesMode::Ascii : NamesMode::Portable);
}
