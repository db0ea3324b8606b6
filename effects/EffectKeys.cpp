#include "effects/EffectKeys.h"

#include "effects/AudioFilter.h"
#include "effects/AudioFilterNB.h"
#include "effects/BandFilter.h"
#include "effects/DelayFilter.h"
#include "effects/EchoFilter.h"
#include "effects/EqualizeFilter.h"
#include "effects/FlangerFilter.h"
#include "effects/MedianFilter.h"
#include "effects/PitchShiftFilter.h"
#include "effects/ReverbFilter.h"
#include "effects/ReverseFilter.h"
#include "effects/StretchFilter.h"
#include "effects/VibratoFilter.h"
#include "effects/VolumeFilter.h"
#include "effects/WahWahFilter.h"

namespace {

// The keys of an effect that reads two tables, the first one's first.
std::vector<ParamSpec> Both(std::vector<ParamSpec> first, const std::vector<ParamSpec>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

}  // namespace

const std::vector<EffectKeys>& EffectKeyTables() {
    static const std::vector<EffectKeys> tables = {
        {"BandFilter5", KeysOf(CBandChannelFilter::Params())},
        {"ReverbFilter5", KeysOf(CReverbChannelFilter::Params())},
        {"DelayFilter5", KeysOf(CDelayChannelFilter::Params())},
        {"FlangerFilter5", KeysOf(CFlangerChannelFilter::Params())},
        {"VibratoFilter5", KeysOf(CVibratoChannelFilter::Params())},
        {"WahWahFilter5", KeysOf(CWahWahChannelFilter::Params())},
        {"StretchFilter5", KeysOf(CStretchChannelFilter::Params())},
        {"PitchShiftFilter5", KeysOf(CPitchShiftChannelFilter::Params())},
        {"AudioFilter5", KeysOf(CAudioChannelFilter::Params())},
        {"MedianFilter5", KeysOf(CMedianChannelFilter::Params())},
        {"EqualizeFilter5", KeysOf(CEqualizeChannelFilter::Params())},
        {"AudioFilterNB5", KeysOf(CAudioFilterNB::Params())},
        {"ReverseFilter5", KeysOf(CReverseFilter::Params())},
        {"VolumeFilter5",
         Both(KeysOf(CVolumeFilter::Params()), KeysOf(CVolumeFilter::LevelParams()))},
        {"EchoFilter5",
         Both(KeysOf(CEchoFilter::Params()), KeysOf(CEchoFilter::ReflectionParams()))},
    };
    return tables;
}
