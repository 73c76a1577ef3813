// The option state of a task: the pending per-file and per-stream option fields with their
// reset values. Options wait here until the next input, output or stream consumes them;
// a few stay for the whole job.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "EngineRecords.h"
#include "FFPtr.h"
#include "OptionContext.h"

// The stream limit of the per-input time-stamp scales (option "itsscale").
constexpr int MaxStreams = 20;

using TQuantMatrix = std::array<uint16_t, 64>;

// Option "map": input file and stream, and the file and stream whose clock it follows.
struct TStreamMap {
    int FileIndex = 0;
    int StreamIndex = 0;
    int SyncFileIndex = 0;
    int SyncStreamIndex = 0;
};

// One side of option "map_meta_data": file, kind ('g' global, 's' stream, 'c' chapter,
// 'p' program) and index.
struct TMetadataMapSide {
    int File = 0;
    char Type = 'g';
    int Index = 0;
};

// Output side first.
struct TMetadataMap {
    TMetadataMapSide Out;
    TMetadataMapSide In;
};

// Option "map_chapters".
struct TChapterMap {
    int OutFile = 0;
    int InFile = 0;
};

// Indices of MaxFrames.
enum { MaxFramesVideo = 0, MaxFramesAudio = 1, MaxFramesData = 2, MaxFramesSubtitle = 3 };

struct TOptionState {
    std::string ForcedFormat;
    int FrameWidth = 0;
    int FrameHeight = 0;
    float FrameAspectRatio = 0;
    int FramePixFmt = -1;
    int AudioSampleFmt = -1;
    int MaxFrames[4] = {INT_MAX, INT_MAX, INT_MAX, INT_MAX};
    AVRational FrameRate = {25, 0}; // a denominator of 0 marks the rate as unset
    float VideoQScale = 0;
    std::unique_ptr<TQuantMatrix> IntraMatrix;
    std::unique_ptr<TQuantMatrix> InterMatrix;
    std::optional<std::string> VideoRcOverride;
    bool VideoDisable = false;
    int VideoDiscard = 0;
    std::optional<std::string> VideoCodecName;
    uint32_t VideoCodecTag = 0;
    std::string VideoLanguage;
    bool SameQuality = false;
    bool Deinterlace = false;
    int TopFieldFirst = -1;
    int MeThreshold = 0;
    int IntraDcPrecision = 8;
    bool LoopInput = false;
    int LoopOutput = -1;
    bool QpHistogram = false;
    std::string VideoFilters;
    bool VideoFiltersInUse = false;
    bool IntraOnly = false;
    int AudioSampleRate = 44100;
    uint64_t ChannelLayout = 0;
    float AudioQScale = -99999;
    bool AudioDisable = false;
    int AudioChannels = 2;
    std::optional<std::string> AudioCodecName;
    uint32_t AudioCodecTag = 0;
    std::string AudioLanguage;
    bool SubtitleDisable = false;
    std::optional<std::string> SubtitleCodecName;
    std::string SubtitleLanguage;
    uint32_t SubtitleCodecTag = 0;
    float MuxPreload = 0.5f;
    float MuxMaxDelay = 0.7f;
    int64_t RecordingTime = INT64_MAX;
    int64_t StartTime = 0;
    int64_t RecordingTimestamp = 0; // seconds
    int64_t InputTsOffset = 0;
    TDictionaryPtr Metadata;
    bool HexDump = false;
    bool PacketDump = false;
    bool DoPsnr = false;
    int PassNumber = 0;
    std::string PassLogFilePrefix;
    int AudioStreamCopy = 0;
    int VideoStreamCopy = 0;
    int SubtitleStreamCopy = 0;
    int VideoSyncMethod = -1;
    int AudioSyncMethod = 0;
    float AudioDriftThreshold = 0.1f;
    bool CopyTs = false;
    bool CopyTb = false;
    bool Shortest = false;
    int VideoGlobalHeader = 0;
    std::optional<std::string> VstatsFileName;
    int ProgramId = 0;
    int CopyInitialNonKeyframes = 0;
    bool RateEmulation = false;
    int VideoChannel = 0;
    std::optional<std::string> VideoStandard;
    int AudioVolume = 256;
    // The dither of the last conversion to fewer bits (a library method name, "none" for
    // none; empty: triangular) and the LFE's level in downmixes (0: dropped).
    std::string AudioDitherMethod;
    float AudioLfeMixLevel = 0;
    bool ExitOnError = false;
    bool UsingVhook = false;
    int Verbose = 1;
    int ThreadCount = 1;
    bool ThreadCountGiven = false; // a `threads` option was parsed: ThreadCount wins
    bool InputSync = false;
    int64_t LimitFileSize = 0;
    bool ForceFps = false;
    std::string ForcedKeyFrames;
    float DtsDeltaThreshold = 10;
    int SwsFlags = 4; // bicubic
    TBitstreamFilterChain VideoBitstreamFilters;
    TBitstreamFilterChain AudioBitstreamFilters;
    TBitstreamFilterChain SubtitleBitstreamFilters;
    std::vector<TStreamMap> StreamMaps;
    std::vector<TMetadataMap> MetadataMaps;
    bool MetadataGlobalAutoCopy = true;
    bool MetadataStreamsAutoCopy = true;
    bool MetadataChaptersAutoCopy = true;
    // The first input's cover picture goes into the METADATA_BLOCK_PICTURE tag of each output's
    // audio streams (option "picture_comment"; for Ogg outputs, which hold no picture stream).
    bool PictureComment = false;
    std::vector<TChapterMap> ChapterMaps;
    std::vector<int> StreamIdMap;
    // One list per input slot, indexed by the number of inputs opened before it.
    std::vector<std::vector<double>> TsScales;
    std::unique_ptr<TOptionContext> OptionContext;
    std::string LastError;
    bool RaiseOptionErrors = true;
    bool JoinMode = false;
    int64_t ExpectedDuration = -1;
};
