// The tags and covers of a queued job: planned from the source when the job is queued,
// written into the finished temporary output before it takes its final name.
#pragma once

#include <string>

#include "JobBuilder.h"
#include "TagWriter.h"
#include "output/Output.h"

class TFFDecoder;
struct TTerminateInfo;

// What the output `output` of the source `prober` has open gets: the source's tags for the
// output's tag block, its pictures (or its folder's cover) for an output left without one
// when its type keeps pictures (CoverArtWayOf), as `settings` say. Untouched when the settings write no tags.
TTagJob PlanOutputTags(TFFDecoder& prober, const TOutputOptions& output,
                       const TJobSettings& settings);

// The log line naming the tags that `output` cannot hold; empty when it holds them all.
std::string DroppedTagsLine(const std::string& output, const std::vector<std::string>& dropped);

// Writes `tags` into the job's file at `temporaryPath` once the job succeeded, and logs the
// tags its format dropped (under the final name `outputPath`). A file TagLib cannot write
// keeps the muxer's tags; the reason is logged as a warning.
void WriteQueuedTags(const TTagJob& tags, const std::string& temporaryPath,
                     const std::string& outputPath, const TTerminateInfo& info);
