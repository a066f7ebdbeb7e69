#include "cuetags.h"
#include "taglibread.h"

namespace {

QString ownOr(const QString &own, const QString &sheet)
{
    return own.isEmpty() ? sheet : own;
}

} // namespace

TagSet cueTrackTags(const CueSheet &sheet, const CueTrack &track)
{
    TagSet tags;
    tags.setText(TagKey::Title, track.title);
    tags.setText(TagKey::Artist, ownOr(track.performer, sheet.performer));
    tags.setText(TagKey::Album, sheet.title);
    tags.setText(TagKey::Year, yearOf(ownOr(track.date, sheet.date)));
    tags.setText(TagKey::Genre, sheet.genre);
    // Track 0, the audio before track 1, has no number a player sorts by.
    if (track.number > 0 && !sheet.tracks.empty())
        tags.setText(TagKey::Track, QStringLiteral("%1/%2").arg(track.number).arg(sheet.tracks.back().number));
    if (!sheet.discNumber.isEmpty())
        tags.setText(TagKey::Disc,
                     sheet.totalDiscs.isEmpty() ? sheet.discNumber : sheet.discNumber + u'/' + sheet.totalDiscs);
    tags.setText(TagKey::AlbumArtist, sheet.performer);
    tags.setText(TagKey::Composer, ownOr(track.songwriter, sheet.songwriter));
    tags.setText(TagKey::Comment, ownOr(track.comment, sheet.comment));
    tags.setText(TagKey::Isrc, track.isrc);
    tags.setText(TagKey::Barcode, sheet.catalog);
    return tags;
}
