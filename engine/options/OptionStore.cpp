// The library option store: FFmpeg's own options given to a task, held in contexts that
// exist only for their values, and copied into the real codecs and containers later.
#include "FFmpeg.h"
#include "OldOptionNames.h"
#include "TextUtils.h"
#include "binding/AVCodecStubs.h"
#include "binding/AVFormatStubs.h"
#include "binding/AVUtilStubs.h"
#include "binding/SwScaleStubs.h"
#include "log/FFLog.h"

std::string LastOptionError;

namespace {

// The scaler context is made for a 16x16 picture only to hold the scaler's options.
constexpr int ScalerHolderSize = 16;

// An option of obj with that name (no constant) whose flags hold all bits of `flags`.
const AVOption* FindOption(void* obj, const char* name, int flags = 0) {
    return ff::av_opt_find(obj, name, nullptr, flags, 0);
}

struct TFound {
    const AVOption* Option = nullptr;
    int Result = 0;
};

// Sets the option on obj when obj knows it; Option stays null when it does not.
TFound TrySet(void* obj, const char* name, const std::string& value) {
    TFound found;
    if (obj == nullptr)
        return found;
    found.Option = FindOption(obj, name);
    if (found.Option != nullptr)
        found.Result = ff::av_opt_set(obj, name, value.c_str(), 0);
    return found;
}

// True when a codec's or a muxer's private options know the name.
bool PrivateOptionKnown(const char* name) {
    void* it = nullptr;
    while (const AVCodec* codec = ff::av_codec_iterate(&it))
        if (codec->priv_class != nullptr &&
            ff::av_opt_find(const_cast<AVClass**>(&codec->priv_class), name, nullptr, 0,
                            AV_OPT_SEARCH_FAKE_OBJ) != nullptr)
            return true;
    it = nullptr;
    while (const AVOutputFormat* format = ff::av_muxer_iterate(&it))
        if (format->priv_class != nullptr &&
            ff::av_opt_find(const_cast<AVClass**>(&format->priv_class), name, nullptr, 0,
                            AV_OPT_SEARCH_FAKE_OBJ) != nullptr)
            return true;
    return false;
}

} // namespace

void TCustomFFmpeg::InitOptionContext() {
    auto store = std::make_unique<TOptionContext>();
    for (int type = 0; type < OptionMediaTypeCount; ++type) {
        store->CodecContexts[type].reset(ff::avcodec_alloc_context3(nullptr));
        if (!store->CodecContexts[type])
            throw FFmpegException("avcodec_alloc_context3 failed");
        store->CodecContexts[type]->codec_type = static_cast<AVMediaType>(type);
    }
    store->FormatContext.reset(ff::avformat_alloc_context());
    if (!store->FormatContext)
        throw FFmpegException("avformat_alloc_context failed");
    store->ScalerContext.reset(ff::sws_getContext(
        ScalerHolderSize, ScalerHolderSize, AV_PIX_FMT_YUV420P, ScalerHolderSize, ScalerHolderSize,
        AV_PIX_FMT_YUV420P, SwsFlags, nullptr, nullptr, nullptr));
    OptionContext = std::move(store);
}

void TCustomFFmpeg::FreeOptionContext() {
    OptionContext.reset();
}

std::optional<std::vector<TOptionSetting>>
TCustomFFmpeg::TranslateForEncoder(const std::string& name, const std::string& value) {
    const std::string encoderName = VideoCodecName.value_or("libx264");
    if (!OptionContext || !TranslatedEncoder(encoderName))
        return std::nullopt;
    AVCodecContext* generic = OptionContext->CodecContexts[AVMEDIA_TYPE_VIDEO].get();
    const AVCodec* encoder = ff::avcodec_find_encoder_by_name(encoderName.c_str());
    TOptionVocabulary vocabulary;
    vocabulary.NameKnown = [generic, encoder](const std::string& option) {
        if (FindOption(generic, option.c_str()) != nullptr)
            return true;
        return encoder != nullptr && encoder->priv_class != nullptr &&
               ff::av_opt_find(const_cast<AVClass**>(&encoder->priv_class), option.c_str(), nullptr,
                               0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
    };
    vocabulary.FlagKnown = [generic](const std::string& option, const std::string& word) {
        const AVOption* flags = FindOption(generic, option.c_str());
        return flags != nullptr && flags->unit != nullptr &&
               ff::av_opt_find(generic, word.c_str(), flags->unit, 0, 0) != nullptr;
    };
    return TranslateOldOption(name, value, vocabulary);
}

bool TCustomFFmpeg::SetLibraryOption(const std::string& name, const std::string& value) {
    const std::optional<std::vector<TOptionSetting>> current = TranslateForEncoder(name, value);
    if (!current.has_value())
        return RecordLibraryOption(name, value);
    FFLogger()->Log(this, llVerbose,
                    FormatText("Option \"%s=%s\" of older libraries taken as \"%s\"", name.c_str(),
                               value.c_str(), DescribeSettings(*current).c_str()));
    bool all = true;
    for (const TOptionSetting& setting : *current)
        all = RecordLibraryOption(setting.Name, setting.Value) && all;
    return all;
}

bool TCustomFFmpeg::RecordLibraryOption(const std::string& name, const std::string& value) {
    if (Trim(name).empty())
        return false;
    if (!OptionContext) {
        LastOptionError = FormatText("Unrecognized option \"%s\"", name.c_str());
        return false;
    }
    TOptionContext& store = *OptionContext;
    const char* key = name.c_str();

    // Codec options, on the context of every media type whose flags they carry.
    TFound found;
    AVCodecContext* lookup = store.CodecContexts[AVMEDIA_TYPE_VIDEO].get();
    for (int type = 0; type < OptionMediaTypeCount && found.Result >= 0; ++type) {
        const int mask = OptionTypeMasks[type];
        if (FindOption(lookup, key, mask) != nullptr) {
            const TFound set = TrySet(store.CodecContexts[type].get(), key, value);
            if (set.Option != nullptr)
                found = set;
        }
    }
    // Container, then scaler options.
    if (found.Option == nullptr)
        found = TrySet(store.FormatContext.get(), key, value);
    if (found.Option == nullptr)
        found = TrySet(store.ScalerContext.get(), key, value);
    // "a...", "v...", "s...": the rest of the name on that kind's codec context.
    if (found.Option == nullptr && name.size() > 1) {
        const int type = name[0] == 'a'   ? AVMEDIA_TYPE_AUDIO
                         : name[0] == 'v' ? AVMEDIA_TYPE_VIDEO
                         : name[0] == 's' ? AVMEDIA_TYPE_SUBTITLE
                                          : -1;
        if (type >= 0)
            found = TrySet(store.CodecContexts[type].get(), key + 1, value);
    }

    if (found.Option != nullptr && found.Result < 0) {
        ff::av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(),
                   key);
        LastOptionError = FormatText("Invalid value \"%s\" for option \"%s\"", value.c_str(), key);
        return false;
    }
    if (found.Option == nullptr && !PrivateOptionKnown(key)) {
        ff::av_log(nullptr, AV_LOG_ERROR, "Unrecognized option \"%s\"\n", key);
        LastOptionError = FormatText("Unrecognized option \"%s\"", key);
        return false;
    }

    if (found.Option != nullptr) {
        store.Names.emplace_back(found.Option->name);
        store.Values.emplace_back(std::nullopt);
    } else {
        store.Names.push_back(name);
        store.Values.emplace_back(value);
    }
    if (store.CodecContexts[AVMEDIA_TYPE_VIDEO]->debug != 0 || store.FormatContext->debug != 0)
        FFLogger()->SetLogLevel(llDebug);
    return true;
}

namespace {

// Copies every recorded option the holder holds and whose flags carry the mask; an option
// the holder does not know goes to the private context when that knows it.
void CopyRecordedOptions(const TOptionContext& store, void* target, void* holder,
                         void* privateContext, int mask) {
    for (size_t i = 0; i < store.Names.size(); ++i) {
        const char* name = store.Names[i].c_str();
        uint8_t* held = nullptr;
        if (ff::av_opt_get(holder, name, 0, &held) >= 0 && held != nullptr) {
            const AVOption* option = FindOption(holder, name);
            if (option != nullptr && (option->flags & mask) == mask)
                ff::av_opt_set(target, name, reinterpret_cast<const char*>(held), 0);
            ff::av_free(held);
        } else if (privateContext != nullptr && store.Values[i].has_value() &&
                   FindOption(privateContext, name) != nullptr) {
            ff::av_opt_set(privateContext, name, store.Values[i]->c_str(), 0);
        }
    }
}

} // namespace

void TCustomFFmpeg::ApplyLibraryOptions(AVCodecContext* target, AVCodecContext* holder,
                                        const AVCodec* codec, int mask) {
    if (!OptionContext || target == nullptr || holder == nullptr)
        return;
    void* privateContext =
        (codec != nullptr && codec->priv_class != nullptr) ? target->priv_data : nullptr;
    CopyRecordedOptions(*OptionContext, target, holder, privateContext, mask);
}

void TCustomFFmpeg::ApplyLibraryOptions(AVFormatContext* target, AVFormatContext* holder,
                                        int mask) {
    if (!OptionContext || target == nullptr || holder == nullptr)
        return;
    void* privateContext = (target->oformat != nullptr && target->oformat->priv_class != nullptr)
                               ? target->priv_data
                               : nullptr;
    CopyRecordedOptions(*OptionContext, target, holder, privateContext, mask);
}

int TCustomFFmpeg::Strictness(AVMediaType type) const {
    if (!OptionContext || type < 0 || type >= OptionMediaTypeCount)
        return 0;
    return OptionContext->CodecContexts[type]->strict_std_compliance;
}
