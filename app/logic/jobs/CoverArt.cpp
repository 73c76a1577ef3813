#include "CoverArt.h"

#include <strings.h>

#include <vector>

#include "FFDecode.h"
#include "options/OptionLines.h"

namespace {

struct TCoverArtRow {
    const char* Extension;
    TCoverArtWay Way;
};

// Output types that hold a picture; every other type drops it.
constexpr TCoverArtRow CoverArtTable[] = {
    {".mp3", TCoverArtWay::CopyStream},      {".flac", TCoverArtWay::CopyStream},
    {".m4a", TCoverArtWay::CopyStream},      {".ogg", TCoverArtWay::PictureComment},
    {".opus", TCoverArtWay::PictureComment},
};

// The option text without its lines of the name `name`.
std::string WithoutOption(const std::string& text, const std::string& name) {
    std::string kept;
    for (const TOptionLine& line : ParseOptionLines(text)) {
        if (line.Name == name || line.Name.empty())
            continue;
        kept += (kept.empty() ? "" : "<CRLF>") + line.Name + "=" + line.Value;
    }
    return kept;
}

// Picture codecs every muxer of TCoverArtWay::CopyStream takes as cover art.
bool CopiesAsCover(const std::string& codecName) {
    return codecName == "mjpeg" || codecName == "png";
}

void AddOption(std::string& text, const std::string& line) {
    text += (text.empty() ? "" : "<CRLF>") + line;
}

} // namespace

TCoverArtWay CoverArtWayOf(const std::string& extension) {
    for (const TCoverArtRow& row : CoverArtTable)
        if (strcasecmp(row.Extension, extension.c_str()) == 0)
            return row.Way;
    return TCoverArtWay::Drop;
}

void KeepCoverArt(TFFDecoder& prober, TInputOptions& input, TOutputOptions& output) {
    const std::vector<TAttachedPictureInfo> pictures = prober.AttachedPictures();
    if (pictures.empty())
        return;
    switch (CoverArtWayOf(output.Extension)) {
    case TCoverArtWay::CopyStream: {
        std::vector<int> copied;
        for (const TAttachedPictureInfo& picture : pictures)
            if (CopiesAsCover(picture.CodecName))
                copied.push_back(picture.StreamIndex);
        const int audio = prober.BestAudioStreamIndex();
        if (copied.empty() || audio < 0)
            return;
        // The output's streams: a picture, the audio, then one more picture stream per
        // further picture. The maps name their sources in that order, so that no other video
        // of the source is taken.
        input.ExtOptions = WithoutOption(input.ExtOptions, "vn");
        output.DisableVideo = false;
        output.VideoCodec = "copy";
        AddOption(output.ExtOptions, "map=0:" + std::to_string(copied[0]));
        AddOption(output.ExtOptions, "map=0:" + std::to_string(audio));
        for (size_t i = 1; i < copied.size(); ++i) {
            AddOption(output.ExtOptions, "newvideo=1");
            AddOption(output.ExtOptions, "map=0:" + std::to_string(copied[i]));
        }
        break;
    }
    case TCoverArtWay::PictureComment:
        AddOption(output.ExtOptions, "picture_comment=1");
        break;
    case TCoverArtWay::Drop:
        break;
    }
}
