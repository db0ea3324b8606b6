// The keys that the effects read through their parameter tables, by class: what the tests of
// hostile values and the check of the user's documentation take as the truth.
#pragma once

#include "effects/common/ParamRead.h"

#include <vector>

struct EffectKeys {
    const char* effect;  // the class's name, as the class table gives it
    std::vector<ParamSpec> keys;
};

const std::vector<EffectKeys>& EffectKeyTables();
