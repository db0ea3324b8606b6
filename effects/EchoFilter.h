// The echo effect: adds delayed, scaled copies (reflections) of the stream to it, on the whole
// 16-bit block in integer arithmetic with Q8 gains (256 = unity). Each reflection delays the audio
// through a host buffering object primed with silence of its delay.
//
// Keys: "ReflectionsNumber" (integer); per reflection i from 0 "AudioOffset%i" (ms; a reflection
// only above 0.1), "dBVolumeLevel%i" (dB) or else "VolumeLevel%i" (a factor), unity without them.
#pragma once

#include "platform/win32.h"

#include "effects/common/ParamRead.h"
#include "effects/common/WholeBlock.h"

#include <cstdint>
#include <memory>
#include <vector>

class CEchoFilter : public CWholeBlockFilter {
public:
    // One reflection: its delay, its gain and its delay queue, with the delayed block of the read
    // under way.
    struct Reflection {
        Reflection() = default;
        ~Reflection();
        Reflection(const Reflection&) = delete;
        Reflection& operator=(const Reflection&) = delete;

        // Releases the delayed block of the last read.
        void DropDelayed();

        double offset = 0.0;            // ms, above 0.1
        int32_t gain = 256;             // Q8
        IAudioData* delayed = nullptr;  // the delayed block of the current read (owned), or NULL
        const int16_t* delayedSamples = nullptr;  // its samples
        LONG delayedCount = 0;                    // how many
        IAudioHelper* queue = nullptr;            // the delay queue (owned)
        HRESULT queueResult = S_OK;               // outcome of making the queue
    };

    // The keys of reflection i: "AudioOffset%i", "dBVolumeLevel%i" else "VolumeLevel%i".
    struct ReflectionKeys {
        double offset = ParamSpec::kNone;  // ms
        double factor = 1.0;
    };

    using CWholeBlockFilter::CWholeBlockFilter;
    ~CEchoFilter() override;

    // "ReflectionsNumber", and the numbered keys of each reflection.
    static const ParamTable<CEchoFilter>& Params();
    static const ParamTable<ReflectionKeys>& ReflectionParams();

    HRESULT ResetParams() override;
    // Throws E_OUTOFMEMORY when a key name cannot be allocated.
    HRESULT LoadParams() override;
    HRESULT ResetStream() override;
    // A new stream (source, format or track): the queues are primed again at its first block.
    HRESULT BuildChannelFilters() override;
    HRESULT OnBeforeRead() override;
    // Primes every queue with silence of its delay at the first block after construction, a seek,
    // a new source, format or track.
    HRESULT OnBlockFormat() override;
    void ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count, LONG last,
                      IAudioData** out) override;

    // The Q8 gain of a factor: (trunc(floor(v x 65536 + 0.5)) + 128) >> 8, held at the int32
    // range.
    static int32_t GainOf(double factor);
    // Reflections read at the most: their Q8 sums stay far inside 64 bits.
    static constexpr LONG kMaxReflections = 65536;

    // The reflections as loaded (for the tests, which may put a queue of their own in).
    const std::vector<std::unique_ptr<Reflection>>& Reflections() const { return m_reflections; }

private:
    void DropReflections();
    // The queue of r, emptied and primed with silence of its delay.
    HRESULT Prime(Reflection& r);
    // Appends a copy of the block's bytes to r's queue and takes back a block of the same
    // duration, the delayed audio.
    HRESULT Delay(Reflection& r, const int16_t* samples, LONG count);
    // y = clamp(floor((256 x + sum of g d + 128) / 256)) over n samples in place; each reflection
    // adds the samples it holds, a shorter delayed block counting as zeros past its end.
    void Mix(int16_t* x, LONG n);

    int32_t m_reflectionCount = 0;  // "ReflectionsNumber"
    std::vector<std::unique_ptr<Reflection>> m_reflections;
    bool m_primeDue = true;         // the next block primes the queues
    HRESULT m_primeFailure = S_OK;  // why the queues could not be primed
    std::vector<int64_t> m_sums;    // the mix's accumulators, kept between blocks
};
