#include "MediaOpen.h"

#include <cctype>
#include <cerrno>

#include "FFLoad.h"
#include "UnicodeProtocol.h"
#include "binding/AVFormatStubs.h"
#include "binding/AVUtilStubs.h"

namespace {

// The protocols a local source may reach for what it refers to.
constexpr const char* SourceProtocols = "file";

// A name the libraries open as a local file: no protocol prefix ("scheme:" or
// "scheme,options:"), or the prefix "file".
bool IsLocalFileName(const std::string& name) {
    size_t end = 0;
    while (end < name.size() && (std::isalnum(static_cast<unsigned char>(name[end])) ||
                                 name[end] == '+' || name[end] == '-' || name[end] == '.'))
        ++end;
    if (end == 0 || end == name.size() || (name[end] != ':' && name[end] != ','))
        return true;
    return name.compare(0, end, "file") == 0;
}

// Local files are read and written in blocks of this size (the libraries' own file protocol
// moves 32 KiB per call).
constexpr int UnicodeIOBufferSize = 256 * 1024;

// Marked names are opened by the protocol operations; every other name by the libraries.
bool OpensThroughProtocol(const std::string& name) {
    return IsUnicodeURL(name);
}

TUnicodeConnection& Connection(void* opaque) {
    return *static_cast<TUnicodeConnection*>(opaque);
}

// The library error for a failed protocol operation, from the errno it left.
int LastIOError() {
    return AVERROR(errno != 0 ? errno : EIO);
}

// The AVIOContext callbacks: the protocol operations in the libraries' conventions (end of
// file as AVERROR_EOF, failures as error codes, a buffer written whole).
int ReadPacket(void* opaque, uint8_t* buf, int size) {
    errno = 0;
    const int n = UnicodeRead(Connection(opaque), buf, size);
    if (n < 0)
        return LastIOError();
    return n == 0 ? AVERROR_EOF : n;
}

int WritePacket(void* opaque, uint8_t* buf, int size) {
    int done = 0;
    while (done < size) {
        errno = 0;
        const int n = UnicodeWrite(Connection(opaque), buf + done, size - done);
        if (n < 0)
            return LastIOError();
        if (n == 0)
            return AVERROR(EIO);
        done += n;
    }
    return done;
}

int64_t SeekPacket(void* opaque, int64_t pos, int whence) {
    errno = 0;
    const int64_t r = UnicodeSeek(Connection(opaque), pos, whence & ~AVSEEK_FORCE);
    return r < 0 ? LastIOError() : r;
}

// Opens the marked name and wraps the file in a new I/O context that owns it (through
// opaque) and its buffer; FreeUnicodeIO releases all three.
int NewUnicodeIO(AVIOContext** pb, const std::string& name, int flags) {
    *pb = nullptr;
    auto conn = std::make_unique<TUnicodeConnection>();
    const int err = UnicodeOpen(*conn, name, flags);
    if (err < 0)
        return err;
    auto* buffer = static_cast<unsigned char*>(ff::av_malloc(UnicodeIOBufferSize));
    if (buffer == nullptr)
        return AVERROR(ENOMEM);
    const bool writing = (flags & AVIO_FLAG_WRITE) != 0;
    const bool reading = (flags & AVIO_FLAG_READ) != 0 || !writing;
    *pb = ff::avio_alloc_context(buffer, UnicodeIOBufferSize, writing ? 1 : 0, conn.get(),
                                 reading ? ReadPacket : nullptr, writing ? WritePacket : nullptr,
                                 SeekPacket);
    if (*pb == nullptr) {
        ff::av_freep(&buffer);
        return AVERROR(ENOMEM);
    }
    conn.release(); // owned by the I/O context now
    // A muxer marks a flush point after every packet: the buffer is written only once full.
    if (writing)
        (*pb)->min_packet_size = UnicodeIOBufferSize;
    return 0;
}

int FreeUnicodeIO(AVIOContext** pb) {
    AVIOContext* io = *pb;
    int ret = 0;
    if (io->write_flag) {
        ff::avio_flush(io);
        ret = io->error;
    }
    std::unique_ptr<TUnicodeConnection> conn(&Connection(io->opaque));
    // The libraries may have replaced the buffer: free the one the context holds now.
    ff::av_freep(&io->buffer);
    ff::avio_context_free(pb);
    errno = 0;
    if (UnicodeClose(*conn) != 0 && ret == 0)
        ret = LastIOError();
    return ret;
}

} // namespace

bool IsUnicodeIO(const AVIOContext* pb) {
    return pb != nullptr && pb->seek == SeekPacket;
}

int OpenInputContext(AVFormatContext** ctx, const std::string& name, const AVInputFormat* fmt,
                     AVDictionary** options) {
    if (*ctx == nullptr) {
        *ctx = ff::avformat_alloc_context();
        if (*ctx == nullptr)
            return AVERROR(ENOMEM);
    }
    (*ctx)->interrupt_callback = IOInterruptCallback();
    // What a local source may open besides itself (playlists, concatenation lists,
    // references): local files only, so that a crafted file cannot make the converter reach
    // the network. A source named by a network address keeps every protocol it needs.
    if ((*ctx)->protocol_whitelist == nullptr && (IsUnicodeURL(name) || IsLocalFileName(name))) {
        (*ctx)->protocol_whitelist = ff::av_strdup(SourceProtocols);
        if ((*ctx)->protocol_whitelist == nullptr) {
            ff::avformat_free_context(*ctx);
            *ctx = nullptr;
            return AVERROR(ENOMEM);
        }
    }
    AVIOContext* custom = nullptr;
    if (OpensThroughProtocol(name)) {
        const int err = NewUnicodeIO(&custom, name, AVIO_FLAG_READ);
        if (err < 0) {
            ff::avformat_free_context(*ctx);
            *ctx = nullptr;
            return err;
        }
        (*ctx)->pb = custom;
        (*ctx)->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    const int ret = ff::avformat_open_input(ctx, name.c_str(), fmt, options);
    // On failure the library frees the format context but never a custom I/O context.
    if (ret < 0 && custom != nullptr)
        FreeUnicodeIO(&custom);
    return ret;
}

void CloseInputContext(AVFormatContext** ctx) {
    if (ctx == nullptr || *ctx == nullptr)
        return;
    AVIOContext* custom = nullptr;
    if (((*ctx)->flags & AVFMT_FLAG_CUSTOM_IO) && IsUnicodeIO((*ctx)->pb))
        custom = (*ctx)->pb;
    ff::avformat_close_input(ctx);
    if (custom != nullptr)
        FreeUnicodeIO(&custom);
}

int OpenOutputIO(AVIOContext** pb, const std::string& name, int flags) {
    if (OpensThroughProtocol(name))
        return NewUnicodeIO(pb, name, flags | AVIO_FLAG_WRITE);
    const AVIOInterruptCB interrupt = IOInterruptCallback();
    return ff::avio_open2(pb, name.c_str(), flags | AVIO_FLAG_WRITE, &interrupt, nullptr);
}

int CloseOutputIO(AVIOContext** pb) {
    if (pb == nullptr || *pb == nullptr)
        return 0;
    if (IsUnicodeIO(*pb))
        return FreeUnicodeIO(pb);
    return ff::avio_closep(pb);
}
