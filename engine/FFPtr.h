// Owning pointers for the FFmpeg objects the engine keeps; each deleter calls through the
// function table.
#pragma once

#include <memory>

#include "binding/AVCodecStubs.h"
#include "binding/AVFilterStubs.h"
#include "binding/AVFormatStubs.h"
#include "binding/AVUtilStubs.h"
#include "binding/SwResampleStubs.h"
#include "binding/SwScaleStubs.h"
#include "utils/FFPointers.h" // frames, packets, filter graphs

struct TCodecContextDeleter {
    void operator()(AVCodecContext* p) const { ff::avcodec_free_context(&p); }
};
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextDeleter>;

// A container context that was allocated, not opened (avformat_free_context).
struct TFormatContextDeleter {
    void operator()(AVFormatContext* p) const { ff::avformat_free_context(p); }
};
using TFormatContextPtr = std::unique_ptr<AVFormatContext, TFormatContextDeleter>;

struct TScalerContextDeleter {
    void operator()(SwsContext* p) const { ff::sws_freeContext(p); }
};
using TScalerContextPtr = std::unique_ptr<SwsContext, TScalerContextDeleter>;

struct TBitstreamFilterDeleter {
    void operator()(AVBSFContext* p) const { ff::av_bsf_free(&p); }
};
using TBitstreamFilterPtr = std::unique_ptr<AVBSFContext, TBitstreamFilterDeleter>;

struct TDictionaryDeleter {
    void operator()(AVDictionary* p) const { ff::av_dict_free(&p); }
};
using TDictionaryPtr = std::unique_ptr<AVDictionary, TDictionaryDeleter>;

struct TAudioFifoDeleter {
    void operator()(AVAudioFifo* p) const { ff::av_audio_fifo_free(p); }
};
using TAudioFifoPtr = std::unique_ptr<AVAudioFifo, TAudioFifoDeleter>;

struct TResamplerDeleter {
    void operator()(SwrContext* p) const { ff::swr_free(&p); }
};
using TResamplerPtr = std::unique_ptr<SwrContext, TResamplerDeleter>;

// Sets one entry of an owned dictionary (av_dict_set may allocate or replace the object).
inline int SetDictionaryEntry(TDictionaryPtr& dict, const char* key, const char* value,
                              int flags = 0) {
    AVDictionary* raw = dict.release();
    const int ret = ff::av_dict_set(&raw, key, value, flags);
    dict.reset(raw);
    return ret;
}
