#pragma once

#include "command.h"
#include "optionrow.h"

#include <QString>

#include <optional>
#include <span>

// The options for a device's copy: ID3 versions, cover size, top sample rate, the gain applied
// to the samples, and --device's bundles of them (docs/devices.md says where each limit comes
// from).
std::span<const CommandOption> deviceOptions();

// What the device options given cannot do: --apply-gain=album without albums (IN OUT, or no
// album figures measured), --device=phone onto an MTP mount.
Outcome checkDeviceOptions(const Command &command);

// --device's names where --names is not given (in either order): portable ones, or ASCII ones
// where the output folder's disk holds no more; none set for IN OUT or a listed run's job.
void setDeviceNames(Command &command);

// The MTP file system the path lies on, by the mount table's text (as /proc/self/mounts has
// it): "jmtpfs", "gvfs mtp"...; nothing where it is on none.
std::optional<QString> mtpMountOf(const QByteArray &mounts, const QString &absolutePath);
