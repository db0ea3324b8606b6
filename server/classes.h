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
    const IID* iid;           // the class interface
    int scriptId;             // id of the class's REGISTRY script
    const char* description;  // the class description its script registers
    EngineTraits traits;      // as the effect's engine states them
    HRESULT (*createInstance)(IUnknown* outer, REFIID riid, void** ppv);
};

// The classes in object-map order: AudioFilter5, AudioFilterNB5, BandFilter5, DelayFilter5,
// EchoFilter5, EqualizeFilter5, FlangerFilter5, InvertFilter5, MedianFilter5, PitchShiftFilter5,
// ReverbFilter5, ReverseFilter5, SilenceFilter5, StretchFilter5, VibratoFilter5, VolumeFilter5,
// WahWahFilter5. The table is static; *count (when given) receives its length.
const ClassEntry* GetClassTable(size_t* count);

namespace detail {
// Class interface, registration script and description of every coclass, from the one list of
// GUIDs.
#define CORVANE_CLASS_FACTS(name, guid, itf, script, description) \
    using ClassInterfaceOf_##name = ::itf;                        \
    constexpr int kScriptIdOf_##name = script;                    \
    constexpr const char* kDescriptionOf_##name = description;
CORVANE_GUIDS(CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE, CORVANE_CLASS_FACTS, CORVANE_GUID_IGNORE,
              CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE)
#undef CORVANE_CLASS_FACTS
}  // namespace detail

}  // namespace corvane

// clang-format off
// The class list in object-map order. Name gives the COM class C<Name>5, its CLSID_<Name>5, its
// coclass row in the GUID list (class interface, script, description) and the engine C<Name>,
// whose kTraits say how the engine reads and processes.
#define CORVANE_EFFECT_CLASSES(X) \
    X(AudioFilter)                \
    X(AudioFilterNB)              \
    X(BandFilter)                 \
    X(DelayFilter)                \
    X(EchoFilter)                 \
    X(EqualizeFilter)             \
    X(FlangerFilter)              \
    X(InvertFilter)               \
    X(MedianFilter)               \
    X(PitchShiftFilter)           \
    X(ReverbFilter)               \
    X(ReverseFilter)              \
    X(SilenceFilter)              \
    X(StretchFilter)              \
    X(VibratoFilter)              \
    X(VolumeFilter)               \
    X(WahWahFilter)
// clang-format on

// The traits of each row and its COM class C<Name>5 (CBandFilter5 and so on).
#define CORVANE_EFFECT_CLASS_TYPE(Name)                                          \
    struct Name##5Traits {                                                       \
        using Engine = C##Name;                                                  \
        using Interface = corvane::detail::ClassInterfaceOf_##Name##5;           \
        static const CLSID& Clsid() {                                            \
            return CLSID_##Name##5;                                              \
        }                                                                        \
        static constexpr int kScriptId = corvane::detail::kScriptIdOf_##Name##5; \
    };                                                                           \
    using C##Name##5 = corvane::CEffectFilter5<Name##5Traits>;
CORVANE_EFFECT_CLASSES(CORVANE_EFFECT_CLASS_TYPE)
#undef CORVANE_EFFECT_CLASS_TYPE
