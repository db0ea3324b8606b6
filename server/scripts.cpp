// Registration scripts built at compile time from the GUID list, so that a CLSID, the LIBID or a
// description can never differ between the scripts, the type library and the code.
#include "server/scripts.h"

#include <array>
#include <iterator>
#include <utility>

#include "corvane/guids.def"

namespace corvane {

namespace {

constexpr size_t kMaxScriptBytes = 1024;

// A script under construction. Running out of room throws, which is a compile error wherever
// the result initialises a constexpr object.
struct ScriptText {
    char text[kMaxScriptBytes] = {};
    size_t size = 0;

    constexpr void Put(char c) {
        if (size == kMaxScriptBytes) throw "registration script does not fit";
        text[size++] = c;
    }
    constexpr void Append(const char* s) {
        while (*s != '\0') Put(*s++);
    }
    // A quoted string that the registrar reads back as s: quotes and percent signs doubled.
    constexpr void AppendLiteral(const char* s) {
        Put('\'');
        for (; *s != '\0'; ++s) {
            if (*s == '\'' || *s == '%') Put(*s);
            Put(*s);
        }
        Put('\'');
    }
    constexpr void AppendGuid(const char* guid, bool lowerCase) {
        Put('{');
        for (; *guid != '\0'; ++guid) {
            char c = *guid;
            Put(lowerCase && c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c);
        }
        Put('}');
    }
};

constexpr bool SameText(const char* a, const char* b) {
    for (; *a != '\0' && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

#define CORVANE_SCRIPT_LIBID(name, guid, major, minor) guid
#define CORVANE_SCRIPT_LIBVERSION(name, guid, major, minor) #major "." #minor
constexpr char kLibId[] =
    CORVANE_GUIDS(CORVANE_SCRIPT_LIBID, CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE,
                  CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE);
constexpr char kLibVersion[] =
    CORVANE_GUIDS(CORVANE_SCRIPT_LIBVERSION, CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE,
                  CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE);
#undef CORVANE_SCRIPT_LIBID
#undef CORVANE_SCRIPT_LIBVERSION

// Two classes keep the registration that hosts already know them by: the channel-map class
// writes its CLSID key in lower case, and the flanger class carries an empty Programmable key.
constexpr bool LowerCaseClassKey(const char* coclass) {
    return SameText(coclass, "AudioFilterNB5");
}
constexpr bool HasProgrammableKey(const char* coclass) {
    return SameText(coclass, "FlangerFilter5");
}

constexpr ScriptText MakeClassScript(const char* coclass, const char* clsid,
                                     const char* description) {
    ScriptText s;
    s.Append("HKCR\r\n{\r\n\tNoRemove CLSID\r\n\t{\r\n\t\tForceRemove ");
    s.AppendGuid(clsid, LowerCaseClassKey(coclass));
    s.Append(" = s ");
    s.AppendLiteral(description);
    s.Append("\r\n\t\t{\r\n");
    if (HasProgrammableKey(coclass)) s.Append("\t\t\tForceRemove Programmable\r\n");
    s.Append("\t\t\tInprocServer32 = s '%MODULE%'\r\n\t\t\t{\r\n");
    s.Append("\t\t\t\tval ThreadingModel = s 'Apartment'\r\n\t\t\t}\r\n");
    s.Append("\t\t\tTypeLib = s '");
    s.AppendGuid(kLibId, false);
    s.Append("'\r\n\t\t\tVersion = s ");
    s.AppendLiteral(kLibVersion);
    s.Append("\r\n\t\t}\r\n\t}\r\n}\r\n");
    return s;
}

struct ClassScript {
    int id;
    ScriptText text;
};

#define CORVANE_CLASS_SCRIPT(name, guid, itf, script, description) \
    ClassScript{script, MakeClassScript(#name, guid, description)},
constexpr ClassScript kClassScripts[] = {CORVANE_GUIDS(CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE,
                                                       CORVANE_CLASS_SCRIPT, CORVANE_GUID_IGNORE,
                                                       CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE)};
#undef CORVANE_CLASS_SCRIPT

// The module registers nothing of its own; its script exists so that the AppID replacement has a
// place to go should it ever need keys.
constexpr char kModuleScript[] = "HKCR\r\n{\r\n}\r\n";

template <size_t... I>
constexpr std::array<ScriptSource, sizeof...(I) + 1> MakeSources(std::index_sequence<I...>) {
    return {{{kModuleScriptId, kModuleScript, sizeof kModuleScript - 1},
             {kClassScripts[I].id, kClassScripts[I].text.text, kClassScripts[I].text.size}...}};
}

constexpr auto kSources = MakeSources(std::make_index_sequence<std::size(kClassScripts)>());

}  // namespace

const ScriptSource* GetRegistrationScripts(size_t* count) {
    if (count != nullptr) *count = kSources.size();
    return kSources.data();
}

const ScriptSource* FindRegistrationScript(int id) {
    for (const ScriptSource& s : kSources) {
        if (s.id == id) return &s;
    }
    return nullptr;
}

}  // namespace corvane
