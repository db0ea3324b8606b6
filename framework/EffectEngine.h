// What the COM shell of an effect needs of the engine it embeds, and nothing more: the operations
// its interface methods run under the object lock, the upstream source its forwarded methods go
// to, and the class traits and parameter defaults of final construction. The engine's own state
// stays between the engine, the effect and its channel filters.
#pragma once

#include "platform/win32.h"

#include "corvane/corvane.h"

namespace corvane {

class EffectEngine {
public:
    // The upstream media source (borrowed), or NULL when none is set.
    virtual IMediaSource* Upstream() const = 0;
    // The object that embeds the engine (any of its interfaces; borrowed, it outlives the engine),
    // so that the engine can refuse a chain of sources that leads back to it.
    virtual void SetIdentity(IUnknown* self) = 0;
    // Final construction: the class's traits that the constructor does not take.
    virtual void SetOutputTraits(bool lengthChanges, bool followsRate) = 0;
    [[nodiscard]] virtual HRESULT ResetParams() = 0;

    // IMediaSource operations that the effect changes.
    [[nodiscard]] virtual HRESULT ReadAudio(LONG Stream, LONG Flags, double Duration,
                                            IUnknown** ppAudioData) = 0;
    [[nodiscard]] virtual HRESULT SeekAudio(LONG Stream, LONG Flags, double Time) = 0;
    [[nodiscard]] virtual HRESULT SkipAudio(LONG Stream, LONG Flags, double Duration) = 0;
    [[nodiscard]] virtual HRESULT GetAudioDuration(LONG Stream, double* pVal) = 0;
    [[nodiscard]] virtual HRESULT GetAudioTime(LONG Stream, double* pVal) = 0;
    [[nodiscard]] virtual HRESULT PutAudioFormat(LONG Stream, IUnknown* format) = 0;
    [[nodiscard]] virtual HRESULT PutAudioTrack(LONG track) = 0;

    // IMediaBaseFilter.
    [[nodiscard]] virtual HRESULT InitFilter(IUnknown* pParams) = 0;
    [[nodiscard]] virtual HRESULT GetEffectEnabled(VARIANT_BOOL* pVal) const = 0;
    [[nodiscard]] virtual HRESULT PutEffectEnabled(VARIANT_BOOL v) = 0;
    [[nodiscard]] virtual HRESULT GetMediaSource(IUnknown** pp) const = 0;
    [[nodiscard]] virtual HRESULT PutMediaSource(IUnknown* s) = 0;
    [[nodiscard]] virtual HRESULT GetBaseMediaSource(IUnknown** pp) const = 0;
    [[nodiscard]] virtual HRESULT GetEffectParams(IUnknown** pp) const = 0;
    [[nodiscard]] virtual HRESULT PutEffectParams(IUnknown* p) = 0;
    [[nodiscard]] virtual HRESULT GetEffectZones(IUnknown** pp) const = 0;
    [[nodiscard]] virtual HRESULT PutEffectZones(IUnknown* z) = 0;

protected:
    // Engines are destroyed as what they are, never through this view.
    ~EffectEngine() = default;
};

}  // namespace corvane
