#include "PictureComment.h"

#include <strings.h>

namespace {

void PutBigEndian32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutSized(std::string& out, std::string_view bytes) {
    PutBigEndian32(out, static_cast<uint32_t>(bytes.size()));
    out.append(bytes);
}

// The picture types of ID3v2 APIC frames, by number.
constexpr const char* PictureTypeNames[] = {
    "Other",
    "32x32 pixels 'file icon'",
    "Other file icon",
    "Cover (front)",
    "Cover (back)",
    "Leaflet page",
    "Media (e.g. label side of CD)",
    "Lead artist/lead performer/soloist",
    "Artist/performer",
    "Conductor",
    "Band/Orchestra",
    "Composer",
    "Lyricist/text writer",
    "Recording Location",
    "During recording",
    "During performance",
    "Movie/video screen capture",
    "A bright coloured fish",
    "Illustration",
    "Band/artist logotype",
    "Publisher/Studio logotype",
};

struct TMimeRow {
    AVCodecID Codec;
    const char* MimeType;
};

constexpr TMimeRow MimeTypes[] = {
    {AV_CODEC_ID_MJPEG, "image/jpeg"}, {AV_CODEC_ID_PNG, "image/png"},
    {AV_CODEC_ID_BMP, "image/bmp"},    {AV_CODEC_ID_GIF, "image/gif"},
    {AV_CODEC_ID_TIFF, "image/tiff"},  {AV_CODEC_ID_WEBP, "image/webp"},
};

} // namespace

std::string FlacPictureBlock(const TPictureBlock& picture) {
    std::string out;
    out.reserve(32 + picture.MimeType.size() + picture.Description.size() + picture.Data.size());
    PutBigEndian32(out, picture.Type);
    PutSized(out, picture.MimeType);
    PutSized(out, picture.Description);
    PutBigEndian32(out, picture.Width);
    PutBigEndian32(out, picture.Height);
    PutBigEndian32(out, picture.Depth);
    PutBigEndian32(out, picture.Colors);
    PutSized(out, picture.Data);
    return out;
}

std::string Base64Encode(std::string_view bytes) {
    static constexpr char Alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t group = static_cast<uint8_t>(bytes[i]) << 16 |
                               static_cast<uint8_t>(bytes[i + 1]) << 8 |
                               static_cast<uint8_t>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            out.push_back(Alphabet[(group >> shift) & 0x3F]);
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
        if (rest == 2)
            group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        out.push_back(Alphabet[(group >> 18) & 0x3F]);
        out.push_back(Alphabet[(group >> 12) & 0x3F]);
        out.push_back(rest == 2 ? Alphabet[(group >> 6) & 0x3F] : '=');
        out.push_back('=');
    }
    return out;
}

std::string PictureCommentValue(const TPictureBlock& picture) {
    return Base64Encode(FlacPictureBlock(picture));
}

int PictureTypeOfName(std::string_view name) {
    const std::string text(name);
    for (size_t i = 0; i < std::size(PictureTypeNames); ++i)
        if (strcasecmp(PictureTypeNames[i], text.c_str()) == 0)
            return static_cast<int>(i);
    return -1;
}

const char* PictureMimeType(AVCodecID codec) {
    for (const TMimeRow& row : MimeTypes)
        if (row.Codec == codec)
            return row.MimeType;
    return nullptr;
}
