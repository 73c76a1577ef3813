// Opening files through the media libraries: the one place every opener of an input or an
// output goes through. A name marked by FileNameToURL ("unicode:utf8:...") is opened with
// the "unicode" protocol operations behind a custom AVIOContext with a large buffer (few
// system calls, a seek only when the libraries ask for one); any other name is passed to the
// libraries unchanged. Every context gets the program's I/O
// interrupt callback.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

// Opens an input: *ctx may hold a context the caller allocated (its settings are kept; its pb
// must be unset), or be null to have one allocated. Returns 0, or a negative library error
// code with *ctx null and everything freed (as avformat_open_input does). What a local file
// refers to (a playlist's entries, a list of files) may be opened from local files only,
// unless the caller's context or options name other protocols.
int OpenInputContext(AVFormatContext** ctx, const std::string& name, const AVInputFormat* fmt,
                     AVDictionary** options);
// Closes an input opened by OpenInputContext, with its custom I/O context; *ctx becomes null.
void CloseInputContext(AVFormatContext** ctx);

// Opens an I/O context for writing (AVIO_FLAG_WRITE, optionally with AVIO_FLAG_READ); an
// existing file is truncated. Returns 0 or a negative library error code (*pb null).
int OpenOutputIO(AVIOContext** pb, const std::string& name, int flags);
// Flushes and closes an I/O context opened by OpenOutputIO; *pb becomes null. Returns 0 or
// the first error of the flush or the close.
int CloseOutputIO(AVIOContext** pb);

// True for an I/O context made on the protocol operations (a marked name).
bool IsUnicodeIO(const AVIOContext* pb);

struct TInputContextCloser {
    void operator()(AVFormatContext* ctx) const { CloseInputContext(&ctx); }
};
using TInputContextPtr = std::unique_ptr<AVFormatContext, TInputContextCloser>;

struct TOutputIOCloser {
    void operator()(AVIOContext* pb) const { CloseOutputIO(&pb); }
};
using TOutputIOPtr = std::unique_ptr<AVIOContext, TOutputIOCloser>;
