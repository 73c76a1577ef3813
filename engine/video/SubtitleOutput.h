// Subtitle output: decoded subtitles encoded into an output stream and written.
#pragma once

#include <cstdint>

struct AVFormatContext;
struct AVSubtitle;
class TCustomFFmpeg;
struct EngineInputStream;
struct EngineOutputStream;

// The size of the encode buffer that every task's subtitle outputs share.
inline constexpr int SubtitleBufferSize = 1048576;

// Encodes `sub`, decoded from the packet whose pts (input stream time base) is `pts`, for the
// output stream `ost` and writes the packets: two for DVB subtitles (one shows the picture,
// one clears it, at the end display time), one for other codecs. A subtitle whose packet has
// no pts is refused: "Subtitle packets must have a pts" is raised with `xerror`, else logged.
// An encoder failure raises "Subtitle encoding failed". `sub` itself is left as decoded.
void DoSubtitleOut(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost,
                   const EngineInputStream& ist, const AVSubtitle& sub, int64_t pts);
