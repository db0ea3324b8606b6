// The effect classes that corvane-fx knows by name: the coclasses of the library's one list of
// GUIDs, so a name here cannot disagree with what the module registers.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

namespace corvane::fx {

struct EffectClass {
    const char* name;       // the coclass name, e.g. "VolumeFilter5"
    std::string shortName;  // the name without "Filter" and the trailing 5: "Volume", "AudioNB"
    CLSID clsid;
    const char* description;  // the registered description, e.g. "VolumeFilter5 Class"
};

// Every effect class, in alphabetical order of the names.
const std::vector<EffectClass>& EffectClasses();

// The class that text names: a coclass name or its short name, in any case ("VolumeFilter5",
// "volume"), or a CLSID with or without braces ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, which
// may name a class this list does not know).
// *label receives the text to show for it in messages (the coclass name when known). False with
// *error when text is neither.
bool ResolveEffectClass(const std::string& text, CLSID* clsid, std::string* label,
                        std::string* error);

// {XXXXXXXX-...} in upper case.
std::string ClsidText(const CLSID& clsid);

}  // namespace corvane::fx
