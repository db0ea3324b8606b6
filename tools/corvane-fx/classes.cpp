#include "tools/corvane-fx/classes.h"

#include "corvane/corvane.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace corvane::fx {

const std::vector<EffectClass>& EffectClasses() {
    static const std::vector<EffectClass> classes = [] {
        std::vector<EffectClass> v = {
#define CORVANE_FX_COCLASS(name, guid, itf, script, description) {#name, CLSID_##name, description},
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
    return n > 0 ? corvane::text::ToUtf8(buf) : std::string();
}

bool ResolveEffectClass(const std::string& text, CLSID* clsid, std::string* label,
                        std::string* error) {
    for (const EffectClass& c : EffectClasses()) {
        if (strcasecmp(text.c_str(), c.name) == 0) {
            *clsid = c.clsid;
            *label = c.name;
            return true;
        }
    }
    if (!text.empty() && text.front() == '{') {
        OleString wide;
        CLSID parsed;
        if (corvane::text::TryToUtf16(text, &wide) &&
            SUCCEEDED(CLSIDFromString(wide.c_str(), &parsed))) {
            *clsid = parsed;
            *label = ClsidText(parsed);
            for (const EffectClass& c : EffectClasses()) {
                if (IsEqualCLSID(c.clsid, parsed)) *label = c.name;
            }
            return true;
        }
        *error = "'" + text + "' is not a CLSID of the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
        return false;
    }
    *error = "unknown effect class '" + text + "' (corvane-fx --list names the classes)";
    return false;
}

}  // namespace corvane::fx
