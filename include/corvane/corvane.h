// corvane's public COM surface: the media-source and filter interfaces that every effect class
// implements, the seventeen class interfaces, the interfaces of the host media runtime that the
// effects call, and every CLSID, IID and the LIBID.
//
// Layout rules. Every interface derives from IUnknown, so slots 0 to 2 are QueryInterface, AddRef
// and Release; the comment before a method gives its vtable slot. Slots that the effects do not
// use are held by `ReservedN` placeholders so that every used method sits at its fixed slot; an
// implementation answers E_NOTIMPL there. Never insert, remove or reorder a method: callers on the
// other side of a COM boundary reach methods by slot only.
//
// Conventions: times and durations are milliseconds (double); lengths, offsets and sizes are bytes
// unless the name says otherwise; out-parameters that receive interfaces hand the caller one
// reference, which the caller releases; BSTR in-parameters are owned by the caller; a BSTR
// out-parameter is owned by the caller afterwards (SysFreeString).
#pragma once

#include "platform/win32.h"
#include "platform/iid_of.h"

#include "corvane/guids.def"

#if !defined(_WIN32)
// Declared by the platform's storage header when it is used; only pointers appear here.
struct IStream;
#endif

// ---------------------------------------------------------------------------------------------
// Wave format record, as Windows declares it (packed, 18 bytes).
#ifndef _WAVEFORMATEX_
#define _WAVEFORMATEX_
#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    WORD wFormatTag;       // 1 = PCM
    WORD nChannels;        // interleaved channels
    DWORD nSamplesPerSec;  // frames per second
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;  // bytes per frame
    WORD wBitsPerSample;
    WORD cbSize;  // bytes of format-specific data that follow the record
} WAVEFORMATEX, *PWAVEFORMATEX, *LPWAVEFORMATEX;
#pragma pack(pop)
#endif
#ifndef WAVE_FORMAT_PCM
#define WAVE_FORMAT_PCM 1
#endif

namespace corvane {

// Largest number of bytes that IAudioFormat::GetWaveFormat writes: the WAVEFORMATEX fields and the
// cbSize bytes after them together never exceed this; callers provide a zeroed record this large.
constexpr size_t kWaveFormatRecordSize = 180;

// IAudioFormat sample format code of interleaved signed 16-bit PCM.
constexpr LONG kSampleFormatPcm16 = 0x10000;

// IMediaSource::ResetBuffers flags: forward the reset upstream; return the upstream's result.
constexpr LONG kResetBuffersForward = 0x10000;
constexpr LONG kResetBuffersUpstreamResult = 0x20000;

// IAudioData::GetBuffer access modes.
constexpr LONG kBufferRead = 1;
constexpr LONG kBufferWrite = 2;
constexpr LONG kBufferReadWrite = 3;

// Two failures that the effects report with error information (message "File access error." and
// "Audio format unsupported."), whose causes lie outside the effect: a file it could not read or
// write (its temporary files, an input it must reposition), and a format it cannot work in.
constexpr HRESULT kHrFileAccessError = static_cast<HRESULT>(0x80040303u);
constexpr HRESULT kHrAudioFormatUnsupported = static_cast<HRESULT>(0x80040306u);

namespace detail {

constexpr uint32_t GuidHexDigit(char c) {
    return (c >= '0' && c <= '9')   ? uint32_t(c - '0')
           : (c >= 'A' && c <= 'F') ? uint32_t(c - 'A' + 10)
           : (c >= 'a' && c <= 'f') ? uint32_t(c - 'a' + 10)
                                    : throw "GUID text holds a character that is not hexadecimal";
}

constexpr uint32_t GuidHex(const char* s, int digits) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) v = (v << 4) | GuidHexDigit(s[i]);
    return v;
}

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" to a GUID, at compile time: a malformed text is a
// compile error wherever the result initialises a constexpr variable.
template <size_t N>
constexpr GUID GuidFromText(const char (&s)[N]) {
    static_assert(N == 37, "GUID text must have 36 characters");
    if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
        throw "GUID text misses a hyphen";
    GUID g{};
    g.Data1 = GuidHex(s, 8);
    g.Data2 = static_cast<uint16_t>(GuidHex(s + 9, 4));
    g.Data3 = static_cast<uint16_t>(GuidHex(s + 14, 4));
    g.Data4[0] = static_cast<uint8_t>(GuidHex(s + 19, 2));
    g.Data4[1] = static_cast<uint8_t>(GuidHex(s + 21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<uint8_t>(GuidHex(s + 24 + 2 * i, 2));
    return g;
}

}  // namespace detail
}  // namespace corvane

// ---------------------------------------------------------------------------------------------
// clang-format off
// Method lists of the type-library interfaces: M(name, (parameters), (argument names)). The
// declarations below, the type library's method tables and the effects' forwarding code are all
// expanded from these lists. The order is the vtable order (first entry at slot 3).

// IMediaSource: 44 methods, slots 3 to 46.
#define CORVANE_IMEDIASOURCE_METHODS(M)                                                          \
    /*  3 */ M(SendCommandEx, (ULONGLONG lCommand, IUnknown* pCmdParams, IUnknown** pOutInfo),   \
             (lCommand, pCmdParams, pOutInfo))                                                   \
    /*  4 */ M(get_videoTracksCount, (LONG* pVal), (pVal))                                       \
    /*  5 */ M(put_videoTracksCount, (LONG newVal), (newVal))                                    \
    /*  6 */ M(get_audioTracksCount, (LONG* pVal), (pVal))                                       \
    /*  7 */ M(put_audioTracksCount, (LONG newVal), (newVal))                                    \
    /*  8 */ M(get_dataTracksCount, (LONG* pVal), (pVal))                                        \
    /*  9 */ M(put_dataTracksCount, (LONG newVal), (newVal))                                     \
    /* 10 */ M(get_videoTrack, (LONG* pVal), (pVal))                                             \
    /* 11 */ M(put_videoTrack, (LONG newVal), (newVal))                                          \
    /* 12 */ M(get_audioTrack, (LONG* pVal), (pVal))                                             \
    /* 13 */ M(put_audioTrack, (LONG newVal), (newVal))                                          \
    /* 14 */ M(get_dataTrack, (LONG* pVal), (pVal))                                              \
    /* 15 */ M(put_dataTrack, (LONG newVal), (newVal))                                           \
    /* 16 */ M(get_videoStream, (LONG Mode, LONG Stream, IUnknown** ppStream),                   \
             (Mode, Stream, ppStream))                                                           \
    /* 17 */ M(get_audioStream, (LONG Mode, LONG Stream, IUnknown** ppStream),                   \
             (Mode, Stream, ppStream))                                                           \
    /* 18 */ M(get_dataStream, (LONG Mode, LONG Stream, IUnknown** ppStream),                    \
             (Mode, Stream, ppStream))                                                           \
    /* 19 */ M(ResetBuffers, (LONG Stream, LONG Flags), (Stream, Flags))                         \
    /* 20 */ M(get_IsSeekable, (LONG Stream, LONG Flags, VARIANT_BOOL* Seekable),                \
             (Stream, Flags, Seekable))                                                          \
    /* 21 */ M(SeekVideo, (LONG Stream, LONG Flags, double Time), (Stream, Flags, Time))         \
    /* 22 */ M(SeekAudio, (LONG Stream, LONG Flags, double Time), (Stream, Flags, Time))         \
    /* 23 */ M(SeekData, (LONG Stream, LONG Flags, double Time), (Stream, Flags, Time))          \
    /* 24 */ M(SkipVideo, (LONG Stream, LONG Flags, double Duration), (Stream, Flags, Duration)) \
    /* 25 */ M(SkipAudio, (LONG Stream, LONG Flags, double Duration), (Stream, Flags, Duration)) \
    /* 26 */ M(SkipData, (LONG Stream, LONG Flags, double Duration), (Stream, Flags, Duration))  \
    /* 27 */ M(ReadVideo, (LONG Stream, LONG Flags, IUnknown** pVideoData),                      \
             (Stream, Flags, pVideoData))                                                        \
    /* 28 */ M(ReadAudio, (LONG Stream, LONG Flags, double Duration, IUnknown** pAudioData),     \
             (Stream, Flags, Duration, pAudioData))                                              \
    /* 29 */ M(ReadData, (LONG Stream, LONG Flags, IUnknown** pDataData),                        \
             (Stream, Flags, pDataData))                                                         \
    /* 30 */ M(get_videoDuration, (LONG Stream, double* pVal), (Stream, pVal))                   \
    /* 31 */ M(get_audioDuration, (LONG Stream, double* pVal), (Stream, pVal))                   \
    /* 32 */ M(get_dataDuration, (LONG Stream, double* pVal), (Stream, pVal))                    \
    /* 33 */ M(get_videoTime, (LONG Stream, double* pVal), (Stream, pVal))                       \
    /* 34 */ M(get_audioTime, (LONG Stream, double* pVal), (Stream, pVal))                       \
    /* 35 */ M(get_dataTime, (LONG Stream, double* pVal), (Stream, pVal))                        \
    /* 36 */ M(get_videoFormat, (LONG Stream, IUnknown** pVal), (Stream, pVal))                  \
    /* 37 */ M(put_videoFormat, (LONG Stream, IUnknown* newVal), (Stream, newVal))               \
    /* 38 */ M(get_audioFormat, (LONG Stream, IUnknown** pVal), (Stream, pVal))                  \
    /* 39 */ M(put_audioFormat, (LONG Stream, IUnknown* newVal), (Stream, newVal))               \
    /* 40 */ M(get_dataFormat, (LONG Stream, IUnknown** pVal), (Stream, pVal))                   \
    /* 41 */ M(put_dataFormat, (LONG Stream, IUnknown* newVal), (Stream, newVal))                \
    /* 42 */ M(get_videoTransform, (LONG Stream, IUnknown** pVal), (Stream, pVal))               \
    /* 43 */ M(get_audioTransform, (LONG Stream, IUnknown** pVal), (Stream, pVal))               \
    /* 44 */ M(get_dataTransform, (LONG Stream, IUnknown** pVal), (Stream, pVal))                \
    /* 45 */ M(SetParam, (BSTR ParamName, VARIANT ParamValue), (ParamName, ParamValue))          \
    /* 46 */ M(GetParam, (BSTR ParamName, VARIANT* ParamValue), (ParamName, ParamValue))

// IMediaBaseFilter: 12 methods, slots 3 to 14.
#define CORVANE_IMEDIABASEFILTER_METHODS(M)                                                      \
    /*  3 */ M(InitFilter, (IUnknown* pParams), (pParams))                                       \
    /*  4 */ M(get_EffectEnabled, (VARIANT_BOOL* bEnabled), (bEnabled))                          \
    /*  5 */ M(put_EffectEnabled, (VARIANT_BOOL newVal), (newVal))                               \
    /*  6 */ M(get_MediaSource, (IUnknown** pMediaSource), (pMediaSource))                       \
    /*  7 */ M(put_MediaSource, (IUnknown* newVal), (newVal))                                    \
    /*  8 */ M(GetBaseMediaSource, (IUnknown** pMediaSource), (pMediaSource))                    \
    /*  9 */ M(get_EffectParams, (IUnknown** pParams), (pParams))                                \
    /* 10 */ M(put_EffectParams, (IUnknown* newVal), (newVal))                                   \
    /* 11 */ M(get_EffectZones, (IUnknown** pZones), (pZones))                                   \
    /* 12 */ M(put_EffectZones, (IUnknown* newVal), (newVal))                                    \
    /* 13 */ M(SetParam, (BSTR ParamName, VARIANT ParamValue), (ParamName, ParamValue))          \
    /* 14 */ M(GetParam, (BSTR ParamName, VARIANT* ParamValue), (ParamName, ParamValue))

// IVolumeFilter5: the MediaSource property once more, slots 3 and 4.
#define CORVANE_IVOLUMEFILTER5_METHODS(M)                                                        \
    /*  3 */ M(get_MediaSource, (IUnknown** pMediaSource), (pMediaSource))                       \
    /*  4 */ M(put_MediaSource, (IUnknown* newVal), (newVal))

// The other sixteen class interfaces have no methods of their own.
#define CORVANE_NO_METHODS(M)

#define CORVANE_PURE_METHOD(name, params, args) STDMETHOD(name) params PURE;
// clang-format on

// ---------------------------------------------------------------------------------------------
// The type-library interfaces, declared from the list: IMediaSource, IMediaBaseFilter and the
// seventeen I<Name>Filter5 (IBandFilter5, ..., IVolumeFilter5 with its two methods, ...).
#define CORVANE_DECLARE_INTERFACE(name, guid, help, methods) \
    struct name : public IUnknown {                          \
        methods(CORVANE_PURE_METHOD)                         \
    };
CORVANE_GUIDS(CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE,
              CORVANE_DECLARE_INTERFACE, CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE)
#undef CORVANE_DECLARE_INTERFACE

// ---------------------------------------------------------------------------------------------
// Host media runtime. The effects call these objects; the host program implements them.

struct IAudioFormat;

// A block of interleaved audio with its format, time and duration. IAudioBuffer has exactly this
// layout (the host's audio-buffer class answers both IIDs with the same object).
struct IAudioData : public IUnknown {
    // 3, 4: block flags (start and end marks as set by MarkStart and MarkEnd).
    STDMETHOD(GetFlags)(LONG* pFlags) PURE;
    STDMETHOD(PutFlags)(LONG Flags) PURE;
    // 5: a new block of the same host class; Mode 2 copies format, time and duration, not samples.
    STDMETHOD(CreateBlock)(LONG Mode, IUnknown** ppBlock) PURE;
    // 6: resize to Bytes; Fill -1 makes the whole block silent, 0 keeps the bytes that remain.
    STDMETHOD(SetLength)(LONG Bytes, LONG Fill) PURE;
    // 7, 8: copy Bytes bytes into / out of the block at byte Offset; out-of-range is E_INVALIDARG.
    STDMETHOD(Write)(LONG Offset, const BYTE* pSrc, LONG Bytes) PURE;
    STDMETHOD(Read)(BYTE* pDst, LONG Offset, LONG Bytes) PURE;
    // 9: bytes allocated, at least the length.
    STDMETHOD(GetCapacity)(LONG* pBytes) PURE;
    // 10, 11: the sample bytes (owned by the block, valid while the caller holds it and does not
    // resize it); Access is kBufferRead / kBufferWrite / kBufferReadWrite, Reserved is 0.
    STDMETHOD(GetBuffer)(LONG Access, LONG Reserved, BYTE** ppBuffer) PURE;
    STDMETHOD(GetBufferAndLength)(LONG Access, LONG Reserved, BYTE** ppBuffer, LONG* pLength) PURE;
    STDMETHOD(Reserved12)() PURE;
    STDMETHOD(Reserved13)() PURE;
    // 14: bytes of sample data.
    STDMETHOD(GetLength)(LONG* pBytes) PURE;
    // 15: sets the length without touching the bytes; Bytes must not exceed the capacity.
    STDMETHOD(SetDataLength)(LONG Bytes) PURE;
    // 16: frames in the block (length / block align).
    STDMETHOD(GetFrameCount)(LONG* pFrames) PURE;
    STDMETHOD(Reserved17)() PURE;
    STDMETHOD(Reserved18)() PURE;
    STDMETHOD(Reserved19)() PURE;
    STDMETHOD(Reserved20)() PURE;
    STDMETHOD(Reserved21)() PURE;
    STDMETHOD(Reserved22)() PURE;
    // 23: the block's format; the object answers IAudioFormat.
    STDMETHOD(GetFormat)(IUnknown** ppFormat) PURE;
    // 24: takes a copy of the format's values.
    STDMETHOD(PutFormat)(IAudioFormat* pFormat) PURE;
    STDMETHOD(Reserved25)() PURE;
    // 26, 27: mark the block as the first / last of a stream (Flags -1: all marks).
    STDMETHOD(MarkStart)(LONG Flags) PURE;
    STDMETHOD(MarkEnd)(LONG Flags) PURE;
    // 28, 29
    STDMETHOD(IsStart)(VARIANT_BOOL* pVal) PURE;
    STDMETHOD(IsEnd)(VARIANT_BOOL* pVal) PURE;
    STDMETHOD(Reserved30)() PURE;
    // 31, 32: stream time of the first frame, ms.
    STDMETHOD(GetTime)(double* pTime) PURE;
    STDMETHOD(PutTime)(double Time) PURE;
    STDMETHOD(Reserved33)() PURE;
    STDMETHOD(Reserved34)() PURE;
    STDMETHOD(Reserved35)() PURE;
    STDMETHOD(Reserved36)() PURE;
    // 37, 38: duration, ms.
    STDMETHOD(GetDuration)(double* pDuration) PURE;
    STDMETHOD(PutDuration)(double Duration) PURE;
};

// The host's audio-buffer object: the IAudioData layout under its own IID.
struct IAudioBuffer : public IAudioData {};

// An audio format. Getters answer the values of the wave-format record.
struct IAudioFormat : public IUnknown {
    // 3 to 7
    STDMETHOD(GetSampleFormat)(LONG* pFormat) PURE;
    STDMETHOD(GetChannels)(LONG* pChannels) PURE;
    STDMETHOD(GetSampleRate)(LONG* pRate) PURE;
    STDMETHOD(GetBlockAlign)(LONG* pBytes) PURE;
    STDMETHOD(GetBitsPerSample)(LONG* pBits) PURE;
    // 8: an independent copy.
    STDMETHOD(Clone)(IAudioFormat** ppCopy) PURE;
    // 9: same sample format, channels, rate and layout.
    STDMETHOD(IsEqual)(IAudioFormat* pOther, VARIANT_BOOL* pEqual) PURE;
    STDMETHOD(Reserved10)() PURE;
    STDMETHOD(Reserved11)() PURE;
    STDMETHOD(Reserved12)() PURE;
    STDMETHOD(Reserved13)() PURE;
    STDMETHOD(Reserved14)() PURE;
    STDMETHOD(Reserved15)() PURE;
    STDMETHOD(Reserved16)() PURE;
    STDMETHOD(Reserved17)() PURE;
    STDMETHOD(Reserved18)() PURE;
    // 19: kSampleFormatPcm16 for interleaved signed 16-bit PCM.
    STDMETHOD(PutSampleFormat)(LONG Format) PURE;
    // 20: fills at most kWaveFormatRecordSize bytes at pFormat (the WAVEFORMATEX fields first);
    // Flags 0.
    STDMETHOD(GetWaveFormat)(WAVEFORMATEX* pFormat, LONG Flags) PURE;
    // 21: sets the format from a record (sizeof(WAVEFORMATEX) + cbSize bytes are read); Flags 0.
    STDMETHOD(PutWaveFormat)(const WAVEFORMATEX* pFormat, LONG Flags) PURE;
    // 22, 23: speaker mask of the channels (bit per speaker, Windows' values).
    STDMETHOD(GetChannelLayout)(UINT64* pLayout) PURE;
    STDMETHOD(PutChannelLayout)(UINT64 Layout) PURE;
    STDMETHOD(Reserved24)() PURE;
    // 25
    STDMETHOD(PutChannels)(LONG Channels) PURE;
    STDMETHOD(Reserved26)() PURE;
    // 27: frames per second.
    STDMETHOD(PutSampleRate)(LONG Rate) PURE;
};

// Byte-exact FIFO of audio blocks, used by effects that read through a buffer.
struct IAudioHelper : public IUnknown {
    // 3, 4: the format of the queued audio (taken from the first appended block when not set).
    STDMETHOD(GetFormat)(IUnknown** ppFormat) PURE;
    STDMETHOD(PutFormat)(IAudioFormat* pFormat) PURE;
    // 5, 6: bytes held; blocks held.
    STDMETHOD(GetLength)(LONG* pBytes) PURE;
    STDMETHOD(GetBlockCount)(LONG* pCount) PURE;
    // 7: duration held, ms.
    STDMETHOD(GetDuration)(double* pDuration) PURE;
    STDMETHOD(Reserved8)() PURE;
    STDMETHOD(Reserved9)() PURE;
    STDMETHOD(Reserved10)() PURE;
    // 11: removes Duration ms (whole frames) from the front into a new block (IUnknown, answers
    // IAudioData); *ppBlock NULL and S_FALSE when empty. Flags 0.
    STDMETHOD(TakeAudio)(LONG Flags, double Duration, IUnknown** ppBlock) PURE;
    // 12: appends a copy of the block's bytes. Flags 0.
    STDMETHOD(Append)(LONG Flags, IUnknown* pBlock) PURE;
    // 13: empties the queue. Flags 0.
    STDMETHOD(Reset)(LONG Flags) PURE;
    STDMETHOD(Reserved14)() PURE;
    // 15: as TakeAudio, answering IAudioData directly; none (NULL, S_FALSE) when empty.
    STDMETHOD(TakeBlock)(double Duration, IAudioData** ppBlock) PURE;
};

// Typed effect parameters by key and index (Index -1 is the global value of the key). A failing
// getter leaves its target unchanged; the ...Def getters answer the default when the key is absent.
struct IEffectParams : public IUnknown {
    // 3 to 7: remove everything; remove one key; test a key; enumerate the keys.
    STDMETHOD(Clear)() PURE;
    STDMETHOD(Remove)(BSTR Name) PURE;
    STDMETHOD(Exists)(BSTR Name, LONG Index, VARIANT_BOOL* pExists) PURE;
    STDMETHOD(GetNameCount)(LONG* pCount) PURE;
    STDMETHOD(GetName)(LONG Position, BSTR* pName) PURE;
    STDMETHOD(Reserved8)() PURE;
    STDMETHOD(Reserved9)() PURE;
    STDMETHOD(Reserved10)() PURE;
    STDMETHOD(Reserved11)() PURE;
    STDMETHOD(Reserved12)() PURE;
    STDMETHOD(Reserved13)() PURE;
    // 14: an independent deep copy (Mode 2).
    STDMETHOD(Duplicate)(LONG Mode, IEffectParams** ppCopy) PURE;
    STDMETHOD(Reserved15)() PURE;
    STDMETHOD(Reserved16)() PURE;
    STDMETHOD(Reserved17)() PURE;
    STDMETHOD(Reserved18)() PURE;
    // 19: entries of the list Name.
    STDMETHOD(GetCount)(BSTR Name, LONG* pCount) PURE;
    // 20: appends a deep copy of pEntry to the list Name.
    STDMETHOD(AddZone)(BSTR Name, IEffectParams* pEntry) PURE;
    STDMETHOD(Reserved21)() PURE;
    STDMETHOD(Reserved22)() PURE;
    STDMETHOD(Reserved23)() PURE;
    STDMETHOD(Reserved24)() PURE;
    STDMETHOD(Reserved25)() PURE;
    STDMETHOD(Reserved26)() PURE;
    STDMETHOD(Reserved27)() PURE;
    STDMETHOD(Reserved28)() PURE;
    STDMETHOD(Reserved29)() PURE;
    // 30 to 33: setters.
    STDMETHOD(SetBool)(BSTR Name, LONG Index, VARIANT_BOOL Value) PURE;
    STDMETHOD(SetLong)(BSTR Name, LONG Index, LONG Value) PURE;
    STDMETHOD(SetULong)(BSTR Name, LONG Index, ULONG Value) PURE;
    STDMETHOD(SetDouble)(BSTR Name, LONG Index, double Value) PURE;
    // 34
    STDMETHOD(GetBool)(BSTR Name, LONG Index, VARIANT_BOOL* pVal) PURE;
    // 35, 36: a string (copied); raw bytes of an array (copied).
    STDMETHOD(SetString)(BSTR Name, LONG Index, BSTR Value) PURE;
    STDMETHOD(SetStream)(BSTR Name, LONG Index, const BYTE* pData, ULONG Bytes) PURE;
    STDMETHOD(Reserved37)() PURE;
    STDMETHOD(Reserved38)() PURE;
    STDMETHOD(Reserved39)() PURE;
    STDMETHOD(Reserved40)() PURE;
    STDMETHOD(Reserved41)() PURE;
    STDMETHOD(Reserved42)() PURE;
    STDMETHOD(Reserved43)() PURE;
    STDMETHOD(Reserved44)() PURE;
    STDMETHOD(Reserved45)() PURE;
    STDMETHOD(Reserved46)() PURE;
    STDMETHOD(Reserved47)() PURE;
    // 48, 49
    STDMETHOD(GetLongDef)(BSTR Name, LONG Index, LONG Default, LONG* pVal) PURE;
    STDMETHOD(GetLong)(BSTR Name, LONG Index, LONG* pVal) PURE;
    STDMETHOD(Reserved50)() PURE;
    STDMETHOD(Reserved51)() PURE;
    STDMETHOD(Reserved52)() PURE;
    STDMETHOD(Reserved53)() PURE;
    STDMETHOD(Reserved54)() PURE;
    STDMETHOD(Reserved55)() PURE;
    STDMETHOD(Reserved56)() PURE;
    STDMETHOD(Reserved57)() PURE;
    // 58
    STDMETHOD(GetULong)(BSTR Name, LONG Index, ULONG* pVal) PURE;
    STDMETHOD(Reserved59)() PURE;
    // 60, 61
    STDMETHOD(GetDoubleDef)(BSTR Name, LONG Index, double Default, double* pVal) PURE;
    STDMETHOD(GetDouble)(BSTR Name, LONG Index, double* pVal) PURE;
    STDMETHOD(Reserved62)() PURE;
    STDMETHOD(Reserved63)() PURE;
    // 64: the caller frees the string.
    STDMETHOD(GetString)(BSTR Name, LONG Index, BSTR* pVal) PURE;
    STDMETHOD(Reserved65)() PURE;
    STDMETHOD(Reserved66)() PURE;
    STDMETHOD(Reserved67)() PURE;
    STDMETHOD(Reserved68)() PURE;
    STDMETHOD(Reserved69)() PURE;
    STDMETHOD(Reserved70)() PURE;
    STDMETHOD(Reserved71)() PURE;
    STDMETHOD(Reserved72)() PURE;
    // 73: entry Index of the list Name (Mode 1).
    STDMETHOD(GetZone)(BSTR Name, LONG Index, LONG Mode, IEffectParams** ppEntry) PURE;
    STDMETHOD(Reserved74)() PURE;
    STDMETHOD(Reserved75)() PURE;
    // 76: the raw bytes of an array value as a stream positioned at 0 (Mode 1).
    STDMETHOD(GetStream)(BSTR Name, LONG Index, LONG Mode, IStream** ppStream) PURE;
};

// The zone list of an effect. Zones have ids distinct from their positions in the list.
struct IEffectZones : public IUnknown {
    // 3, 4: the list's own enabled property.
    STDMETHOD(get_Enabled)(VARIANT_BOOL* pVal) PURE;
    STDMETHOD(put_Enabled)(VARIANT_BOOL newVal) PURE;
    // 5, 6
    STDMETHOD(GetZoneEnabled)(LONG Id, VARIANT_BOOL* pVal) PURE;
    STDMETHOD(PutZoneEnabled)(LONG Id, VARIANT_BOOL newVal) PURE;
    // 7, 8: zones in the list; id of the zone at position Index.
    STDMETHOD(GetCount)(LONG* pCount) PURE;
    STDMETHOD(GetZoneId)(LONG Index, LONG* pId) PURE;
    // 9, 10: start and duration, ms.
    STDMETHOD(GetZoneTime)(LONG Id, double* pStart, double* pDuration) PURE;
    STDMETHOD(PutZoneTime)(LONG Id, double Start, double Duration) PURE;
    // 11: the zone's parameters; the object answers IEffectParams.
    STDMETHOD(GetZoneParams)(LONG Id, IUnknown** ppParams) PURE;
    // 12 to 14: add a zone (pParams may be NULL; its values are copied), remove one, remove all.
    STDMETHOD(AddZone)
    (double Start, double Duration, VARIANT_BOOL Enabled, IUnknown* pParams, LONG* pId) PURE;
    STDMETHOD(RemoveZone)(LONG Id) PURE;
    STDMETHOD(Clear)() PURE;
};

// Supplier of the filter-graph library's entry points.
struct IFilterGraphProvider : public IUnknown {
    // 3: fills the entry-point table at pTable, whose first 32-bit word holds the table's size in
    // bytes; Version 1, Flags 0. The provider writes nothing beyond that size.
    STDMETHOD(FillApi)(LONG Version, LONG Flags, void* pTable) PURE;
};

// ---------------------------------------------------------------------------------------------
// GUID constants: LIBID_corvaneLib, APPID_corvane, CLSID_<Name>Filter5, IID_<Interface>, and the
// host classes CLSID_AudioBuffer, CLSID_AudioFormat, CLSID_AudioHelper, CLSID_FilterGraphProvider,
// CLSID_WavFileSource, CLSID_SignalSource, CLSID_EffectParams, CLSID_EffectZones.
#define CORVANE_GUID_CONST(prefix, name, guid) \
    inline constexpr GUID prefix##name = corvane::detail::GuidFromText(guid);
#define CORVANE_LIBID_CONST(name, guid, major, minor) CORVANE_GUID_CONST(LIBID_, name, guid)
#define CORVANE_APPID_CONST(name, guid) CORVANE_GUID_CONST(APPID_, name, guid)
#define CORVANE_COCLASS_CONST(name, guid, itf, script, description) \
    CORVANE_GUID_CONST(CLSID_, name, guid)
#define CORVANE_INTERFACE_CONST(name, guid, help, methods) CORVANE_GUID_CONST(IID_, name, guid)
#define CORVANE_HOST_CLASS_CONST(name, guid) CORVANE_GUID_CONST(CLSID_, name, guid)
#define CORVANE_HOST_INTERFACE_CONST(name, guid) CORVANE_GUID_CONST(IID_, name, guid)
CORVANE_GUIDS(CORVANE_LIBID_CONST, CORVANE_APPID_CONST, CORVANE_COCLASS_CONST,
              CORVANE_INTERFACE_CONST, CORVANE_HOST_CLASS_CONST, CORVANE_HOST_INTERFACE_CONST)
#undef CORVANE_LIBID_CONST
#undef CORVANE_APPID_CONST
#undef CORVANE_COCLASS_CONST
#undef CORVANE_INTERFACE_CONST
#undef CORVANE_HOST_CLASS_CONST
#undef CORVANE_HOST_INTERFACE_CONST
#undef CORVANE_GUID_CONST

// ---------------------------------------------------------------------------------------------
// The IID of an interface type: corvane::IidOf<IMediaSource>() is IID_IMediaSource. Defined for
// every interface above, and for IUnknown and the system's interfaces in platform/iid_of.h.
namespace corvane {

#define CORVANE_INTERFACE_TRAIT(name, guid, help, methods) CORVANE_IID_TRAIT(name)
#define CORVANE_HOST_INTERFACE_TRAIT(name, guid) CORVANE_IID_TRAIT(name)
CORVANE_GUIDS(CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE,
              CORVANE_INTERFACE_TRAIT, CORVANE_GUID_IGNORE, CORVANE_HOST_INTERFACE_TRAIT)
#undef CORVANE_INTERFACE_TRAIT
#undef CORVANE_HOST_INTERFACE_TRAIT

}  // namespace corvane
