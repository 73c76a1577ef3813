// Turning a codec name into a codec: known, of the right media type, and not experimental
// unless the strictness allows it.
#include "FFmpeg.h"
#include "TextUtils.h"
#include "binding/AVCodecStubs.h"

bool TCustomFFmpeg::FindCodecByName(const std::optional<std::string>& name, AVMediaType type,
                                    bool encoder, int strictness, AVCodecID& codecID) {
    if (!name.has_value()) {
        codecID = AV_CODEC_ID_NONE;
        return true;
    }
    const char* kind = encoder ? "encoder" : "decoder";
    const AVCodec* codec = encoder ? ff::avcodec_find_encoder_by_name(name->c_str())
                                   : ff::avcodec_find_decoder_by_name(name->c_str());
    if (codec == nullptr) {
        LastError = FormatText("Unknown %s '%s'", kind, name->c_str());
        return false;
    }
    if (codec->type != type) {
        LastError = FormatText("Invalid %s type '%s'", kind, name->c_str());
        return false;
    }
    if ((codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) != 0 &&
        strictness > FF_COMPLIANCE_EXPERIMENTAL) {
        LastError = FormatText("%s '%s' is experimental and might produce bad results.\r\n"
                               "Add '-strict experimental' if you want to use it.",
                               kind, codec->name);
        const AVCodec* other =
            encoder ? ff::avcodec_find_encoder(codec->id) : ff::avcodec_find_decoder(codec->id);
        if (other != nullptr && (other->capabilities & AV_CODEC_CAP_EXPERIMENTAL) == 0)
            LastError +=
                "\r\n" + FormatText("Or use the non experimental %s '%s'.", kind, other->name);
        return false;
    }
    codecID = codec->id;
    return true;
}
