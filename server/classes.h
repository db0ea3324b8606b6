// The effect classes of the module: one table that the class objects, the registration and the
// tests all walk, and the seventeen COM classes C<Name>Filter5 built from it.
#pragma once

#include "platform/win32.h"

#include "corvane/corvane.h"
#include "framework/ComShell.h"

#include "effects/AudioFilter.h"
#include "effects/AudioFilterNB.h"
#include "effects/BandFilter.h"
#include "effects/DelayFilter.h"
#include "effects/EchoFilter.h"
#include "effects/EqualizeFilter.h"
#include "effects/FlangerFilter.h"
#include "effects/InvertFilter.h"
#include "effects/MedianFilter.h"
#include "effects/PitchShiftFilter.h"
#include "effects/ReverbFilter.h"
#include "effects/ReverseFilter.h"
#include "effects/SilenceFilter.h"
#include "effects/StretchFilter.h"
#include "effects/VibratoFilter.h"
#include "effects/VolumeFilter.h"
#include "effects/WahWahFilter.h"

#include <cstddef>

namespace corvane {

// One creatable class. createInstance creates an object of the class (outer: the controlling
// unknown of an aggregate, or NULL) answering riid into *ppv; it checks its own arguments
// (E_POINTER for a NULL ppv, *ppv NULL on every failure, CLASS_E_NOAGGREGATION for an outer object
// asked for anything but IUnknown).
struct ClassEntry {
    const CLSID* clsid;
    int scriptId;  // id of the class's REGISTRY script
    HRESULT (*createInstance)(IUnknown* outer, REFIID riid, void** ppv);
};

// The classes in object-map order: AudioFilter5, AudioFilterNB5, BandFilter5, DelayFilter5,
// EchoFilter5, EqualizeFilter5, FlangerFilter5, InvertFilter5, MedianFilter5, PitchShiftFilter5,
// ReverbFilter5, ReverseFilter5, SilenceFilter5, StretchFilter5, VibratoFilter5, VolumeFilter5,
// WahWahFilter5. The table is static; *count (when given) receives its length.
const ClassEntry* GetClassTable(size_t* count);

namespace detail {
// Class interface and registration script of every coclass, from the one list of GUIDs.
#define CORVANE_CLASS_FACTS(name, guid, itf, script, description) \
    using ClassInterfaceOf_##name = ::itf;                        \
    constexpr int kScriptIdOf_##name = script;
CORVANE_GUIDS(CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE, CORVANE_CLASS_FACTS, CORVANE_GUID_IGNORE,
              CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE)
#undef CORVANE_CLASS_FACTS
}  // namespace detail

}  // namespace corvane

// clang-format off
// The class table in object-map order: X(Name, UseHelper, PerChannel, LengthChanges, FollowsRate).
// Name gives the COM class C<Name>5, its CLSID_<Name>5, and the engine C<Name>. UseHelper: the
// engine reads through the host's buffering object; PerChannel: one channel filter per channel;
// LengthChanges: the channel filters may return another sample count; FollowsRate: the effect
// interval is stretched by "Rate" on the output side.
#define CORVANE_EFFECT_CLASSES(X)          \
    X(AudioFilter,      1, 1, false, false) \
    X(AudioFilterNB,    0, 0, false, false) \
    X(BandFilter,       1, 1, false, false) \
    X(DelayFilter,      1, 1, false, false) \
    X(EchoFilter,       0, 0, false, false) \
    X(EqualizeFilter,   1, 1, false, false) \
    X(FlangerFilter,    1, 1, false, false) \
    X(InvertFilter,     0, 0, false, false) \
    X(MedianFilter,     1, 1, true,  false) \
    X(PitchShiftFilter, 1, 1, false, false) \
    X(ReverbFilter,     1, 1, false, false) \
    X(ReverseFilter,    0, 0, false, false) \
    X(SilenceFilter,    1, 1, false, false) \
    X(StretchFilter,    1, 0, true,  true)  \
    X(VibratoFilter,    1, 1, false, false) \
    X(VolumeFilter,     0, 0, false, false) \
    X(WahWahFilter,     1, 1, false, false)
// clang-format on

// The traits of each row and its COM class C<Name>5 (CBandFilter5 and so on).
#define CORVANE_EFFECT_CLASS_TYPE(Name, useHelper, perChannel, lengthChanges, followsRate) \
    struct Name##5Traits {                                                                 \
        using Engine = C##Name;                                                            \
        using Interface = corvane::detail::ClassInterfaceOf_##Name##5;                     \
        static const CLSID& Clsid() {                                                      \
            return CLSID_##Name##5;                                                        \
        }                                                                                  \
        static constexpr int kScriptId = corvane::detail::kScriptIdOf_##Name##5;           \
        static constexpr BYTE kUseHelper = useHelper;                                      \
        static constexpr BYTE kPerChannel = perChannel;                                    \
        static constexpr bool kLengthChanges = lengthChanges;                              \
        static constexpr bool kFollowsRate = followsRate;                                  \
    };                                                                                     \
    using C##Name##5 = corvane::CEffectFilter5<Name##5Traits>;
CORVANE_EFFECT_CLASSES(CORVANE_EFFECT_CLASS_TYPE)
#undef CORVANE_EFFECT_CLASS_TYPE
