// Audio sync of an output stream (option "async"). The output clock ost.syncOpts counts the
// samples handed to the encoder and never goes back; the input clock is the sync input's
// time at the encoder's rate. Samples already converted but not yet encoded (in the FIFO or held
// back by the resampler) count as output.
#include <algorithm>
#include <cmath>

#include "FFmpeg.h"
#include "TextUtils.h"
#include "audio/Audio.h"
#include "log/FFLog.h"

namespace {

// Deviations up to this many samples are left alone.
constexpr double DeadBand = 50;
// Beyond this the time stamps are garbage; the limit keeps the sample arithmetic finite.
constexpr double MaxDelta = 1e15;

} // namespace

TSyncResult SyncAudio(TCustomFFmpeg& task, EngineOutputStream& ost, EngineInputStream& ist,
                      TSampleRun& in, int64_t& allocated) {
    const AVCodecContext* enc = ost.encoder.get();
    const int encRate = enc->sample_rate;
    // A sync input that no output takes is never read and its clock never moves: the
    // source's own clock stands in for it.
    const EngineInputStream& syncInput =
        ost.syncInput != nullptr && !ost.syncInput->discard ? *ost.syncInput : ist;
    const double syncTime = static_cast<double>(syncInput.pts - task.StartTime) / 1000000.0;
    const int64_t buffered =
        (ost.fifo ? ff::av_audio_fifo_size(ost.fifo.get()) : 0) + ResamplerDelay(ost);

    if (task.AudioSyncMethod == 0) {
        // The output clock follows the input clock, but only forward: where the sync input's
        // time stalls or goes back (a foreign stream's, reordered), the samples already
        // counted keep their times and the next ones follow them.
        ost.syncOpts = std::max<int64_t>(ost.syncOpts, std::llrint(syncTime * encRate) - buffered);
        return TSyncResult::Continue;
    }

    const double delta = std::clamp(syncTime * encRate - static_cast<double>(ost.syncOpts) -
                                        static_cast<double>(buffered),
                                    -MaxDelta, MaxDelta);
    // The same deviation in samples of the chunk.
    const int64_t idelta = static_cast<int64_t>(delta * in.sampleRate / encRate);
    if (std::fabs(delta) <= DeadBand)
        return TSyncResult::Continue;

    const bool verbose = task.Verbose > 2;
    if (ist.isStart || std::fabs(delta) > task.AudioDriftThreshold * encRate) {
        if (idelta < 0) {
            // The output is ahead: the oldest samples of the chunk go.
            const int drop = static_cast<int>(std::min<int64_t>(-idelta, in.samples));
            if (drop > 0) {
                TOutputStreamWork& work = StreamWork(ost);
                const bool planar = ff::av_sample_fmt_is_planar(in.format);
                const int planes = planar ? in.channels : 1;
                const int64_t step = static_cast<int64_t>(drop) *
                                     ff::av_get_bytes_per_sample(in.format) *
                                     (planar ? 1 : in.channels);
                work.planes.resize(planes);
                for (int p = 0; p < planes; ++p)
                    work.planes[p] = in.planes[p] + step;
                in.planes = work.planes.data();
                in.samples -= drop;
            }
            if (verbose)
                FFLogger()->Log(&task, llVerbose,
                                FormatText("discarding %d audio samples",
                                           static_cast<int>(static_cast<int64_t>(-delta))));
            if (in.samples == 0)
                return TSyncResult::Dropped;
            ist.isStart = 0;
            return TSyncResult::Continue;
        }

        // The output is behind: silence goes before the chunk.
        if (idelta > allocated - in.samples) {
            allocated = idelta + in.samples;
            return TSyncResult::Grow;
        }
        ist.isStart = 0;
        const int bytesPerSample = ff::av_get_bytes_per_sample(in.format);
        const int64_t total = idelta + in.samples;
        if (total * bytesPerSample * in.channels > INT32_MAX)
            throw FFmpegException("Buffer sizes too large in do_audio_out");
        TOutputStreamWork& work = StreamWork(ost);
        AVChannelLayout layout{};
        ff::av_channel_layout_default(&layout, in.channels);
        const bool ok = EnsureAudioFrame(work.padding, work.paddingCapacity, in.format, layout,
                                         in.sampleRate, static_cast<int>(total));
        ff::av_channel_layout_uninit(&layout);
        if (!ok)
            throw FFmpegException("Out of memory in do_audio_out");
        uint8_t** padded = work.padding->extended_data;
        ff::av_samples_set_silence(padded, 0, static_cast<int>(idelta), in.channels, in.format);
        ff::av_samples_copy(padded, in.planes, static_cast<int>(idelta), 0, in.samples, in.channels,
                            in.format);
        in.planes = padded;
        in.samples = static_cast<int>(total);
        if (verbose)
            FFLogger()->Log(&task, llVerbose,
                            FormatText("adding %d audio samples of silence",
                                       static_cast<int>(static_cast<int64_t>(delta))));
        return TSyncResult::Continue;
    }

    if (task.AudioSyncMethod > 1) {
        // A small drift: the resampler absorbs it over the next second of output.
        const int limit = task.AudioSyncMethod;
        const int comp =
            static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(delta), -limit, limit));
        if (verbose)
            FFLogger()->Log(&task, llVerbose,
                            FormatText("compensating audio timestamp drift:%f compensation:%d "
                                       "in:%d",
                                       delta, comp, encRate));
        if (ost.resampler)
            ff::swr_set_compensation(ost.resampler.get(), comp, encRate);
    }
    return TSyncResult::Continue;
}
