#include "outputnaming.h"

#include "encoder/tags/sourcetags.h"

#include <QDir>
#include <QFileInfo>

WantedOutput wantedOutput(const BatchRequest &request, const BatchInput &input)
{
    if (request.name) {
        // The texts the run will write, merged as it merges them.
        EncoderSettings settings = request.settings;
        settings.inputFile = input.path;
        settings.cueSheet = input.sheet;
        settings.cueTrack = input.track;
        const std::optional<SourceTagRead> source = readSourceTags(settings);
        const QString below = request.name->expand(mergeTags(settings, source ? &source->tags : nullptr));
        const QString folder = request.outputDir.isEmpty() ? QFileInfo(input.path).path() : request.outputDir;
        return {folder, below + QStringLiteral(".mp3")};
    }
    const QString name = input.below + QStringLiteral(".mp3");
    if (!request.outputDir.isEmpty())
        return {request.outputDir, QDir::cleanPath(name)};
    const QString beside = QFileInfo(input.path).path();
    // A CD image's tracks go into a folder named after it, beside it.
    if (!input.sheet.isEmpty())
        return {beside, input.below.section(QLatin1Char('/'), -2) + QStringLiteral(".mp3")};
    return {beside, QFileInfo(input.path).completeBaseName() + QStringLiteral(".mp3")};
}

QString fittedOutput(const WantedOutput &wanted, const DiskNames &names, FolderSpellings &folders)
{
    return folders.spelled(wanted.folder, fitBelow(wanted.below, names.mode), wanted.below, names.caseless);
}

BatchQueue::BatchQueue(const BatchRequest &request)
    : m_request(request), m_inputs(request.inputs, request.subfolders, request.pregap), m_claims(request.existing),
      m_names(request.names)
{
}

std::optional<BatchQueue::Item> BatchQueue::next()
{
    std::optional<BatchInput> input = m_inputs.next();
    if (!input)
        return std::nullopt;
    // A file left alone claims no output: its name stays free for the file it was made from.
    if (!input->skipped.isEmpty())
        return Item {std::move(*input), OutputChoice {}};
    const WantedOutput wanted = wantedOutput(m_request, *input);
    const DiskNames names = m_names.at(wanted.folder);
    OutputChoice choice =
        m_claims.claim(input->path, fittedOutput(wanted, names, m_folders), wanted.path(), names.caseless);
    return Item {std::move(*input), std::move(choice)};
}
