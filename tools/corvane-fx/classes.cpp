#include "tools/corvane-fx/classes.h"

#include "corvane/corvane.h"
#include "tools/corvane-fx/params.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace corvane::fx {

namespace {

// "VolumeFilter5" -> "Volume", "AudioFilterNB5" -> "AudioNB".
std::string ShortName(std::string name) {
    if (!name.empty() && name.back() == '5') name.pop_back();
    const size_t at = name.find("Filter");
    if (at != std::string::npos && at > 0) name.erase(at, 6);
    return name;
}

}  // namespace

const std::vector<EffectClass>& EffectClasses() {
    static const std::vector<EffectClass> classes = [] {
        std::vector<EffectClass> v = {
#define CORVANE_FX_COCLASS(name, guid, itf, script, description) \
    {#name, ShortName(#name), CLSID_##name, description},
            CORVANE_GUIDS(CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE, CORVANE_FX_COCLASS,
                          CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE)
#undef CORVANE_FX_COCLASS
        };
        std::sort(v.begin(), v.end(), [](const EffectClass& a, const EffectClass& b) {
            return std::strcmp(a.name, b.name) < 0;
        });
        return v;
    }();
    return classes;
}

std::string ClsidText(const CLSID& clsid) {
    OLECHAR buf[40];
    int n = StringFromGUID2(clsid, buf, 40);
    return n > 0 ? corvane::OleToUtf8(buf) : std::string();
}

bool ResolveEffectClass(const std::string& text, CLSID* clsid, std::string* label,
                        std::string* error) {
    for (const EffectClass& c : EffectClasses()) {
        if (strcasecmp(text.c_str(), c.name) == 0 ||
            strcasecmp(text.c_str(), c.shortName.c_str()) == 0) {
            *clsid = c.clsid;
            *label = c.name;
            return true;
        }
    }
    // A CLSID is 36 characters of hexadecimal digits and dashes, usually in braces.
    const bool bare =
        text.size() == 36 && text.find_first_not_of("0123456789abcdefABCDEF-") == std::string::npos;
    if (bare || (!text.empty() && text.front() == '{')) {
        OleString wide;
        CLSID parsed;
        if (corvane::TryUtf8ToOle(bare ? "{" + text + "}" : text, &wide) &&
            SUCCEEDED(CLSIDFromString(wide.c_str(), &parsed))) {
            *clsid = parsed;
            *label = ClsidText(parsed);
            for (const EffectClass& c : EffectClasses()) {
                if (IsEqualCLSID(c.clsid, parsed)) *label = c.name;
            }
            return true;
        }
        *error = "'" + Excerpt(text) +
                 "' is not a CLSID of the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
        return false;
    }
    *error = "unknown effect class '" + Excerpt(text) + "' (corvane-fx --list names the classes)";
    return false;
}

}  // namespace corvane::fx
