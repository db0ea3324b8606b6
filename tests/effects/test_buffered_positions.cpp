// Reads through the buffering object far into a long stream: every block duration at every rate
// must reach the end with every frame and no empty block, and each block must carry the time of
// its first frame. The position is counted in frames, not summed from block durations, so a late
// seek and a few hundred short reads show any drift that a six-minute run would turn into a stall.
#include "tests/effects/harness.h"

#include "corvane/corvane.h"
#include "host/media_source.h"

#include <cmath>
#include <sstream>

namespace corvane::testing {
namespace {

struct LateRun {
    HRESULT hr = S_OK;
    bool ended = false;
    int64_t frames = 0;    // frames delivered after the seek
    int emptyBlocks = 0;   // blocks without a frame
    int64_t badTimes = 0;  // blocks whose time is not that of their first frame
    std::string firstBadTime;
};

// The effect reads a generated signal of endFrame frames at rate, seeks to seekFrame and is read
// in blocks of blockMs until the stream ends (or a bound of reads is reached).
LateRun ReadLate(const EffectSetup& setup, DWORD rate, int64_t seekFrame, int64_t endFrame,
                 double blockMs) {
    LateRun run;
    host::SignalSettings settings;
    settings.kind = host::SignalKind::Silence;
    settings.rate = rate;
    settings.channels = 2;
    settings.seconds = (static_cast<double>(endFrame) + 0.5) / rate;
    ComPtr<IMediaSource> source;
    ComPtr<IMediaSource> effect;
    ComPtr<IMediaBaseFilter> filter;
    run.hr = host::CreateSignalSource(settings, &source);
    if (SUCCEEDED(run.hr)) run.hr = setup.create(nullptr, IID_IMediaSource, effect.Out());
    if (SUCCEEDED(run.hr)) run.hr = effect->QueryInterface(IID_IMediaBaseFilter, filter.Out());
    if (SUCCEEDED(run.hr)) run.hr = filter->put_MediaSource(source.Get());
    if (SUCCEEDED(run.hr))
        run.hr = effect->SeekAudio(0, 0, static_cast<double>(seekFrame) * 1000.0 / rate);
    if (FAILED(run.hr)) return run;

    const int64_t remaining = endFrame - seekFrame;
    const int bound = static_cast<int>(remaining) + 16;  // one frame per read at the least
    for (int i = 0; i < bound; ++i) {
        ComPtr<IUnknown> block;
        run.hr = effect->ReadAudio(0, 0, blockMs, &block);
        if (FAILED(run.hr)) return run;
        if (!block) {
            run.ended = true;
            return run;
        }
        ComPtr<IAudioData> data;
        block->QueryInterface(IID_IAudioData, data.Out());
        double time = -1.0;
        if (data) data->GetTime(&time);
        const double want = static_cast<double>(seekFrame + run.frames) * 1000.0 / rate;
        // Four units in the last place: the frames since the seek are converted once and added
        // to the seek time once.
        const double ulp = std::nextafter(want, INFINITY) - want;
        if (!(std::abs(time - want) <= 4.0 * ulp) && run.badTimes++ == 0) {
            std::ostringstream s;
            s.precision(17);
            s << "block at frame " << seekFrame + run.frames << " has time " << time << " ms, not "
              << want;
            run.firstBadTime = s.str();
        }
        const int64_t frames = LengthOf(block.Get()) / 4;
        if (frames == 0) ++run.emptyBlocks;
        run.frames += frames;
    }
    return run;
}

class BufferedPositions : public EffectHarness {};

TEST_F(BufferedPositions, EveryBlockDurationReachesTheEndAtEveryRateFarIntoTheStream) {
    const EffectSetup band = Effect(CLSID_BandFilter5);
    // The user's case first: 1 ms blocks at 44100 Hz across the 362 s mark, past which a stream
    // used to end in empty blocks. Then blocks below one frame, of a fractional frame count, of
    // whole milliseconds and of an odd length, at rates that do and do not divide 1000.
    const DWORD rates[] = {44100, 8000, 11025, 22050, 48000, 96000, 192000, 768000};
    const double blocks[] = {1.0, 0.01, 0.3, 1.5, 2.0, 7.3, 100.0 / 3.0};
    const double seeks[] = {361.9, 86390.0};  // seconds; the longest signal lasts 24 hours
    for (const double seconds : seeks) {
        for (const DWORD rate : rates) {
            for (const double ms : blocks) {
                // About 200 reads (at least one frame each), and a partial last block.
                const int64_t perBlock =
                    std::max<int64_t>(1, static_cast<int64_t>(rate * ms / 1000));
                const int64_t seekFrame = static_cast<int64_t>(seconds * rate);
                const int64_t endFrame = seekFrame + 200 * perBlock + perBlock / 3 + 1;
                std::ostringstream name;
                name << rate << " Hz, " << ms << " ms blocks from " << seconds << " s";
                SCOPED_TRACE(name.str());
                const LateRun run = ReadLate(band, rate, seekFrame, endFrame, ms);
                ASSERT_EQ(S_OK, run.hr) << std::hex << run.hr;
                EXPECT_TRUE(run.ended);
                EXPECT_EQ(endFrame - seekFrame, run.frames);
                EXPECT_EQ(0, run.emptyBlocks);
                EXPECT_EQ(0, run.badTimes) << run.firstBadTime;
            }
        }
    }
}

}  // namespace
}  // namespace corvane::testing
