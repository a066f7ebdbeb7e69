#include "albums.h"

#include "paths.h"

#include "encoder/batch/inputlist.h"
#include "encoder/tags/sourcetags.h"

#include <QDir>
#include <QFileInfo>

AlbumPlan::AlbumPlan(const BatchRequest &request) : m_request(request)
{
    // Without the analysis there are no figures to write.
    if (request.album == BatchRequest::Album::Off || !request.settings.replayGain)
        return;
    InputList inputs(request.inputs, request.subfolders, request.pregap);
    while (std::optional<BatchInput> input = inputs.next())
        count(*input);
    m_placed.assign(m_counts.size(), 0);
}

AlbumPlan::AlbumPlan(const BatchRequest &request, const std::vector<BatchInput> &inputs)
    : m_request(request), m_keepInputs(false)
{
    if (request.album == BatchRequest::Album::Off || !request.settings.replayGain)
        return;
    for (const BatchInput &input : inputs)
        count(input);
    m_placed.assign(m_counts.size(), 0);
}

void AlbumPlan::count(const BatchInput &input)
{
    if (!input.skipped.isEmpty() || !input.error.isEmpty() || input.copy)
        return;
    const QString album = key(input);
    if (album.isEmpty())
        return;
    const auto found = m_albums.constFind(album);
    if (found == m_albums.constEnd()) {
        m_albums.insert(album, static_cast<int>(m_counts.size()));
        m_counts.push_back(1);
        m_inputs.emplace_back();
    } else {
        ++m_counts[static_cast<std::size_t>(*found)];
    }
    if (m_keepInputs)
        m_inputs[static_cast<std::size_t>(m_albums.value(album))].push_back(input);
}

QString AlbumPlan::key(const BatchInput &batchInput)
{
    if (!batchInput.sheet.isEmpty())
        return QStringLiteral("sheet:") + absolute(batchInput.sheet);
    const QString &input = batchInput.path;
    if (m_request.album == BatchRequest::Album::Folder) {
        // A path the list made absolute is clean already: no need to ask for the working folder.
        const qsizetype slash = input.lastIndexOf(QLatin1Char('/'));
        // A folder's inputs come one after another: its key is made once.
        if (slash > 0 && !m_lastFolder.isEmpty() && QStringView(input).left(slash) == m_lastFolder)
            return m_lastKey;
        if (slash > 0 && QDir::isAbsolutePath(input)) {
            m_lastFolder = input.left(slash);
            m_lastKey = QDir::cleanPath(m_lastFolder);
            return m_lastKey;
        }
        return QDir::cleanPath(QFileInfo(input).absolutePath());
    }
    const auto known = m_tagKeys.constFind(input);
    if (known != m_tagKeys.constEnd())
        return *known;
    QString album;
    if (QFileInfo(input).isFile()) {
        SourceTagRead source = readSourceTags(input);
        const TagSet tags = mergeTags(m_request.settings, m_request.settings.sourceTags ? &source.tags : nullptr);
        if (!tags.text(TagKey::Album).isEmpty()) {
            QString artist = tags.text(TagKey::AlbumArtist);
            if (artist.isEmpty())
                artist = tags.text(TagKey::Artist);
            const QString disc = tags.text(TagKey::Disc).section(QLatin1Char('/'), 0, 0).trimmed();
            album = QStringList {artist, tags.text(TagKey::Album), disc}.join(QChar(0));
        }
    }
    m_tagKeys.insert(input, album);
    return album;
}

AlbumPlan::Place AlbumPlan::place(const BatchInput &input)
{
    if (m_counts.empty())
        return {};
    const auto found = m_albums.constFind(key(input));
    if (found == m_albums.constEnd())
        return {};
    const int album = *found;
    int &placed = m_placed[static_cast<std::size_t>(album)];
    // A file that turned up after the count (the list changed under the run) has no album.
    if (placed >= m_counts[static_cast<std::size_t>(album)])
        return {};
    return {album, placed++};
}
