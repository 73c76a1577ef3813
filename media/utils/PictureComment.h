// The Ogg way of carrying cover art: a FLAC picture block, base64 encoded, as the value of
// the vorbis comment METADATA_BLOCK_PICTURE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" {
#include <libavcodec/codec_id.h>
}

// The key of the comment.
inline constexpr const char* PictureCommentKey = "METADATA_BLOCK_PICTURE";

// The picture type of the front cover, the one taken when a source names none.
inline constexpr uint32_t FrontCoverPictureType = 3;

// One picture with what a FLAC picture block says about it.
struct TPictureBlock {
    uint32_t Type = FrontCoverPictureType; // the ID3v2 APIC picture type, 0 to 20
    std::string MimeType;                  // "image/jpeg", ...
    std::string Description;               // UTF-8
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t Depth = 0;  // bits per pixel
    uint32_t Colors = 0; // colours of an indexed picture, else 0
    std::string_view Data;
};

// The block's bytes: big-endian 32-bit numbers and lengths, the texts and the picture.
std::string FlacPictureBlock(const TPictureBlock& picture);

// Standard base64 (RFC 4648 alphabet) with "=" padding.
std::string Base64Encode(std::string_view bytes);

// The comment's value: the base64 text of the picture's block.
std::string PictureCommentValue(const TPictureBlock& picture);

// The picture type of an ID3v2 type name as the demuxers give it in a picture stream's
// "comment" tag ("Cover (front)", "Other", ...; any case); -1 for another text.
int PictureTypeOfName(std::string_view name);

// The MIME type of a picture codec (JPEG, PNG, BMP, GIF, TIFF, WebP); null for another codec.
const char* PictureMimeType(AVCodecID codec);
