#include "OutputTags.h"

#include <filesystem>

#include "CoverArt.h"
#include "FFDecode.h"
#include "FFEncode.h"
#include "FolderCover.h"
#include "log/FFLog.h"
#include "sources/TagList.h"

TTagJob PlanOutputTags(TFFDecoder& prober, const TOutputOptions& output,
                       const TJobSettings& settings) {
    TTagJob job;
    if (!settings.WriteTags)
        return job;
    job.Format = TagFormatOf(std::filesystem::path(output.FileName).extension().string());
    if (job.Format == TTagFormat::Untouched)
        return job;
    job.Tags = ReadTagList(prober);
    job.NoCover = settings.NoCover;
    job.CoverMaxPixels = settings.CoverMaxPixels;
    job.Id3v2Version = Id3v2VersionOf(output.ExtOptions);
    // Pictures only where the output types keep them (CoverArt's table): none in WAV, AAC,
    // MP2 or WMA.
    const std::string extension = std::filesystem::path(output.FileName).extension().string();
    if (CoverArtWayOf(extension) == TCoverArtWay::Drop)
        return job;
    const std::string source = prober.FileName();
    const bool sourceHasPictures = !prober.AttachedPictures().empty();
    // Read when the output is written, so that queued jobs hold no pictures.
    job.Covers = [source, sourceHasPictures]() {
        if (sourceHasPictures)
            return ReadFileCoverPictures(source);
        TCoverPicture cover;
        if (ReadFolderCover(source, cover))
            return std::vector<TCoverPicture>{cover};
        return std::vector<TCoverPicture>{};
    };
    return job;
}

std::string DroppedTagsLine(const std::string& output, const std::vector<std::string>& dropped) {
    if (dropped.empty())
        return "";
    std::string names;
    for (const std::string& name : dropped)
        names += (names.empty() ? "" : ", ") + name;
    return output + ": tags its format cannot hold: " + names;
}

void WriteQueuedTags(const TTagJob& tags, const std::string& temporaryPath,
                     const std::string& outputPath, const TTerminateInfo& info) {
    if (!info.Finished || info.Exception || tags.Format == TTagFormat::Untouched)
        return;
    const std::string problem = WriteOutputTags(temporaryPath, tags);
    if (!problem.empty())
        FFLogger()->Log(nullptr, llWarning, outputPath + ": tags not written: " + problem);
    const std::string dropped = DroppedTagsLine(outputPath, DroppedTags(tags.Tags, tags.Format));
    if (!dropped.empty())
        FFLogger()->Log(nullptr, llInfo, dropped);
}
