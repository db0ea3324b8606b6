// Reader of the text form of a type library (grammar in typelib.h).
#include "platform/win32.h"
#include "platform/linux/com.h"

#include <cstdlib>
#include <map>
#include <string>

namespace corvane::tlb {
namespace {

// One line split into tokens; quoted strings lose their quotes and escapes.
bool Tokenize(std::string_view line, std::vector<std::string>* tokens) {
    tokens->clear();
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        std::string token;
        if (c == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d == '\\') {
                    if (i >= line.size() || (line[i] != '"' && line[i] != '\\')) return false;
                    d = line[i++];
                }
                token.push_back(d);
            }
            if (!closed) return false;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                if (line[i] == '"') return false;
                token.push_back(line[i++]);
            }
        }
        tokens->push_back(std::move(token));
    }
    return true;
}

bool ToWide(const std::string& s, std::u16string* out) {
    return text::TryToUtf16(s, out);
}

bool ParseGuid(const std::string& s, GUID* out) {
    if (s.size() != 38 || s.front() != '{' || s.back() != '}') return false;
    std::u16string wide;
    if (!ToWide(s, &wide)) return false;
    return SUCCEEDED(CLSIDFromString(wide.c_str(), out));
}

bool ParseNumber(const std::string& s, int base, unsigned long limit, unsigned long* out) {
    if (s.empty() || s.size() > 10) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(s.c_str(), &end, base);
    if (end != s.c_str() + s.size() || v > limit || s[0] == '-' || s[0] == '+') return false;
    *out = v;
    return true;
}

bool ParseVersion(const std::string& s, WORD* major, WORD* minor) {
    size_t dot = s.find('.');
    unsigned long a = 0, b = 0;
    if (dot == std::string::npos || !ParseNumber(s.substr(0, dot), 10, 0xFFFF, &a) ||
        !ParseNumber(s.substr(dot + 1), 10, 0xFFFF, &b)) {
        return false;
    }
    *major = static_cast<WORD>(a);
    *minor = static_cast<WORD>(b);
    return true;
}

struct FlagName {
    const char* name;
    WORD value;
};
constexpr FlagName kTypeFlags[] = {
    {"cancreate", TYPEFLAG_FCANCREATE},         {"dual", TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION},
    {"oleautomation", TYPEFLAG_FOLEAUTOMATION}, {"hidden", TYPEFLAG_FHIDDEN},
    {"restricted", TYPEFLAG_FRESTRICTED},       {"nonextensible", TYPEFLAG_FNONEXTENSIBLE},
};
constexpr FlagName kLibFlags[] = {
    {"restricted", LIBFLAG_FRESTRICTED},
    {"control", LIBFLAG_FCONTROL},
    {"hidden", LIBFLAG_FHIDDEN},
};

template <size_t N>
bool ParseFlags(const std::string& s, const FlagName (&names)[N], WORD* out) {
    *out = 0;
    if (s == "none") return true;
    size_t start = 0;
    while (start <= s.size()) {
        size_t comma = s.find(',', start);
        std::string item =
            s.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        bool known = false;
        for (const auto& f : names) {
            if (item == f.name) {
                *out |= f.value;
                known = true;
            }
        }
        if (!known) return false;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

// Reads "key value" pairs after the head tokens; every key may appear once except the repeatable
// ones, which are collected in order.
struct Fields {
    std::map<std::string, std::string> single;
    std::vector<std::pair<std::string, std::string>> repeated;
};

bool ReadFields(const std::vector<std::string>& t, size_t from,
                std::initializer_list<const char*> singles,
                std::initializer_list<const char*> repeatables, Fields* out) {
    for (size_t i = from; i < t.size(); i += 2) {
        if (i + 1 >= t.size()) return false;
        bool matched = false;
        for (const char* key : singles) {
            if (t[i] == key) {
                if (!out->single.emplace(t[i], t[i + 1]).second) return false;
                matched = true;
            }
        }
        for (const char* key : repeatables) {
            if (t[i] == key) {
                out->repeated.emplace_back(t[i], t[i + 1]);
                matched = true;
            }
        }
        if (!matched) return false;
    }
    return true;
}

// Name references are resolved once every type has been read.
struct PendingRef {
    size_t type;
    std::string target;
    INT flags;
};

// What the lines read so far have made.
struct ParseState {
    LibDesc* out = nullptr;
    bool haveLibrary = false;
    std::vector<PendingRef> refs;
    std::map<std::u16string, size_t> byName;  // upper-cased name -> type index
};

std::string FieldOr(const Fields& f, const char* key, const char* fallback) {
    auto it = f.single.find(key);
    return it == f.single.end() ? fallback : it->second;
}

bool ParseSyskind(const std::string& s, SYSKIND* out) {
    static const struct {
        const char* name;
        SYSKIND kind;
    } kKinds[] = {
        {"win16", SYS_WIN16}, {"win32", SYS_WIN32}, {"mac", SYS_MAC}, {"win64", SYS_WIN64}};
    for (const auto& k : kKinds) {
        if (s == k.name) {
            *out = k.kind;
            return true;
        }
    }
    return false;
}

// library NAME {GUID} version M.m [lcid HEX] [syskind KIND] [flags LIST] [help TEXT]
bool ParseLibrary(const std::vector<std::string>& t, ParseState* st) {
    LibDesc* out = st->out;
    Fields f;
    if (st->haveLibrary || t.size() < 3 ||
        !ReadFields(t, 3, {"version", "lcid", "syskind", "flags", "help"}, {}, &f))
        return false;
    unsigned long lcid = 0;
    if (!ToWide(t[1], &out->name) || !ParseGuid(t[2], &out->guid) || !f.single.count("version") ||
        !ParseVersion(f.single["version"], &out->major, &out->minor) ||
        !ParseNumber(FieldOr(f, "lcid", "0"), 16, 0xFFFFFFFFul, &lcid) ||
        !ToWide(f.single["help"], &out->help) ||
        !ParseFlags(FieldOr(f, "flags", "none"), kLibFlags, &out->flags) ||
        !ParseSyskind(FieldOr(f, "syskind", "win32"), &out->syskind)) {
        return false;
    }
    out->lcid = static_cast<LCID>(lcid);
    st->haveLibrary = true;
    return true;
}

// coclass NAME {GUID} [flags LIST] [help TEXT] (impl|default|source INTERFACE)...
// interface NAME {GUID} base INTERFACE [flags LIST] [help TEXT]
bool ParseType(const std::vector<std::string>& t, bool coclass, ParseState* st) {
    TypeDesc d;
    Fields f;
    if (!st->haveLibrary || t.size() < 3) return false;
    if (coclass ? !ReadFields(t, 3, {"flags", "help"}, {"impl", "default", "source"}, &f)
                : !ReadFields(t, 3, {"flags", "help", "base"}, {}, &f)) {
        return false;
    }
    d.kind = coclass ? TKIND_COCLASS : TKIND_INTERFACE;
    if (!ToWide(t[1], &d.name) || d.name.empty() || !ParseGuid(t[2], &d.guid) ||
        !ToWide(f.single["help"], &d.help) ||
        !ParseFlags(FieldOr(f, "flags", "none"), kTypeFlags, &d.flags)) {
        return false;
    }
    const size_t index = st->out->types.size();
    if (!st->byName.emplace(text::Upcase(d.name), index).second) return false;
    if (coclass) {
        for (const auto& r : f.repeated) {
            INT flags = r.first == "default"  ? IMPLTYPEFLAG_FDEFAULT
                        : r.first == "source" ? IMPLTYPEFLAG_FSOURCE
                                              : 0;
            st->refs.push_back({index, r.second, flags});
        }
    } else {
        if (!f.single.count("base")) return false;
        st->refs.push_back({index, f.single["base"], 0});
    }
    st->out->types.push_back(std::move(d));
    return true;
}

// A property accessor's name loses its prefix and gives its kind; any other name is a method.
void SplitAccessor(const std::u16string& name, Member* m) {
    static const struct {
        std::u16string_view prefix;
        INVOKEKIND kind;
    } kPrefixes[] = {{u"get_", INVOKE_PROPERTYGET},
                     {u"putref_", INVOKE_PROPERTYPUTREF},
                     {u"put_", INVOKE_PROPERTYPUT}};
    m->name = name;
    for (const auto& p : kPrefixes) {
        if (name.size() > p.prefix.size() && name.compare(0, p.prefix.size(), p.prefix) == 0) {
            m->name = name.substr(p.prefix.size());
            m->kind = p.kind;
            return;
        }
    }
}

// method NAME, a member of the interface above it.
bool ParseMethod(const std::vector<std::string>& t, LibDesc* out) {
    std::u16string wide;
    if (out->types.empty() || out->types.back().kind != TKIND_INTERFACE || t.size() != 2 ||
        !ToWide(t[1], &wide) || wide.empty()) {
        return false;
    }
    TypeDesc& d = out->types.back();
    Member m;
    SplitAccessor(wide, &m);
    // Accessors of one property share its member id; a second accessor of the same kind is a
    // duplicate method.
    MEMBERID next = 0x60000000;
    for (const Member& other : d.functions) {
        if (other.memid >= next) next = other.memid + 1;
        if (text::EqualNoCase(other.name, m.name)) {
            if (other.kind == m.kind || other.kind == INVOKE_FUNC || m.kind == INVOKE_FUNC)
                return false;
            m.memid = other.memid;
        }
    }
    if (m.memid == MEMBERID_NIL) m.memid = next;
    d.functions.push_back(std::move(m));
    return true;
}

bool ParseLine(const std::vector<std::string>& t, ParseState* st) {
    const std::string& kw = t[0];
    if (kw == "library") return ParseLibrary(t, st);
    if (kw == "importlib") {
        WORD a = 0, b = 0;
        return st->haveLibrary && t.size() == 3 && ParseVersion(t[2], &a, &b);
    }
    if (kw == "coclass" || kw == "interface") return ParseType(t, kw == "coclass", st);
    if (kw == "method") return ParseMethod(t, st->out);
    return false;
}

// A reference names IUnknown or another interface of the library, never the type itself.
bool ResolveRefs(const ParseState& st) {
    std::vector<TypeDesc>& types = st.out->types;
    for (const PendingRef& r : st.refs) {
        ImplRef ref;
        ref.flags = r.flags;
        std::u16string name;
        if (!ToWide(r.target, &name)) return false;
        if (text::EqualNoCase(name, u"IUnknown")) {
            ref.type = kUnknownRef;
        } else {
            auto it = st.byName.find(text::Upcase(name));
            if (it == st.byName.end() || types[it->second].kind != TKIND_INTERFACE ||
                it->second == r.type)
                return false;
            ref.type = static_cast<int>(it->second);
        }
        types[r.type].impls.push_back(ref);
    }
    return true;
}

}  // namespace

bool Parse(std::string_view text, LibDesc* out) {
    *out = LibDesc();
    ParseState st;
    st.out = out;
    std::vector<std::string> t;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!Tokenize(line, &t)) return false;
        if (!t.empty() && !ParseLine(t, &st)) return false;
    }
    return st.haveLibrary && ResolveRefs(st);
}

}  // namespace corvane::tlb
