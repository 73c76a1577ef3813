// Function table of libavformat: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define AVFORMAT_FUNCTIONS(X, O)                                                                   \
    X(av_demuxer_iterate)                                                                          \
    X(av_guess_frame_rate)                                                                         \
    X(avformat_match_stream_specifier)                                                             \
    X(av_sdp_create)                                                                               \
    X(avformat_get_class)                                                                          \
    X(avio_feof)                                                                                   \
    X(av_find_program_from_stream)                                                                 \
    X(avformat_query_codec)                                                                        \
    X(av_pkt_dump_log2)                                                                            \
    X(av_filename_number_test)                                                                     \
    X(avformat_init_output)                                                                        \
    X(av_codec_get_tag)                                                                            \
    X(av_codec_get_id)                                                                             \
    X(av_dump_format)                                                                              \
    X(avformat_seek_file)                                                                          \
    X(av_seek_frame)                                                                               \
    X(av_read_frame)                                                                               \
    X(av_find_best_stream)                                                                         \
    X(av_write_frame)                                                                              \
    X(av_interleaved_write_frame)                                                                  \
    X(av_write_trailer)                                                                            \
    X(avformat_write_header)                                                                       \
    X(avformat_new_stream)                                                                         \
    X(av_guess_codec)                                                                              \
    X(av_guess_format)                                                                             \
    X(av_find_input_format)                                                                        \
    X(avformat_alloc_output_context2)                                                              \
    X(av_muxer_iterate)                                                                            \
    X(avformat_version)                                                                            \
    X(avformat_alloc_context)                                                                      \
    X(avformat_free_context)                                                                       \
    X(avformat_open_input)                                                                         \
    X(avformat_close_input)                                                                        \
    X(avformat_find_stream_info)                                                                   \
    X(avio_open2)                                                                                  \
    X(avio_alloc_context)                                                                          \
    X(avio_context_free)                                                                           \
    X(avio_flush)                                                                                  \
    X(avio_read)                                                                                   \
    X(avio_write)                                                                                  \
    X(avio_seek)                                                                                   \
    X(avio_size)                                                                                   \
    X(avio_closep)

FF_DECLARE_BINDING(AVFORMAT_FUNCTIONS, BindAVFormat, UnbindAVFormat)

namespace ff {
// The current position of an I/O context (the library has it only as an inline helper).
inline int64_t avio_tell(AVIOContext* s) {
    return avio_seek(s, 0, SEEK_CUR);
}
} // namespace ff
