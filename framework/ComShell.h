// The COM class of every effect: one template over the class table. The shell owns one object
// lock and embeds the effect engine; each interface call becomes an engine operation under the
// lock, a forward to the upstream media source under the lock, or a fixed answer.
//
// Traits describe one row of the class table:
//   using Engine = C<Name>Filter;      a CBaseFilter whose static EngineTraits kTraits state how it
//                                      reads and processes; constructed as
//                                      Engine(clsid, iid, usesHelper, perChannel)
//   using Interface = I<Name>Filter5;  the class interface
//   static const CLSID& Clsid();       the class's CLSID
//   static constexpr int kScriptId;    registration script of the class
#pragma once

#include "platform/win32.h"

#include "corvane/corvane.h"
#include "framework/BaseFilter.h"
#include "framework/error_support.h"
#include "platform/exceptions.h"
#include "framework/module_lock.h"

#include <new>

namespace corvane {

// A recursive Win32 critical section with spin count 0, alive as long as its owner.
class ShellLock {
public:
    // Throws the HRESULT of the thread's last Win32 error when the section cannot be set up.
    ShellLock() {
        if (!InitializeCriticalSectionAndSpinCount(&m_section, 0)) {
            const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
            ThrowHr(FAILED(hr) ? hr : E_FAIL);
        }
    }
    ~ShellLock() { DeleteCriticalSection(&m_section); }
    ShellLock(const ShellLock&) = delete;
    ShellLock& operator=(const ShellLock&) = delete;

    void Enter() noexcept { EnterCriticalSection(&m_section); }
    void Leave() noexcept { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

// Holds a ShellLock for one scope, so that every return path and every exception leaves it.
class ShellLockHolder {
public:
    explicit ShellLockHolder(ShellLock& lock) noexcept : m_lock(lock) { m_lock.Enter(); }
    ~ShellLockHolder() { m_lock.Leave(); }
    ShellLockHolder(const ShellLockHolder&) = delete;
    ShellLockHolder& operator=(const ShellLockHolder&) = delete;

private:
    ShellLock& m_lock;
};

}  // namespace corvane

// clang-format off
// How the shell answers each IMediaSource method: FORWARD to the same method of the upstream
// source under the lock (generated below from the method list), or OWN (written out in the class:
// engine operations, fixed answers and forwards with extra steps). A method missing here fails to
// compile; an OWN method not written out leaves the class abstract.
#define CORVANE_SHELL_ROUTE_SendCommandEx OWN
#define CORVANE_SHELL_ROUTE_get_videoTracksCount FORWARD
#define CORVANE_SHELL_ROUTE_put_videoTracksCount FORWARD
#define CORVANE_SHELL_ROUTE_get_audioTracksCount FORWARD
#define CORVANE_SHELL_ROUTE_put_audioTracksCount FORWARD
#define CORVANE_SHELL_ROUTE_get_dataTracksCount FORWARD
#define CORVANE_SHELL_ROUTE_put_dataTracksCount FORWARD
#define CORVANE_SHELL_ROUTE_get_videoTrack FORWARD
#define CORVANE_SHELL_ROUTE_put_videoTrack FORWARD
#define CORVANE_SHELL_ROUTE_get_audioTrack FORWARD
#define CORVANE_SHELL_ROUTE_put_audioTrack OWN
#define CORVANE_SHELL_ROUTE_get_dataTrack FORWARD
#define CORVANE_SHELL_ROUTE_put_dataTrack FORWARD
#define CORVANE_SHELL_ROUTE_get_videoStream OWN
#define CORVANE_SHELL_ROUTE_get_audioStream OWN
#define CORVANE_SHELL_ROUTE_get_dataStream OWN
#define CORVANE_SHELL_ROUTE_ResetBuffers OWN
#define CORVANE_SHELL_ROUTE_get_IsSeekable FORWARD
#define CORVANE_SHELL_ROUTE_SeekVideo FORWARD
#define CORVANE_SHELL_ROUTE_SeekAudio OWN
#define CORVANE_SHELL_ROUTE_SeekData FORWARD
#define CORVANE_SHELL_ROUTE_SkipVideo FORWARD
#define CORVANE_SHELL_ROUTE_SkipAudio OWN
#define CORVANE_SHELL_ROUTE_SkipData FORWARD
#define CORVANE_SHELL_ROUTE_ReadVideo OWN
#define CORVANE_SHELL_ROUTE_ReadAudio OWN
#define CORVANE_SHELL_ROUTE_ReadData OWN
#define CORVANE_SHELL_ROUTE_get_videoDuration FORWARD
#define CORVANE_SHELL_ROUTE_get_audioDuration OWN
#define CORVANE_SHELL_ROUTE_get_dataDuration FORWARD
#define CORVANE_SHELL_ROUTE_get_videoTime FORWARD
#define CORVANE_SHELL_ROUTE_get_audioTime OWN
#define CORVANE_SHELL_ROUTE_get_dataTime FORWARD
#define CORVANE_SHELL_ROUTE_get_videoFormat FORWARD
#define CORVANE_SHELL_ROUTE_put_videoFormat FORWARD
#define CORVANE_SHELL_ROUTE_get_audioFormat FORWARD
#define CORVANE_SHELL_ROUTE_put_audioFormat OWN
#define CORVANE_SHELL_ROUTE_get_dataFormat FORWARD
#define CORVANE_SHELL_ROUTE_put_dataFormat FORWARD
#define CORVANE_SHELL_ROUTE_get_videoTransform FORWARD
#define CORVANE_SHELL_ROUTE_get_audioTransform FORWARD
#define CORVANE_SHELL_ROUTE_get_dataTransform FORWARD
#define CORVANE_SHELL_ROUTE_SetParam FORWARD
#define CORVANE_SHELL_ROUTE_GetParam FORWARD

#define CORVANE_SHELL_FORWARD(name, params, args) \
    STDMETHODIMP name params override { return this->template Forward<&IMediaSource::name> args; }
#define CORVANE_SHELL_OWN(name, params, args)
#define CORVANE_SHELL_PASTE_ROUTE(route, name, params, args) CORVANE_SHELL_##route(name, params, args)
#define CORVANE_SHELL_EXPAND_ROUTE(route, name, params, args) \
    CORVANE_SHELL_PASTE_ROUTE(route, name, params, args)
#define CORVANE_SHELL_METHOD(name, params, args) \
    CORVANE_SHELL_EXPAND_ROUTE(CORVANE_SHELL_ROUTE_##name, name, params, args)
// clang-format on

namespace corvane {

// The COM class of one effect. Created only through CreateInstance; the last Release of its
// controlling unknown destroys it. Not copyable.
template <class Traits>
class CEffectFilter5 final
    : public CTamrixErrorSupport<CEffectFilter5<Traits>, typename Traits::Interface>,
      public IMediaSource,
      public IMediaBaseFilter,
      public Traits::Interface {
public:
    using Engine = typename Traits::Engine;
    using ClassInterface = typename Traits::Interface;
    static constexpr int kScriptId = Traits::kScriptId;
    static constexpr EngineTraits kEngineTraits = Engine::kTraits;

    static const CLSID& GetObjectCLSID() { return Traits::Clsid(); }

    // The class factory's creation: E_POINTER for a NULL ppv (otherwise *ppv is NULL first);
    // CLASS_E_NOAGGREGATION for an outer object with riid other than IUnknown; E_OUTOFMEMORY when
    // the object cannot be allocated or its construction throws; E_NOINTERFACE for an interface
    // the class lacks. With an outer object, *ppv receives the inner IUnknown that controls the
    // object's lifetime. A failed creation leaves no object and no module lock behind.
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        CEffectFilter5* object = nullptr;
        if (FAILED(CallGuarded([&] { object = new CEffectFilter5(outer); }))) return E_OUTOFMEMORY;
        // The creation reference keeps the object alive through final construction and the query;
        // dropping it destroys the object when the query failed.
        object->InnerAddRef();
        object->FinalConstruct();
        const HRESULT hr = object->InnerQueryInterface(riid, ppv);
        object->InnerRelease();
        return hr;
    }

    // The embedded engine, for the tests that look into it (not a COM surface; the shell itself
    // reaches it only as an EffectEngine).
    Engine& GetEngine() noexcept { return m_engine; }

    // ---- IUnknown of the three interfaces: delegated to the outer object when aggregated ----
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return m_pOuter ? m_pOuter->QueryInterface(riid, ppv) : InnerQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_pOuter ? m_pOuter->AddRef() : InnerAddRef(); }
    STDMETHODIMP_(ULONG) Release() override {
        return m_pOuter ? m_pOuter->Release() : InnerRelease();
    }

    // ---- IMediaSource: the forwarded methods, generated ----
    CORVANE_IMEDIASOURCE_METHODS(CORVANE_SHELL_METHOD)

    // ---- IMediaSource: the methods with answers of their own ----
    // Clears its out-parameter, then forwards. Without an upstream source the command reaches
    // nobody, which is answered as every other forwarded call answers it, not as a success.
    STDMETHODIMP SendCommandEx(ULONGLONG lCommand, IUnknown* pCmdParams,
                               IUnknown** pOutInfo) override {
        if (pOutInfo != nullptr) *pOutInfo = nullptr;
        return Forward<&IMediaSource::SendCommandEx>(lCommand, pCmdParams, pOutInfo);
    }
    // The stream getters have nothing to give and take no lock. They answer S_OK with NULL, so
    // that a caller never releases whatever its variable held before.
    STDMETHODIMP get_videoStream(LONG, LONG, IUnknown** ppStream) override {
        return NoStream(ppStream);
    }
    STDMETHODIMP get_audioStream(LONG, LONG, IUnknown** ppStream) override {
        return NoStream(ppStream);
    }
    STDMETHODIMP get_dataStream(LONG, LONG, IUnknown** ppStream) override {
        return NoStream(ppStream);
    }
    // Forwarded only with kResetBuffersForward; the upstream's answer counts only with
    // kResetBuffersUpstreamResult as well. A missing upstream source is no error here.
    STDMETHODIMP ResetBuffers(LONG Stream, LONG Flags) override {
        ShellLockHolder hold(m_lock);
        HRESULT result = S_OK;
        IMediaSource* upstream = Core().Upstream();
        if ((Flags & kResetBuffersForward) != 0 && upstream != nullptr) {
            const HRESULT hr = upstream->ResetBuffers(Stream, Flags);
            if ((Flags & kResetBuffersUpstreamResult) != 0) result = hr;
        }
        return result;
    }
    // ReadVideo and ReadData clear their out-parameter before anything else, so that a caller
    // never keeps a stale pointer; a NULL out-parameter is refused rather than written through.
    STDMETHODIMP ReadVideo(LONG Stream, LONG Flags, IUnknown** pVideoData) override {
        if (pVideoData == nullptr) return E_POINTER;
        *pVideoData = nullptr;
        return Forward<&IMediaSource::ReadVideo>(Stream, Flags, pVideoData);
    }
    STDMETHODIMP ReadData(LONG Stream, LONG Flags, IUnknown** pDataData) override {
        if (pDataData == nullptr) return E_POINTER;
        *pDataData = nullptr;
        return Forward<&IMediaSource::ReadData>(Stream, Flags, pDataData);
    }
    STDMETHODIMP put_audioTrack(LONG newVal) override {
        return Locked([&] { return Core().PutAudioTrack(newVal); });
    }
    STDMETHODIMP SeekAudio(LONG Stream, LONG Flags, double Time) override {
        return Locked([&] { return Core().SeekAudio(Stream, Flags, Time); });
    }
    STDMETHODIMP SkipAudio(LONG Stream, LONG Flags, double Duration) override {
        return Locked([&] { return Core().SkipAudio(Stream, Flags, Duration); });
    }
    STDMETHODIMP ReadAudio(LONG Stream, LONG Flags, double Duration,
                           IUnknown** pAudioData) override {
        return Locked([&] { return Core().ReadAudio(Stream, Flags, Duration, pAudioData); });
    }
    STDMETHODIMP get_audioDuration(LONG Stream, double* pVal) override {
        return Locked([&] { return Core().GetAudioDuration(Stream, pVal); });
    }
    STDMETHODIMP get_audioTime(LONG Stream, double* pVal) override {
        return Locked([&] { return Core().GetAudioTime(Stream, pVal); });
    }
    STDMETHODIMP put_audioFormat(LONG Stream, IUnknown* newVal) override {
        return Locked([&] { return Core().PutAudioFormat(Stream, newVal); });
    }

    // ---- IMediaBaseFilter (SetParam and GetParam are the forwarded IMediaSource methods; the
    // MediaSource property also implements IVolumeFilter5's) ----
    STDMETHODIMP InitFilter(IUnknown* pParams) override {
        return Locked([&] { return Core().InitFilter(pParams); });
    }
    STDMETHODIMP get_EffectEnabled(VARIANT_BOOL* bEnabled) override {
        return Locked([&] { return Core().GetEffectEnabled(bEnabled); });
    }
    STDMETHODIMP put_EffectEnabled(VARIANT_BOOL newVal) override {
        return Locked([&] { return Core().PutEffectEnabled(newVal); });
    }
    STDMETHODIMP get_MediaSource(IUnknown** pMediaSource) override {
        return Locked([&] { return Core().GetMediaSource(pMediaSource); });
    }
    STDMETHODIMP put_MediaSource(IUnknown* newVal) override {
        return Locked([&] { return Core().PutMediaSource(newVal); });
    }
    STDMETHODIMP GetBaseMediaSource(IUnknown** pMediaSource) override {
        return Locked([&] { return Core().GetBaseMediaSource(pMediaSource); });
    }
    STDMETHODIMP get_EffectParams(IUnknown** pParams) override {
        return Locked([&] { return Core().GetEffectParams(pParams); });
    }
    STDMETHODIMP put_EffectParams(IUnknown* newVal) override {
        return Locked([&] { return Core().PutEffectParams(newVal); });
    }
    STDMETHODIMP get_EffectZones(IUnknown** pZones) override {
        return Locked([&] { return Core().GetEffectZones(pZones); });
    }
    STDMETHODIMP put_EffectZones(IUnknown* newVal) override {
        return Locked([&] { return Core().PutEffectZones(newVal); });
    }

private:
    // The object's own IUnknown: the one that counts references. Unaggregated, the interfaces
    // call it directly; aggregated, only the outer object holds it.
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(CEffectFilter5* owner) : m_owner(owner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            return m_owner->InnerQueryInterface(riid, ppv);
        }
        STDMETHODIMP_(ULONG) AddRef() override { return m_owner->InnerAddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return m_owner->InnerRelease(); }

    private:
        CEffectFilter5* m_owner;
    };

    // outer: the controlling unknown of an aggregate (not referenced: it owns this object), or
    // NULL. Takes the object's module lock once construction has succeeded.
    explicit CEffectFilter5(IUnknown* outer)
        : m_pOuter(outer),
          m_inner(this),
          m_engine(Traits::Clsid(), IidOf<ClassInterface>(), kEngineTraits.usesHelper ? 1 : 0,
                   kEngineTraits.perChannel ? 1 : 0) {
        Core().SetIdentity(static_cast<IMediaSource*>(this));
        LockModule();
    }
    // Gives back the object's module lock; then the engine goes (releasing what it holds) and,
    // after it, the object lock.
    ~CEffectFilter5() { UnlockModule(); }
    CEffectFilter5(const CEffectFilter5&) = delete;
    CEffectFilter5& operator=(const CEffectFilter5&) = delete;

    // Engine flags of the class, then the engine's parameter defaults. Always succeeds.
    void FinalConstruct() noexcept {
        Core().SetOutputTraits(kEngineTraits.lengthChanges, kEngineTraits.followsRate);
        CallGuarded([&] { return Core().ResetParams(); });
    }

    HRESULT InnerQueryInterface(REFIID riid, void** ppv) noexcept {
        if (ppv == nullptr) return E_POINTER;
        IUnknown* found = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            found = m_pOuter ? static_cast<IUnknown*>(&m_inner) : static_cast<IMediaSource*>(this);
        } else if (IsEqualIID(riid, IID_IMediaSource)) {
            found = static_cast<IMediaSource*>(this);
        } else if (IsEqualIID(riid, IID_IMediaBaseFilter)) {
            found = static_cast<IMediaBaseFilter*>(this);
        } else if (IsEqualIID(riid, IidOf<ClassInterface>())) {
            found = static_cast<ClassInterface*>(this);
        }
        *ppv = found;
        if (found == nullptr) return E_NOINTERFACE;
        found->AddRef();
        return S_OK;
    }
    ULONG InnerAddRef() noexcept { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG InnerRelease() noexcept {
        const LONG n = InterlockedDecrement(&m_refs);
        if (n == 0) {
            // The extra module lock covers the whole deletion, so that the module cannot be
            // reported unloadable while its code still runs.
            LockModule();
            delete this;
            UnlockModule();
        }
        return static_cast<ULONG>(n);
    }

    // Runs an engine operation under the lock; an exception out of it becomes its HRESULT.
    template <class F>
    HRESULT Locked(F&& operation) noexcept {
        ShellLockHolder hold(m_lock);
        return CallGuarded(operation);
    }

    // The same method of the upstream source with the arguments as received, under the lock; its
    // HRESULT unchanged. Without an upstream source: internal code 8 with error information.
    template <auto Method, class... Args>
    HRESULT Forward(Args... args) {
        ShellLockHolder hold(m_lock);
        IMediaSource* upstream = Core().Upstream();
        if (upstream == nullptr) return this->Error(kInvalidArgument);
        return (upstream->*Method)(args...);
    }

    static HRESULT NoStream(IUnknown** ppStream) noexcept {
        if (ppStream != nullptr) *ppStream = nullptr;
        return S_OK;
    }

    // The engine as the shell may use it.
    EffectEngine& Core() noexcept { return m_engine; }

    LONG volatile m_refs = 0;
    IUnknown* m_pOuter;    // controlling unknown when aggregated; not owned
    InnerUnknown m_inner;  // this object's own IUnknown
    ShellLock m_lock;      // the object lock: every locking method holds it for the whole call
    Engine m_engine;       // the effect engine
};

}  // namespace corvane
