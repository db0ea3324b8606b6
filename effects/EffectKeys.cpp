#include "effects/EffectKeys.h"

#include "effects/AudioFilter.h"
#include "effects/BandFilter.h"
#include "effects/DelayFilter.h"
#include "effects/FlangerFilter.h"
#include "effects/MedianFilter.h"
#include "effects/PitchShiftFilter.h"
#include "effects/ReverbFilter.h"
#include "effects/StretchFilter.h"
#include "effects/VibratoFilter.h"
#include "effects/WahWahFilter.h"

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
    };
    return tables;
}
