// What `--info` tells about a file: the facts of the source list, the container, the tags
// and the cover art, as text lines or as one JSON object.
#pragma once

#include <string>
#include <vector>

#include "FFDecode.h"
#include "FileFacts.h"
#include "Loudness.h"
#include "TagList.h"

struct TFileReport {
    TSourceFacts Facts;
    std::string Container;         // the demuxer's short name
    std::string ContainerLongName; // its long name
    std::vector<TFileTag> Tags;    // as the container spells them
    TTagList Vocabulary;           // the same in the one vocabulary of TagList.h
    int BitsPerSample = -1;        // of the first audio stream's samples; -1 for lossy or unknown
    // The tags some output format cannot hold, when the caller names one (HasDropped).
    bool HasDropped = false;
    std::vector<std::string> Dropped;
    std::vector<TAttachedPictureInfo> Pictures; // every attached picture, in stream order
    TLoudness Loudness;                         // when it was measured (a decode of the file)
};

// The report of the file `prober` has open.
TFileReport ReadFileReport(TFFDecoder& prober);

// The lines under the file's name: the source list's facts with the size for reading, then
// "Container: ...", one "Cover art: ..." line per picture ("Cover art: none" without one),
// each followed by an indented "comment: ...", "title: ..." and "filename: ..." line for
// the texts the container gives, "Tags:" with one indented "key: value" line each, and a
// measured loudness: "Loudness: -14.2 LUFS, range 6.1 LU, true peak -0.8 dBTP" and the
// track's gains ("ReplayGain: -3.80 dB, peak 0.912011; R128: -2355").
std::vector<std::string> FileReportLines(const TFileReport& report);

// One line of JSON for the file: "path", the facts (null when unknown) with
// "bits_per_sample", "container", "container_name", "tags" (an object of the vocabulary's
// names; a text, or an array for a tag of several values), "raw_tags" (an object of the
// container's keys), "dropped" (an array, when the report has one), "cover_art" (the first picture,
// or null) and "pictures" (every picture, an empty array without one). A picture is an object with
// "codec", "width", "height" and "size" (null when unknown) and the texts "comment", "title"
// and "filename" when the container gives them. A measured loudness adds "loudness":
// "integrated_lufs", "range_lu", "true_peak_dbtp", "sample_peak", "replaygain_track_gain" (dB),
// "replaygain_track_peak" and "r128_track_gain" (Q7.8).
std::string FileReportJson(const std::string& path, const TFileReport& report);

// One line of JSON for a file that could not be read: "path" and "error".
std::string FileErrorJson(const std::string& path, const std::string& message);
