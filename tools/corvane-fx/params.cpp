#include "tools/corvane-fx/params.h"

#include "platform/com_ptr.h"
#include "platform/win32.h"
#include "host/effect_params.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace corvane::fx {

namespace {

// Lists inside list entries nest at most this deep, so that a hostile argument cannot exhaust
// the stack of the recursive parser.
constexpr int kMaxListDepth = 8;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsKeyStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsKeyChar(char c) {
    return IsKeyStart(c) || IsDigit(c) || c == '.' || c == '-';
}
bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The spelling of a number: [+-] digits [. digits] [e [+-] digits], or [+-] . digits [...].
// *whole tells whether it has neither a point nor an exponent.
bool LooksNumeric(std::string_view t, bool* whole) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t intDigits = 0, fracDigits = 0;
    while (i < t.size() && IsDigit(t[i])) ++i, ++intDigits;
    bool point = false, exponent = false;
    if (i < t.size() && t[i] == '.') {
        point = true;
        ++i;
        while (i < t.size() && IsDigit(t[i])) ++i, ++fracDigits;
    }
    if (intDigits + fracDigits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        exponent = true;
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < t.size() && IsDigit(t[i])) ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    *whole = !point && !exponent;
    return i == t.size();
}

// A finite double from a numeric spelling; false when it overflows.
bool ToDouble(std::string_view t, double* out) {
    std::string s(t);
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

class Parser {
public:
    explicit Parser(std::string_view text) : t_(text) {}

    bool Assignment(bool topLevel, int depth, Param* out) {
        SkipSpace();
        size_t start = pos_;
        if (pos_ >= t_.size() || !IsKeyStart(t_[pos_]))
            return Fail("expected a key name (a letter or '_' first)");
        while (pos_ < t_.size() && IsKeyChar(t_[pos_])) ++pos_;
        out->name = std::string(t_.substr(start, pos_ - start));
        out->index = -1;
        if (Peek('[')) {
            ++pos_;
            size_t digits = pos_;
            while (pos_ < t_.size() && IsDigit(t_[pos_])) ++pos_;
            std::string_view n = t_.substr(digits, pos_ - digits);
            if (n.empty()) return Fail("expected an index from 0 in KEY[N]");
            if (n.size() > 10 || std::strtoll(std::string(n).c_str(), nullptr, 10) >
                                     std::numeric_limits<LONG>::max()) {
                return FailAt(digits, "index out of range");
            }
            out->index = static_cast<LONG>(std::strtoll(std::string(n).c_str(), nullptr, 10));
            if (!Peek(']')) return Fail("expected ']' after the index");
            ++pos_;
        }
        SkipSpace();
        if (!Peek('=')) return Fail("expected '=' after the key " + Excerpt(out->name));
        ++pos_;
        SkipSpace();
        size_t valueAt = pos_;
        if (!Value(topLevel, depth, &out->value)) return false;
        if (out->index >= 0 && std::holds_alternative<std::vector<ParamSet>>(out->value)) {
            return FailAt(valueAt, "a list holds for the whole stream: write " +
                                       Excerpt(out->name) + "=[...] without an index");
        }
        return true;
    }

    bool AtEnd() {
        SkipSpace();
        return pos_ >= t_.size();
    }
    bool FailTrailing() { return Fail("unexpected text after the value"); }
    const std::string& Error() const { return error_; }
    size_t ErrorAt() const { return errorAt_; }

private:
    bool Value(bool topLevel, int depth, ParamValue* out) {
        if (pos_ >= t_.size()) return Fail("expected a value");
        std::string_view rest = t_.substr(pos_);
        if (rest.size() >= 4 && EqualNoCase(rest.substr(0, 4), "str:")) {
            if (!topLevel)
                return Fail(
                    "str: takes the rest of the argument; inside a list write the text in quotes");
            size_t at = pos_;
            pos_ = t_.size();
            return Text(at, std::string(rest.substr(4)), out);
        }
        if (rest.size() >= 4 &&
            (EqualNoCase(rest.substr(0, 4), "f32:") || EqualNoCase(rest.substr(0, 4), "f64:"))) {
            bool single = rest[1] == '3';
            pos_ += 4;
            return Array(single, out);
        }
        char c = t_[pos_];
        if (c == '\'' || c == '"') return Quoted(out);
        if (c == '[') return List(depth, out);
        if (c == '{') return Fail("a list entry {...} belongs inside [ ]");
        size_t start = pos_;
        while (pos_ < t_.size() && !IsSpace(t_[pos_]) && t_[pos_] != ',' && t_[pos_] != '}' &&
               t_[pos_] != ']')
            ++pos_;
        std::string_view token = t_.substr(start, pos_ - start);
        if (token.empty()) return Fail("expected a value");
        if (EqualNoCase(token, "true") || EqualNoCase(token, "false")) {
            *out = EqualNoCase(token, "true");
            return true;
        }
        bool whole = false;
        if (!LooksNumeric(token, &whole)) {
            return FailAt(start,
                          "'" + Excerpt(token) +
                              "' is not true/false, a number, a quoted text, str:TEXT, an array "
                              "f32:[..] / f64:[..] or a list [{..}]");
        }
        if (whole) {
            errno = 0;
            long long v = std::strtoll(std::string(token).c_str(), nullptr, 10);
            if (errno == ERANGE || v < std::numeric_limits<int32_t>::min() ||
                v > std::numeric_limits<uint32_t>::max()) {
                return FailAt(start, "whole number " + Excerpt(token) +
                                         " is out of range (-2147483648 to 4294967295; write a "
                                         "decimal point for a double)");
            }
            if (v <= std::numeric_limits<int32_t>::max()) {
                *out = static_cast<int32_t>(v);
            } else {
                *out = static_cast<uint32_t>(v);
            }
            return true;
        }
        double d = 0.0;
        if (!ToDouble(token, &d))
            return FailAt(start, "number " + Excerpt(token) + " is out of range");
        *out = d;
        return true;
    }

    bool Quoted(ParamValue* out) {
        const char q = t_[pos_];
        size_t start = pos_++;
        std::string text;
        for (;;) {
            if (pos_ >= t_.size())
                return FailAt(start, std::string("the text has no closing ") + q);
            char c = t_[pos_++];
            if (c == q) {
                if (Peek(q)) {  // a doubled quote stands for itself
                    text += q;
                    ++pos_;
                    continue;
                }
                break;
            }
            text += c;
        }
        return Text(start, std::move(text), out);
    }

    // Texts travel as UTF-16 to the effect, so they must be valid UTF-8 here.
    bool Text(size_t at, std::string text, ParamValue* out) {
        OleString unused;
        if (!corvane::TryUtf8ToOle(text, &unused)) return FailAt(at, "the text is not valid UTF-8");
        *out = std::move(text);
        return true;
    }

    bool Array(bool single, ParamValue* out) {
        SkipSpace();
        if (!Peek('['))
            return Fail(std::string(single ? "f32:" : "f64:") + " needs a list of numbers in [ ]");
        ++pos_;
        std::vector<double> values;
        SkipSpace();
        if (Peek(']')) {
            ++pos_;
        } else if (!Elements(']', "in the array", [&] { return ArrayElement(single, &values); })) {
            return false;
        }
        if (single) {
            *out = std::vector<float>(values.begin(), values.end());
        } else {
            *out = std::move(values);
        }
        return true;
    }

    bool ArrayElement(bool single, std::vector<double>* values) {
        SkipSpace();
        size_t start = pos_;
        while (pos_ < t_.size() && !IsSpace(t_[pos_]) && t_[pos_] != ',' && t_[pos_] != ']') ++pos_;
        std::string_view token = t_.substr(start, pos_ - start);
        bool whole = false;
        double d = 0.0;
        if (token.empty() || !LooksNumeric(token, &whole))
            return FailAt(start, "expected a number in the array");
        if (!ToDouble(token, &d) || (single && std::fabs(d) > FLT_MAX)) {
            return FailAt(start, "number " + Excerpt(token) + " is out of range for " +
                                     (single ? "a 32-bit float" : "a double"));
        }
        values->push_back(d);
        return true;
    }

    bool List(int depth, ParamValue* out) {
        if (depth >= kMaxListDepth) return Fail("lists nest too deeply");
        ++pos_;  // '['
        std::vector<ParamSet> entries;
        SkipSpace();
        if (Peek(']')) {
            return Fail("an empty list sets nothing: leave the key out");
        }
        const bool ok = Elements(']', "after the list entry", [&] {
            SkipSpace();
            if (!Peek('{')) return Fail("expected '{' to start a list entry");
            ++pos_;
            ParamSet entry;
            SkipSpace();
            if (Peek('}')) {
                ++pos_;
            } else if (!Elements('}', "in the list entry", [&] {
                           size_t at = pos_;
                           Param p;
                           if (!Assignment(false, depth + 1, &p)) return false;
                           if (entry.Find(p.name, p.index)) {
                               return FailAt(
                                   at, "key " + Excerpt(p.name) + " appears twice in one entry");
                           }
                           entry.Set(std::move(p));
                           return true;
                       })) {
                return false;
            }
            entries.push_back(std::move(entry));
            return true;
        });
        if (!ok) return false;
        *out = std::move(entries);
        return true;
    }

    // Elements separated by ',' up to `close`: element() parses one (false after Fail).
    template <class F>
    bool Elements(char close, const char* where, F&& element) {
        for (;;) {
            if (!element()) return false;
            SkipSpace();
            if (Peek(',')) {
                ++pos_;
                continue;
            }
            if (Peek(close)) {
                ++pos_;
                return true;
            }
            return Fail(std::string("expected ',' or '") + close + "' " + where);
        }
    }

    bool Peek(char c) const { return pos_ < t_.size() && t_[pos_] == c; }
    void SkipSpace() {
        while (pos_ < t_.size() && IsSpace(t_[pos_])) ++pos_;
    }
    bool Fail(const std::string& what) { return FailAt(pos_, what); }
    bool FailAt(size_t at, const std::string& what) {
        error_ = what + " (at character " + std::to_string(at + 1) + ")";
        errorAt_ = at;
        return false;
    }

    std::string_view t_;
    size_t pos_ = 0;
    std::string error_;
    size_t errorAt_ = 0;
};

HRESULT SetOne(IEffectParams* target, const Param& p, std::string* failedKey);

HRESULT AppendEntries(IEffectParams* target, BSTR name, const Param& p, std::string* failedKey) {
    const auto& entries = std::get<std::vector<ParamSet>>(p.value);
    for (size_t i = 0; i < entries.size(); ++i) {
        IEffectParams* entry = nullptr;
        HRESULT hr = CoCreateInstance(CLSID_EffectParams, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IEffectParams, reinterpret_cast<void**>(&entry));
        if (SUCCEEDED(hr) && !entry) hr = E_UNEXPECTED;
        if (FAILED(hr)) {
            *failedKey = p.name + "[" + std::to_string(i) + "]";
            return hr;
        }
        std::string inner;
        hr = ApplyParams(entries[i], entry, &inner);
        if (FAILED(hr)) {
            *failedKey = p.name + "[" + std::to_string(i) + "]." + inner;
        } else {
            hr = target->AddZone(name, entry);
            if (FAILED(hr)) *failedKey = p.name + "[" + std::to_string(i) + "]";
        }
        entry->Release();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT SetOne(IEffectParams* target, const Param& p, std::string* failedKey) {
    *failedKey = p.name;
    OleString name16, text16;
    if (!corvane::TryUtf8ToOle(p.name, &name16)) return E_INVALIDARG;
    Bstr name(name16);
    if (!name.Get()) return E_OUTOFMEMORY;
    const LONG ix = p.index;
    HRESULT hr = E_UNEXPECTED;
    if (const auto* b = std::get_if<bool>(&p.value)) {
        hr = target->SetBool(name.Get(), ix, *b ? VARIANT_TRUE : VARIANT_FALSE);
    } else if (const auto* l = std::get_if<int32_t>(&p.value)) {
        hr = target->SetLong(name.Get(), ix, *l);
    } else if (const auto* u = std::get_if<uint32_t>(&p.value)) {
        hr = target->SetULong(name.Get(), ix, *u);
    } else if (const auto* d = std::get_if<double>(&p.value)) {
        hr = target->SetDouble(name.Get(), ix, *d);
    } else if (const auto* s = std::get_if<std::string>(&p.value)) {
        if (!corvane::TryUtf8ToOle(*s, &text16)) {
            hr = E_INVALIDARG;  // not UTF-8
        } else {
            Bstr text(text16);
            hr = text.Get() ? target->SetString(name.Get(), ix, text.Get()) : E_OUTOFMEMORY;
        }
    } else if (const auto* f = std::get_if<std::vector<float>>(&p.value)) {
        hr = target->SetStream(name.Get(), ix, reinterpret_cast<const BYTE*>(f->data()),
                               static_cast<ULONG>(f->size() * sizeof(float)));
    } else if (const auto* f64 = std::get_if<std::vector<double>>(&p.value)) {
        hr = target->SetStream(name.Get(), ix, reinterpret_cast<const BYTE*>(f64->data()),
                               static_cast<ULONG>(f64->size() * sizeof(double)));
    } else {
        return AppendEntries(target, name.Get(), p, failedKey);
    }
    return hr;
}

// pos moved back to the start of the UTF-8 sequence it falls in.
size_t SequenceStart(std::string_view t, size_t pos) {
    while (pos > 0 && pos < t.size() && (static_cast<unsigned char>(t[pos]) & 0xC0) == 0x80) --pos;
    return pos;
}

const char* AskedText(host::ParamReads::Asked asked) {
    // In the order of ParamReads::Asked.
    static const char* const kTexts[] = {"a value", "a boolean", "an integer", "a number",
                                         "text",    "an array",  "a list"};
    return kTexts[static_cast<int>(asked)];
}

// "'loud' is text", "4.5 is a number": the value as written and its type.
std::string DescribeValue(const ParamValue& v, host::ParamReads::Asked asked) {
    char number[32];
    if (const bool* b = std::get_if<bool>(&v))
        return std::string(*b ? "true" : "false") + " is a boolean";
    std::string integer;
    if (const int32_t* l = std::get_if<int32_t>(&v)) integer = std::to_string(*l);
    if (const uint32_t* u = std::get_if<uint32_t>(&v)) integer = std::to_string(*u);
    if (!integer.empty()) {
        return integer + (asked == host::ParamReads::Asked::Integer
                              ? " lies outside the integers it was read as"
                              : " is an integer");
    }
    if (const double* d = std::get_if<double>(&v)) {
        std::snprintf(number, sizeof number, "%.15g", *d);
        return std::string(number) + " is a number";
    }
    if (const auto* t = std::get_if<std::string>(&v)) return "'" + Excerpt(*t) + "' is text";
    if (std::holds_alternative<std::vector<float>>(v)) return "f32:[...] is an array";
    if (std::holds_alternative<std::vector<double>>(v)) return "f64:[...] is an array";
    return "[{...}] is a list";
}

void CollectWarnings(const std::string& who, const ParamSet& set, const std::string& prefix,
                     const host::ParamReads& reads, std::vector<std::string>* out) {
    for (const Param& p : set.Items()) {
        const std::string path = prefix + p.name;
        OleString path16;
        if (!corvane::TryUtf8ToOle(path, &path16)) continue;
        const host::ParamReads::Use use = reads.Find(path16, p.index);
        const std::string shown =
            Excerpt(p.index >= 0 ? path + "[" + std::to_string(p.index) + "]" : path);
        if (use.read) {
            if (const auto* entries = std::get_if<std::vector<ParamSet>>(&p.value)) {
                for (size_t i = 0; i < entries->size(); ++i) {
                    CollectWarnings(who, (*entries)[i], path + "[" + std::to_string(i) + "].",
                                    reads, out);
                }
            }
        } else if (use.mismatched) {
            out->push_back(who + " read " + shown + " as " + AskedText(use.mismatchedAs) + "; " +
                           DescribeValue(p.value, use.mismatchedAs));
        } else {
            out->push_back(who + " never read " + shown);
        }
    }
}

}  // namespace

std::vector<std::string> UnreadParamWarnings(const std::string& who, const ParamSet& set,
                                             const host::ParamReads& reads) {
    std::vector<std::string> out;
    CollectWarnings(who, set, "", reads, &out);
    return out;
}

std::string Excerpt(std::string_view text, size_t at) {
    if (text.size() <= kExcerptChars) return std::string(text);
    constexpr size_t kHead = 40, kLead = 12, kAround = 24;
    std::string out(text.substr(0, SequenceStart(text, kHead)));
    out += "...";
    if (at != std::string_view::npos && at > kHead && at < text.size()) {
        const size_t from = SequenceStart(text, std::max(kHead, at - kLead));
        const size_t to = SequenceStart(text, std::min(text.size(), at + kAround - kLead));
        out += text.substr(from, to - from);
        if (to < text.size()) out += "...";
    }
    return out + " (" + std::to_string(text.size()) + " characters)";
}

void ParamSet::Set(Param p) {
    for (Param& q : items_) {
        if (q.name == p.name && q.index == p.index) {
            q = std::move(p);
            return;
        }
    }
    items_.push_back(std::move(p));
}

const Param* ParamSet::Find(std::string_view name, LONG index) const {
    for (const Param& q : items_) {
        if (q.name == name && q.index == index) return &q;
    }
    return nullptr;
}

bool ParseParam(std::string_view text, Param* out, std::string* error, size_t* errorAt) {
    Parser parser(text);
    Param p;
    if (!parser.Assignment(true, 0, &p) || (!parser.AtEnd() && !parser.FailTrailing())) {
        *error = parser.Error();
        if (errorAt) *errorAt = parser.ErrorAt();
        return false;
    }
    *out = std::move(p);
    return true;
}

bool ParseZone(std::string_view text, ZoneRange* out, std::string* error) {
    const size_t colon = text.find(':');
    bool whole = false;
    ZoneRange z;
    if (colon == std::string_view::npos || !LooksNumeric(text.substr(0, colon), &whole) ||
        !LooksNumeric(text.substr(colon + 1), &whole) ||
        !ToDouble(text.substr(0, colon), &z.start) ||
        !ToDouble(text.substr(colon + 1), &z.duration) || z.start < 0.0 || z.duration < 0.0 ||
        !std::isfinite(z.start + z.duration)) {
        *error = "expected START:DURATION in milliseconds, two numbers from 0 up";
        return false;
    }
    *out = z;
    return true;
}

HRESULT ApplyParams(const ParamSet& set, IEffectParams* target, std::string* failedKey) {
    if (!target || !failedKey) return E_POINTER;
    for (const Param& p : set.Items()) {
        HRESULT hr = SetOne(target, p, failedKey);
        if (FAILED(hr)) return hr;
    }
    failedKey->clear();
    return S_OK;
}

}  // namespace corvane::fx
