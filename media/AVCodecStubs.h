// Function table of libavcodec: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libavcodec/bsf.h>
#include <libavcodec/avcodec.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define AVCODEC_FUNCTIONS(X, O)                                                                    \
    X(av_codec_iterate) \
    X(av_bsf_get_by_name) \
    X(av_bsf_alloc) \
    X(av_bsf_free) \
    X(avcodec_get_name) \
    X(avcodec_descriptor_get) \
    X(avcodec_version)                                                                             \
    X(avcodec_find_decoder)                                                                        \
    X(avcodec_find_encoder)                                                                        \
    X(avcodec_find_decoder_by_name)                                                                \
    X(avcodec_find_encoder_by_name)                                                                \
    X(avcodec_alloc_context3)                                                                      \
    X(avcodec_free_context)                                                                        \
    X(avcodec_open2)                                                                               \
    X(avcodec_parameters_to_context)                                                               \
    X(avcodec_parameters_from_context)

FF_DECLARE_BINDING(AVCODEC_FUNCTIONS, BindAVCodec, UnbindAVCodec)
