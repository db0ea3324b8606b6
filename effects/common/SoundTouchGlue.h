// What the stretch and pitch-shift effects share in driving SoundTouch (float samples): doubles in,
// everything the processor holds out, through one float buffer that grows as needed; the sound
// that pushes out what the processor still holds where its input ends; and the delay of its sound.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace soundtouch {
class SoundTouch;
}
class CBaseFilter;

namespace corvane {

// What a processor was given and gave back since it was made, in frames. By the end of the stream
// it owes lround(put x ratio) frames in all. The product of the whole count, rather than a sum of
// products per put, so that the total is the one an engine computes from the stream's length.
struct SoundTouchCounts {
    // Output frames per input frame: the effect's own factor, or (0) the processor's
    // input-to-output ratio, taken at the first put.
    double ratio = 0.0;
    int64_t put = 0;       // frames put
    int64_t received = 0;  // frames received
    int64_t Owed() const;  // frames still to come at the end of the stream
    // The most that may be received now without running ahead of the rule: SoundTouch's rate
    // stage gives its output early at high rates (the part of its input step that overshoots a
    // batch is lost), by up to 1 % of the stream.
    int64_t Allowed() const;
};

// The most channels the stretch effect takes through SoundTouch, and through SoundTouch's
// anti-alias filter ("Antialiasing" not 0), which asserts fewer than 16: a build that keeps its
// assertions would abort the process on 16. A stream of more passes through. corvane-fx reads
// them too, to say why such a stream came out unchanged.
constexpr LONG kStretchMostChannels = 16;
constexpr LONG kStretchMostAntiAliasedChannels = 15;

// The input a MirroredTail keeps, ms: more than SoundTouch's longest sequence and seek window
// together, so that the mirror seldom turns back.
constexpr size_t kMirroredMs = 250;

// The last frames of a processor's input, mirrored about the last one (and back and forth, should
// more be wanted than are kept): what a processor is given past the end of its input. SoundTouch
// plays each sequence from where it should start at the input's own speed, so at a tempo below 1
// the sequences that make its last frames reach past the end of the input; given silence there,
// as its own flush gives it, those frames fall silent while the input sounds to its end.
class MirroredTail {
public:
    // Forgets what was kept; keeps the last keepFrames frames of `channels` channels from now on.
    void Reset(size_t keepFrames, int channels);
    // Keeps the last frames of these (interleaved, `frames` frames).
    void Keep(const float* samples, size_t frames);
    // The next `frames` frames of the mirror into out (silence when nothing was kept); each call
    // goes on from where the one before ended, until Keep is called again.
    void Next(float* out, size_t frames);

private:
    std::vector<float> m_kept;  // interleaved, oldest first, from m_first on
    size_t m_first = 0;         // floats before the kept frames (dropped, not yet erased)
    size_t m_keepFrames = 0;
    int m_channels = 1;
    int64_t m_given = 0;  // frames of the mirror given since the last Keep
};

// Frame i of a sequence of `length` frames (length > 0) mirrored about both its ends, back and
// forth: for i from 0 to length - 1 the sequence itself, then length - 2 down to 0, and so on.
size_t MirroredIndex(int64_t i, size_t length);

// Puts n interleaved doubles of `channels` channels (n / channels frames) into the processor, as
// floats through `floats`; `tail` (nullable) keeps them for the mirror.
void PutDoubles(soundtouch::SoundTouch& processor, const double* samples, int n, int channels,
                SoundTouchCounts& counts, std::vector<float>& floats, MirroredTail* tail = nullptr);

// Puts `frames` frames of interleaved floats; `tail` (nullable) keeps them for the mirror.
void PutFloats(soundtouch::SoundTouch& processor, const float* samples, size_t frames,
               SoundTouchCounts& counts, MirroredTail* tail = nullptr);

// The input that goes into a processor ahead of a run's first frame: the run's first frames
// mirrored about its first (frames N, ..., 1, back and forth should fewer come), so that the
// processor starts on sound rather than on the silence it starts with.
class LeadIn {
public:
    // A run starts that wants `frames` frames of lead-in (0: none).
    void Reset(int64_t frames);
    // Puts n interleaved doubles of `channels` channels, as PutDoubles does. While the lead-in is
    // due they are held until more than its frames have come, or `last`: then the lead-in goes
    // in, counted in `leadCounts`, and what was held after it.
    void Put(soundtouch::SoundTouch& processor, const double* samples, int n, int channels,
             bool last, SoundTouchCounts& leadCounts, SoundTouchCounts& counts,
             std::vector<float>& floats, MirroredTail* tail);

private:
    int64_t m_frames = 0;
    std::vector<double> m_held;
};

// Receives what the processor holds, at most maxFrames, into `floats` from float `from` on,
// growing it, and returns the floats it holds then (from + frames received x channels).
size_t ReceiveAll(soundtouch::SoundTouch& processor, int channels, SoundTouchCounts& counts,
                  std::vector<float>& floats, size_t from = 0, int64_t maxFrames = INT64_MAX);

// Sets the processor's sample rate. A rate it refuses (SoundTouch runs up to 192000 Hz) fails the
// read that brought it: code 6, "Audio format unsupported.", reported through `owner` with its
// class's identity, and thrown.
void SetSampleRateOrFail(soundtouch::SoundTouch& processor, DWORD rate, const CBaseFilter& owner);

// The end of the processor's input: the input that follows (`followingCount` interleaved doubles
// at `following`, nullable), then the mirror of `tail`, go in until the processor holds `skip`
// frames, which are dropped, and `frames` more; exactly those are received after float `from` of
// `floats`, and the processor is emptied. Returns the floats `floats` holds then. (SoundTouch's
// own flush puts at most 25600 frames of silence, less than one sequence at a high tempo or
// rate, and drops the input it has not used.)
size_t ReceiveThroughEnd(soundtouch::SoundTouch& processor, int channels, SoundTouchCounts& counts,
                         std::vector<float>& floats, size_t from, int64_t frames,
                         const double* following, int followingCount, MirroredTail& tail,
                         int64_t skip = 0);

// Drops up to `frames` frames of what the processor holds; returns how many it dropped.
int64_t DropFrames(soundtouch::SoundTouch& processor, int64_t frames);

// Where SoundTouch's rate stage runs first (a rate below 1 with the anti-alias filter on), the
// silence it is filled with on a clear, which cancels the filter's delay at the input's rate,
// comes out 1 / rate times as long while the filter delays by its own length at the output's:
// the sound starts late by (taps / 2) x (1 / rate - 1) frames at the time stretch, which plays its
// first sequence at the input's speed. What cancels that: `leadIn` frames of input before the
// input's first (so that the silence ends inside frames dropped), and `drop` frames of output
// dropped, the time stretch's share of silence and lead-in. Both 0 where the sound is on time, or
// late by less than a millisecond: that is well inside where the time stretch places its
// sequences anyway (its seek window spans several), and the output stays SoundTouch's own.
struct StartCorrection {
    int64_t leadIn = 0;
    int64_t drop = 0;
};
StartCorrection LateStartOf(const soundtouch::SoundTouch& processor, DWORD sampleRate, double rate,
                            double tempo);

// Frames of input past the end of the processor's input that it may take before it has given all
// it owes (what its time stretch waits for before a sequence, and a sequence more), and `extra`
// more, at most a second of them: what an effect asks to see of the input that follows its
// interval. Past that, the mirror serves.
int SoundTouchReach(const soundtouch::SoundTouch& processor, DWORD rate, double extra = 0.0);

// How many frames late the processor first gives the sound of an input frame, on average, at the
// tempo it was set to (negative: early): what an onset keeps its time by. Its time stretch plays
// sequences of S output frames at the input's own speed, each starting where the input's time
// says: below tempo 1 they overlap in the input, and a frame first sounds in the earliest that
// reaches it, early by (1 - tempo)^2 S to (1 - tempo) S; above it a frame sounds once, or at the
// start of the next sequence when it falls between two, late by up to (tempo - 1) S. On average
// that is (tempo - 1) x S / 2 x max(1, 2 - tempo). Its rate stage adds nothing once the processor
// was cleared after its channel count was set (see the pitch shift's StartRun).
double SoundTouchDelay(const soundtouch::SoundTouch& processor, double tempo);

}  // namespace corvane
