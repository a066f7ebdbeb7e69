#pragma once

#include <QString>
#include <QStringList>

// The mirror's folder as the watch finds it before a run: a stick may be out, or another's.
enum class DestinationState {
    Ready,   // a mirror of these sources, an empty folder, or one the run may make
    Missing, // not there (a disk not mounted): waited for
    NotOurs, // files but no record, or a record of other sources: not touched
};

struct DestinationLook
{
    DestinationState state = DestinationState::Ready;
    QString why; // for Missing and NotOurs, to say once
};

// How the mirror's folder stands for the sources (roots). seenBefore: a run has found it there,
// so its absence now is a disk taken away, never a folder to make again. Nothing is left open.
DestinationLook lookAtDestination(const QString &mirror, const QStringList &roots, bool seenBefore);

// Writes what the run left in the disk's caches (syncfs): after it the disk may be taken out.
bool syncDestination(const QString &mirror, QString *why);
