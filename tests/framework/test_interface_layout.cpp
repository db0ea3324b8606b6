// The vtable layout of the public interfaces: every method sits at the slot that callers on the
// other side of a COM boundary use. Expected slots are written out here from the documented
// method order and slot numbers, independently of the lists the header is expanded from.
#include "platform/win32.h"

#include "corvane/corvane.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// Slot of a virtual member function, read from its pointer-to-member representation (Itanium
// C++ ABI, used by GCC and Clang: 1 + byte offset in the vtable for a virtual function).
template <class C, class R, class... A>
long SlotOf(R (STDMETHODCALLTYPE C::*method)(A...)) {
    struct Representation {
        uintptr_t ptr;
        ptrdiff_t adjustment;
    };
    static_assert(sizeof(method) == sizeof(Representation), "unexpected member-pointer size");
    Representation r;
    std::memcpy(&r, &method, sizeof r);
    if ((r.ptr & 1) == 0 || r.adjustment != 0)
        return -1;  // not a virtual function of the primary vtable
    return static_cast<long>((r.ptr - 1) / sizeof(void*));
}

struct SlotCase {
    const char* method;
    long actual;
    long expected;
};
#define SLOT(itf, method, slot)             \
    SlotCase {                              \
#method, SlotOf(&itf::method), slot \
    }

void ExpectSlots(const char* itf, const std::vector<SlotCase>& cases) {
    for (const SlotCase& c : cases) EXPECT_EQ(c.actual, c.expected) << itf << "::" << c.method;
}

TEST(InterfaceLayout, IUnknownComesFirst) {
    // Named by type: Windows' IUnknown adds a template QueryInterface beside the virtual one.
    using QueryInterfaceFn = HRESULT (STDMETHODCALLTYPE IMediaSource::*)(REFIID, void**);
    const QueryInterfaceFn query = &IMediaSource::QueryInterface;
    ExpectSlots("IMediaSource", {SlotCase{"QueryInterface", SlotOf(query), 0},
                                 SLOT(IMediaSource, AddRef, 1), SLOT(IMediaSource, Release, 2)});
}

TEST(InterfaceLayout, MediaSourceHas44MethodsInOrder) {
    ExpectSlots("IMediaSource", {
                                    SLOT(IMediaSource, SendCommandEx, 3),
                                    SLOT(IMediaSource, get_videoTracksCount, 4),
                                    SLOT(IMediaSource, put_videoTracksCount, 5),
                                    SLOT(IMediaSource, get_audioTracksCount, 6),
                                    SLOT(IMediaSource, put_audioTracksCount, 7),
                                    SLOT(IMediaSource, get_dataTracksCount, 8),
                                    SLOT(IMediaSource, put_dataTracksCount, 9),
                                    SLOT(IMediaSource, get_videoTrack, 10),
                                    SLOT(IMediaSource, put_videoTrack, 11),
                                    SLOT(IMediaSource, get_audioTrack, 12),
                                    SLOT(IMediaSource, put_audioTrack, 13),
                                    SLOT(IMediaSource, get_dataTrack, 14),
                                    SLOT(IMediaSource, put_dataTrack, 15),
                                    SLOT(IMediaSource, get_videoStream, 16),
                                    SLOT(IMediaSource, get_audioStream, 17),
                                    SLOT(IMediaSource, get_dataStream, 18),
                                    SLOT(IMediaSource, ResetBuffers, 19),
                                    SLOT(IMediaSource, get_IsSeekable, 20),
                                    SLOT(IMediaSource, SeekVideo, 21),
                                    SLOT(IMediaSource, SeekAudio, 22),
                                    SLOT(IMediaSource, SeekData, 23),
                                    SLOT(IMediaSource, SkipVideo, 24),
                                    SLOT(IMediaSource, SkipAudio, 25),
                                    SLOT(IMediaSource, SkipData, 26),
                                    SLOT(IMediaSource, ReadVideo, 27),
                                    SLOT(IMediaSource, ReadAudio, 28),
                                    SLOT(IMediaSource, ReadData, 29),
                                    SLOT(IMediaSource, get_videoDuration, 30),
                                    SLOT(IMediaSource, get_audioDuration, 31),
                                    SLOT(IMediaSource, get_dataDuration, 32),
                                    SLOT(IMediaSource, get_videoTime, 33),
                                    SLOT(IMediaSource, get_audioTime, 34),
                                    SLOT(IMediaSource, get_dataTime, 35),
                                    SLOT(IMediaSource, get_videoFormat, 36),
                                    SLOT(IMediaSource, put_videoFormat, 37),
                                    SLOT(IMediaSource, get_audioFormat, 38),
                                    SLOT(IMediaSource, put_audioFormat, 39),
                                    SLOT(IMediaSource, get_dataFormat, 40),
                                    SLOT(IMediaSource, put_dataFormat, 41),
                                    SLOT(IMediaSource, get_videoTransform, 42),
                                    SLOT(IMediaSource, get_audioTransform, 43),
                                    SLOT(IMediaSource, get_dataTransform, 44),
                                    SLOT(IMediaSource, SetParam, 45),
                                    SLOT(IMediaSource, GetParam, 46),
                                });
}

TEST(InterfaceLayout, BaseFilterHas12MethodsInOrder) {
    ExpectSlots("IMediaBaseFilter", {
                                        SLOT(IMediaBaseFilter, InitFilter, 3),
                                        SLOT(IMediaBaseFilter, get_EffectEnabled, 4),
                                        SLOT(IMediaBaseFilter, put_EffectEnabled, 5),
                                        SLOT(IMediaBaseFilter, get_MediaSource, 6),
                                        SLOT(IMediaBaseFilter, put_MediaSource, 7),
                                        SLOT(IMediaBaseFilter, GetBaseMediaSource, 8),
                                        SLOT(IMediaBaseFilter, get_EffectParams, 9),
                                        SLOT(IMediaBaseFilter, put_EffectParams, 10),
                                        SLOT(IMediaBaseFilter, get_EffectZones, 11),
                                        SLOT(IMediaBaseFilter, put_EffectZones, 12),
                                        SLOT(IMediaBaseFilter, SetParam, 13),
                                        SLOT(IMediaBaseFilter, GetParam, 14),
                                    });
    ExpectSlots("IVolumeFilter5", {SLOT(IVolumeFilter5, get_MediaSource, 3),
                                   SLOT(IVolumeFilter5, put_MediaSource, 4)});
}

TEST(InterfaceLayout, HostInterfacesUseTheirFixedSlots) {
    ExpectSlots("IAudioData", {
                                  SLOT(IAudioData, CreateBlock, 5),
                                  SLOT(IAudioData, SetLength, 6),
                                  SLOT(IAudioData, GetBuffer, 10),
                                  SLOT(IAudioData, GetBufferAndLength, 11),
                                  SLOT(IAudioData, GetLength, 14),
                                  SLOT(IAudioData, GetFormat, 23),
                                  SLOT(IAudioData, MarkStart, 26),
                                  SLOT(IAudioData, PutTime, 32),
                                  SLOT(IAudioData, GetDuration, 37),
                                  SLOT(IAudioData, PutDuration, 38),
                              });
    ExpectSlots("IAudioBuffer", {
                                    SLOT(IAudioBuffer, SetLength, 6),
                                    SLOT(IAudioBuffer, Write, 7),
                                    SLOT(IAudioBuffer, Read, 8),
                                    SLOT(IAudioBuffer, SetDataLength, 15),
                                    SLOT(IAudioBuffer, PutFormat, 24),
                                });
    ExpectSlots("IAudioFormat", {
                                    SLOT(IAudioFormat, PutSampleFormat, 19),
                                    SLOT(IAudioFormat, GetWaveFormat, 20),
                                    SLOT(IAudioFormat, GetChannelLayout, 22),
                                    SLOT(IAudioFormat, PutChannelLayout, 23),
                                    SLOT(IAudioFormat, PutChannels, 25),
                                    SLOT(IAudioFormat, PutSampleRate, 27),
                                });
    ExpectSlots("IAudioHelper", {
                                    SLOT(IAudioHelper, GetDuration, 7),
                                    SLOT(IAudioHelper, TakeAudio, 11),
                                    SLOT(IAudioHelper, Append, 12),
                                    SLOT(IAudioHelper, Reset, 13),
                                    SLOT(IAudioHelper, TakeBlock, 15),
                                });
    ExpectSlots("IEffectParams", {
                                     SLOT(IEffectParams, Duplicate, 14),
                                     SLOT(IEffectParams, GetCount, 19),
                                     SLOT(IEffectParams, GetBool, 34),
                                     SLOT(IEffectParams, GetLongDef, 48),
                                     SLOT(IEffectParams, GetLong, 49),
                                     SLOT(IEffectParams, GetULong, 58),
                                     SLOT(IEffectParams, GetDoubleDef, 60),
                                     SLOT(IEffectParams, GetDouble, 61),
                                     SLOT(IEffectParams, GetString, 64),
                                     SLOT(IEffectParams, GetZone, 73),
                                     SLOT(IEffectParams, GetStream, 76),
                                 });
    ExpectSlots("IEffectZones", {
                                    SLOT(IEffectZones, get_Enabled, 3),
                                    SLOT(IEffectZones, GetZoneEnabled, 5),
                                    SLOT(IEffectZones, GetCount, 7),
                                    SLOT(IEffectZones, GetZoneId, 8),
                                    SLOT(IEffectZones, GetZoneTime, 9),
                                    SLOT(IEffectZones, GetZoneParams, 11),
                                });
    ExpectSlots("IFilterGraphProvider", {SLOT(IFilterGraphProvider, FillApi, 3)});
}

// Argument types of the methods whose types are documented: a changed type is a build failure.
template <class Expected, class Actual>
constexpr bool Same(Actual) {
    return std::is_same_v<Expected, Actual>;
}
static_assert(Same<HRESULT (STDMETHODCALLTYPE IMediaSource::*)(LONG, LONG, double, IUnknown**)>(
    &IMediaSource::ReadAudio));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IMediaSource::*)(ULONGLONG, IUnknown*, IUnknown**)>(
    &IMediaSource::SendCommandEx));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IMediaSource::*)(LONG, LONG, VARIANT_BOOL*)>(
    &IMediaSource::get_IsSeekable));
static_assert(
    Same<HRESULT (STDMETHODCALLTYPE IMediaSource::*)(BSTR, VARIANT)>(&IMediaSource::SetParam));
static_assert(
    Same<HRESULT (STDMETHODCALLTYPE IMediaSource::*)(BSTR, VARIANT*)>(&IMediaSource::GetParam));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IMediaSource::*)(LONG, IUnknown*)>(
    &IMediaSource::put_audioFormat));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IMediaBaseFilter::*)(VARIANT_BOOL)>(
    &IMediaBaseFilter::put_EffectEnabled));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IMediaBaseFilter::*)(IUnknown**)>(
    &IMediaBaseFilter::GetBaseMediaSource));
static_assert(
    Same<HRESULT (STDMETHODCALLTYPE IAudioData::*)(LONG, IUnknown**)>(&IAudioData::CreateBlock));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IAudioData::*)(LONG, LONG, BYTE**, LONG*)>(
    &IAudioData::GetBufferAndLength));
static_assert(
    Same<HRESULT (STDMETHODCALLTYPE IAudioData::*)(IAudioFormat*)>(&IAudioBuffer::PutFormat));
static_assert(
    Same<HRESULT (STDMETHODCALLTYPE IAudioFormat::*)(UINT64*)>(&IAudioFormat::GetChannelLayout));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IAudioHelper::*)(LONG, double, IUnknown**)>(
    &IAudioHelper::TakeAudio));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IAudioHelper::*)(double, IAudioData**)>(
    &IAudioHelper::TakeBlock));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IEffectParams::*)(LONG, IEffectParams**)>(
    &IEffectParams::Duplicate));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IEffectParams::*)(BSTR, LONG, LONG, LONG*)>(
    &IEffectParams::GetLongDef));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IEffectParams::*)(BSTR, LONG, double, double*)>(
    &IEffectParams::GetDoubleDef));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IEffectParams::*)(BSTR, LONG, BSTR*)>(
    &IEffectParams::GetString));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IEffectParams::*)(BSTR, LONG, LONG, IStream**)>(
    &IEffectParams::GetStream));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IEffectParams::*)(BSTR, LONG, LONG, IEffectParams**)>(
    &IEffectParams::GetZone));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IEffectZones::*)(LONG, double*, double*)>(
    &IEffectZones::GetZoneTime));
static_assert(Same<HRESULT (STDMETHODCALLTYPE IEffectZones::*)(LONG, IUnknown**)>(
    &IEffectZones::GetZoneParams));

// The type-library interfaces are declared from their method lists, one virtual method per entry in
// list order after IUnknown's three. Checking the lists here makes a swapped or missing entry a
// build failure of this test; the slot tests above confirm the compiler laid the lists out so.
namespace listed {
#define CORVANE_LISTED_NAME(name, params, args) #name,
constexpr const char* kMediaSource[] = {CORVANE_IMEDIASOURCE_METHODS(CORVANE_LISTED_NAME)};
constexpr const char* kBaseFilter[] = {CORVANE_IMEDIABASEFILTER_METHODS(CORVANE_LISTED_NAME)};
constexpr const char* kVolumeFilter[] = {CORVANE_IVOLUMEFILTER5_METHODS(CORVANE_LISTED_NAME)};
#undef CORVANE_LISTED_NAME

constexpr bool SameText(const char* a, const char* b) {
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

// Vtable slot of the entry called name (-1 when absent, -2 when listed twice).
template <size_t N>
constexpr long SlotIn(const char* const (&list)[N], const char* name) {
    long slot = -1;
    for (size_t i = 0; i < N; ++i) {
        if (!SameText(list[i], name)) continue;
        if (slot != -1) return -2;
        slot = static_cast<long>(i) + 3;
    }
    return slot;
}

static_assert(std::size(kMediaSource) == 44 && std::size(kBaseFilter) == 12 &&
              std::size(kVolumeFilter) == 2);
#define AT(list, method, slot) \
    static_assert(SlotIn(list, #method) == (slot), #method " is not at vtable slot " #slot);
AT(kMediaSource, SendCommandEx, 3)
AT(kMediaSource, get_videoTracksCount, 4)
AT(kMediaSource, put_videoTracksCount, 5)
AT(kMediaSource, get_audioTracksCount, 6)
AT(kMediaSource, put_audioTracksCount, 7)
AT(kMediaSource, get_dataTracksCount, 8)
AT(kMediaSource, put_dataTracksCount, 9)
AT(kMediaSource, get_videoTrack, 10)
AT(kMediaSource, put_videoTrack, 11)
AT(kMediaSource, get_audioTrack, 12)
AT(kMediaSource, put_audioTrack, 13)
AT(kMediaSource, get_dataTrack, 14)
AT(kMediaSource, put_dataTrack, 15)
AT(kMediaSource, get_videoStream, 16)
AT(kMediaSource, get_audioStream, 17)
AT(kMediaSource, get_dataStream, 18)
AT(kMediaSource, ResetBuffers, 19)
AT(kMediaSource, get_IsSeekable, 20)
AT(kMediaSource, SeekVideo, 21)
AT(kMediaSource, SeekAudio, 22)
AT(kMediaSource, SeekData, 23)
AT(kMediaSource, SkipVideo, 24)
AT(kMediaSource, SkipAudio, 25)
AT(kMediaSource, SkipData, 26)
AT(kMediaSource, ReadVideo, 27)
AT(kMediaSource, ReadAudio, 28)
AT(kMediaSource, ReadData, 29)
AT(kMediaSource, get_videoDuration, 30)
AT(kMediaSource, get_audioDuration, 31)
AT(kMediaSource, get_dataDuration, 32)
AT(kMediaSource, get_videoTime, 33)
AT(kMediaSource, get_audioTime, 34)
AT(kMediaSource, get_dataTime, 35)
AT(kMediaSource, get_videoFormat, 36)
AT(kMediaSource, put_videoFormat, 37)
AT(kMediaSource, get_audioFormat, 38)
AT(kMediaSource, put_audioFormat, 39)
AT(kMediaSource, get_dataFormat, 40)
AT(kMediaSource, put_dataFormat, 41)
AT(kMediaSource, get_videoTransform, 42)
AT(kMediaSource, get_audioTransform, 43)
AT(kMediaSource, get_dataTransform, 44)
AT(kMediaSource, SetParam, 45)
AT(kMediaSource, GetParam, 46)
AT(kBaseFilter, InitFilter, 3)
AT(kBaseFilter, get_EffectEnabled, 4)
AT(kBaseFilter, put_EffectEnabled, 5)
AT(kBaseFilter, get_MediaSource, 6)
AT(kBaseFilter, put_MediaSource, 7)
AT(kBaseFilter, GetBaseMediaSource, 8)
AT(kBaseFilter, get_EffectParams, 9)
AT(kBaseFilter, put_EffectParams, 10)
AT(kBaseFilter, get_EffectZones, 11)
AT(kBaseFilter, put_EffectZones, 12)
AT(kBaseFilter, SetParam, 13)
AT(kBaseFilter, GetParam, 14)
AT(kVolumeFilter, get_MediaSource, 3)
AT(kVolumeFilter, put_MediaSource, 4)
#undef AT
}  // namespace listed

// COM objects are a vtable pointer and nothing else at the interface level.
static_assert(sizeof(IMediaSource) == sizeof(void*) && sizeof(IAudioBuffer) == sizeof(void*));
static_assert(std::is_base_of_v<IAudioData, IAudioBuffer>, "one layout for both block interfaces");
static_assert(sizeof(WAVEFORMATEX) == 18, "packed as Windows declares it");

TEST(InterfaceLayout, ClassInterfacesHaveNoMethodsOfTheirOwn) {
    // Adding a method to one of them would show up as a second vtable entry after Release.
    struct Probe : IBandFilter5 {
        STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
        STDMETHODIMP_(ULONG) AddRef() override { return 1; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
    };
    Probe p;  // instantiable only when every pure method is defined
    EXPECT_EQ(p.AddRef(), 1u);
}

// Every GUID of the header is distinct, and IidOf maps each interface to its own IID.
TEST(Guids, AreDistinctAndBoundToTheirInterfaces) {
    std::vector<std::pair<std::string, GUID>> all;
#define COLLECT(prefix, name) all.emplace_back(#prefix #name, prefix##name);
#define LIB(name, guid, a, b) COLLECT(LIBID_, name)
#define APP(name, guid) COLLECT(APPID_, name)
#define CLS(name, guid, itf, script, d) COLLECT(CLSID_, name)
#define ITF(name, guid, help, m) COLLECT(IID_, name)
#define HCLS(name, guid) COLLECT(CLSID_, name)
#define HITF(name, guid) COLLECT(IID_, name)
    CORVANE_GUIDS(LIB, APP, CLS, ITF, HCLS, HITF)
#undef COLLECT
#undef LIB
#undef APP
#undef CLS
#undef ITF
#undef HCLS
#undef HITF
    // 1 library, 1 AppID, 17 classes, 19 interfaces, 7 host interfaces, 8 host classes.
    ASSERT_EQ(all.size(), 53u);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_NE(all[i].second, GUID_NULL) << all[i].first;
        EXPECT_NE(all[i].second, IID_IUnknown) << all[i].first;
        for (size_t j = i + 1; j < all.size(); ++j)
            EXPECT_NE(all[i].second, all[j].second) << all[i].first << " " << all[j].first;
    }
    EXPECT_EQ(&corvane::IidOf<IMediaSource>(), &IID_IMediaSource);
    EXPECT_EQ(&corvane::IidOf<IVolumeFilter5>(), &IID_IVolumeFilter5);
    EXPECT_EQ(&corvane::IidOf<IAudioBuffer>(), &IID_IAudioBuffer);
    EXPECT_EQ(&corvane::IidOf<IUnknown>(), &IID_IUnknown);
}

TEST(Guids, TextIsReadByteForByte) {
    // Data1..Data3 are numbers (stored little-endian), Data4 is the last eight bytes in order.
    constexpr GUID g = corvane::detail::GuidFromText("0123ABCD-4567-89ab-CDEF-0123456789AB");
    static_assert(g.Data1 == 0x0123ABCD && g.Data2 == 0x4567 && g.Data3 == 0x89AB);
    static_assert(g.Data4[0] == 0xCD && g.Data4[1] == 0xEF && g.Data4[2] == 0x01 &&
                  g.Data4[7] == 0xAB);
    EXPECT_EQ(LIBID_corvaneLib.Data1, 0x525C4727u);
    EXPECT_EQ(LIBID_corvaneLib.Data4[7], 0x90);
}

}  // namespace
