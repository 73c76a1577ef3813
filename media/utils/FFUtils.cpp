#include "FFUtils.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <sys/stat.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "binding/AVCodecStubs.h"
#include "binding/AVUtilStubs.h"

namespace {

// Strips characters up to and including the blank from both ends.
std::string Trim(const char* s) {
    if (s == nullptr)
        return {};
    std::string t(s);
    size_t first = 0;
    while (first < t.size() && static_cast<unsigned char>(t[first]) <= ' ')
        ++first;
    size_t last = t.size();
    while (last > first && static_cast<unsigned char>(t[last - 1]) <= ' ')
        --last;
    return t.substr(first, last - first);
}

// Name of a codec FFmpeg has an implementation of: "name(long name)", or "name" alone.
std::string ImplementedCodecName(const AVCodec* codec) {
    std::string longName = Trim(codec->long_name);
    if (longName.empty())
        return codec->name;
    return std::string(codec->name) + "(" + longName + ")";
}

// The codec tag as four characters and hexadecimal, or hexadecimal alone when one of its
// bytes is no printable character.
std::string CodecTagName(uint32_t tag) {
    char chars[4];
    bool printable = true;
    for (int i = 0; i < 4; ++i) {
        chars[i] = static_cast<char>((tag >> (8 * i)) & 0xFF);
        printable = printable && IsPrintableChar(static_cast<uint8_t>(chars[i]));
    }
    char text[32];
    if (printable)
        std::snprintf(text, sizeof text, "%c%c%c%c / 0x%04X", chars[0], chars[1], chars[2],
                      chars[3], tag);
    else
        std::snprintf(text, sizeof text, "0x%04x", tag);
    return text;
}

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFileHandle = std::unique_ptr<std::FILE, TFileCloser>;

// Size of an open regular file, or -1 (folders, pipes and devices have no usable size).
int64_t RegularFileSize(std::FILE* f) {
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    if (std::fseek(f, 0, SEEK_END) != 0)
        return -1;
    int64_t size = ftello(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

} // namespace

std::string DurationToStr(int64_t microseconds) {
    if (microseconds == AV_NOPTS_VALUE)
        return "N/A";
    constexpr int64_t Second = 1000000;
    const int64_t t = microseconds;
    const int64_t hours = t / Second / 60 / 60;
    const int64_t minutes = (t / Second / 60) % 60;
    const int64_t seconds = (t / Second) % 60;
    const int64_t millis = (t % Second) * 1000 / Second;
    char text[64];
    std::snprintf(text, sizeof text, "%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64 ".%.3" PRId64, hours,
                  minutes, seconds, millis);
    return text;
}

bool AudioParametersUsable(const AVFormatContext* container) {
    bool anyAudio = false;
    for (unsigned i = 0; i < container->nb_streams; ++i) {
        const AVStream* stream = container->streams[i];
        const AVCodecParameters* par = stream->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO || stream->discard == AVDISCARD_ALL)
            continue;
        anyAudio = true;
        if (par->ch_layout.nb_channels > 0 && par->sample_rate > 0 && par->format >= 0)
            return true;
    }
    return !anyAudio;
}

std::string MediaTypeToStr(int mediaType) {
    static const char* const Names[] = {"Video", "Audio", "Data", "Subtitle", "Attachment"};
    constexpr int Count = sizeof Names / sizeof Names[0];
    static_assert(AVMEDIA_TYPE_VIDEO == 0 && AVMEDIA_TYPE_ATTACHMENT == Count - 1);
    if (mediaType < 0 || mediaType >= Count)
        return "Unknown";
    return Names[mediaType];
}

std::string CodecDisplayName(AVCodecID codecID, uint32_t codecTag, bool encoder) {
    const AVCodec* codec =
        encoder ? ff::avcodec_find_encoder(codecID) : ff::avcodec_find_decoder(codecID);
    if (codec != nullptr)
        return ImplementedCodecName(codec);
    if (codecID == AV_CODEC_ID_MPEG2TS)
        return "mpeg2ts";
    // A codec FFmpeg can name but has no implementation of in this direction.
    if (ff::avcodec_descriptor_get(codecID) != nullptr)
        return Trim(ff::avcodec_get_name(codecID));
    return CodecTagName(codecTag);
}

std::string CodecDisplayName(const AVCodecContext* context, bool encoder) {
    return CodecDisplayName(context->codec_id, context->codec_tag, encoder);
}

std::string CodecDisplayName(const AVCodecParameters* parameters, bool encoder) {
    return CodecDisplayName(parameters->codec_id, parameters->codec_tag, encoder);
}

std::string MetadataValue(const AVDictionary* metadata, const std::string& key,
                          const std::string& def) {
    const AVDictionaryEntry* entry = ff::av_dict_get(metadata, key.c_str(), nullptr, 0);
    return entry != nullptr && entry->value != nullptr ? entry->value : def;
}

bool IsPrintableChar(uint8_t c) {
    return c >= 32 && c <= 126;
}

void TAVMallocDeleter::operator()(void* p) const {
    if (p != nullptr)
        ff::av_free(p);
}

int ReadFileToBuffer(const std::string& fileName, TAVMallocBuffer& buffer, size_t& size) {
    buffer.reset();
    size = 0;
    TFileHandle file(std::fopen(fileName.c_str(), "rb"));
    if (!file)
        return -1;
    const int64_t fileSize = RegularFileSize(file.get());
    if (fileSize < 0)
        return -1;
    if (static_cast<uint64_t>(fileSize) >= SIZE_MAX)
        return AVERROR(ENOMEM);
    TAVMallocBuffer data(static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(fileSize) + 1)));
    if (!data)
        return AVERROR(ENOMEM);
    const size_t read = std::fread(data.get(), 1, static_cast<size_t>(fileSize), file.get());
    if (std::ferror(file.get()))
        return -1;
    data[read] = 0;
    buffer = std::move(data);
    size = read + 1;
    return 0;
}
