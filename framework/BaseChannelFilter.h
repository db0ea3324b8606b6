// Per-channel worker base of the effect engines: owns the double input and output blocks of one
// channel (or of the whole interleaved block), the restart flag, the edge cross-fader and the two
// sample queues of the strength mix.
#pragma once

#include "platform/win32.h"

#include "framework/CSmooth.h"

#include <vector>

class CBaseFilter;

class CBaseChannelFilter {
public:
    // Samples each buffer reports after construction; the storage holds kSpareSamples more.
    static constexpr int kInitialCapacity = 44100;
    static constexpr int kSpareSamples = 1024;

    // owner: the engine that creates and deletes this filter (not owned; outlives the filter).
    // Throws the arithmetic-overflow HRESULT when the initial byte count does not fit 32 bits.
    explicit CBaseChannelFilter(const CBaseFilter* owner);
    virtual ~CBaseChannelFilter();
    CBaseChannelFilter(const CBaseChannelFilter&) = delete;
    CBaseChannelFilter& operator=(const CBaseChannelFilter&) = delete;

    // Brings the effect state to its start; called once after creation, before LoadChannelParams.
    [[nodiscard]] virtual HRESULT ResetChannel();
    // Reads the effect's keys through the owner's parameter getters (index -1).
    [[nodiscard]] virtual HRESULT LoadChannelParams();
    // Grows input and output to hold at least n samples (contents kept). Throws std::bad_alloc
    // when memory runs out, the arithmetic-overflow HRESULT when n + 1024 doubles exceed 32 bits.
    virtual bool EnsureBuffers(int n);
    // The output half of EnsureBuffers.
    virtual bool EnsureOutputBuffer(int n);
    // Processes m_pIn[0 .. n-1] into m_pOut from index 0 and returns the number of output
    // samples (at most m_outCapacity; grow with EnsureOutputBuffer first). last is non-zero for
    // the block that reaches the end of the effect interval or of the stream.
    virtual int ProcessChannel(int n, int last);
    // False for a filter whose output never depends on its input (silence): the block loop then
    // fills m_pIn only where the strength mix or an edge cross-fade reads it.
    virtual bool UsesInput() const { return true; }
    // Look-ahead: how many frames of the input that follows the effect interval this filter wants
    // to see when the interval ends (0, the default: none). A filter that holds samples back
    // (frames, sequences) can then finish its last ones on the audio that really follows instead
    // of on padding. Asked at every block that ends the interval; the answer may change between
    // streams. See m_pLookAhead.
    virtual int LookAheadFrames() const { return 0; }

    // Reads the whole stream from its start. With *buffer null a zero-filled block of the
    // stream's size is allocated from the process heap (the caller frees it with HeapFree);
    // with *buffer set, `capacity` is its size in bytes and a larger stream fails with E_FAIL
    // before anything is written. E_FAIL for a short read (an allocated block is then freed and
    // *buffer is null again), E_POINTER for a null stream or buffer pointer, the stream's own
    // failure when it cannot tell its size (nothing allocated).
    [[nodiscard]] static HRESULT ReadStreamToBuffer(IStream* stream, void** buffer,
                                                    UINT64 capacity = 0);
    // The stream's size in bytes (0 when it cannot tell).
    static UINT64 GetStreamSize(IStream* stream);

    // The next block is the first after a restart: the edge cross-fade keeps its head again, and
    // the effect starts over. Engines set it from their reset and seek hooks.
    void Restart() { m_bRestart = true; }
    // Samples held in the strength mix's queues; ClearQueues empties both (storage and count).
    UINT PendingCount() const { return m_pendingCount; }
    void ClearQueues();

protected:
    // The state that derived channel filters work on: the blocks, the owner, the restart flag and
    // the edge cross-fader.
    const CBaseFilter* m_pOwner;               // the engine; not owned
    bool m_bRestart = true;                    // the next block is the first after a restart
    CSmooth m_smooth;                          // edge cross-fader
    int32_t m_inCapacity = kInitialCapacity;   // samples the input block can hold
    double* m_pIn = nullptr;                   // input block (inside m_inStore)
    int32_t m_outCapacity = kInitialCapacity;  // samples the output block can hold
    double* m_pOut = nullptr;                  // output block (inside m_outStore)

    // Valid only during ProcessChannel(n, last != 0), null and 0 otherwise. The input that follows
    // the effect interval, up to LookAheadFrames() frames of it, de-interleaved and scaled as
    // m_pIn (one channel, or frames x channels values for a filter over the interleaved block):
    // m_lookAheadCount values at m_pLookAhead (owned by this filter). Fewer, down to none, where
    // the stream ends sooner. These frames are no part of the interval: the engine reads them
    // ahead and still hands them downstream unprocessed with the reads that follow. Only the
    // buffered read path reads ahead; the direct path gives none.
    const double* m_pLookAhead = nullptr;
    int m_lookAheadCount = 0;
    // Valid only during ProcessChannel(n, last != 0), false otherwise: the stream itself ends
    // after the look-ahead (without look-ahead: with the interval), so no input follows. This is
    // the stream's true end, also where its source ran dry before the duration it announced.
    bool m_bStreamEnds = false;

    // The strength mix's queues, which the engine's block loop keeps: append n samples, drop k
    // from the front.
    void AppendPending(const double* samples, UINT n);
    void AppendProcessed(const double* samples, UINT n);
    void DropPending(UINT k);
    void DropProcessed(UINT k);

    std::vector<double> m_inStore;    // storage of the input block (m_inCapacity + 1024 doubles)
    std::vector<double> m_outStore;   // storage of the output block
    std::vector<double> m_pending;    // unprocessed samples not yet paired with output
    UINT m_pendingCount = 0;          // samples held in m_pending
    std::vector<double> m_processed;  // processed samples not yet paired with input
    UINT m_processedCount = 0;        // samples held in m_processed
    std::vector<double> m_lookAheadStore;  // storage of m_pLookAhead

private:
    // The engine's block loop fills the input, runs the fades and the strength mix and reads the
    // output.
    friend class CBaseFilter;

    static void Grow(std::vector<double>& store, int n);
};
