// The registrar: replacement, tokenizer, parser and the registry walk of a registration script.
#include "server/registrar.h"

#include "platform/exceptions.h"
#include "server/reg_key.h"
#include "server/reg_transaction.h"

namespace corvane::registrar {

namespace {

// Deeper nesting than any real script needs; the limit keeps a hostile script from exhausting
// the stack of the recursive parser.
constexpr int kMaxDepth = 64;

// ---- tokens ----

struct Token {
    enum Kind { End, Word, Quoted, Open, Close, Equals } kind = End;
    OleString text;
};

bool IsSpace(OLECHAR c) {
    return c == OLESTR(' ') || c == OLESTR('\t') || c == OLESTR('\r') || c == OLESTR('\n') ||
           c == OLESTR('\v') || c == OLESTR('\f');
}

class Lexer {
public:
    explicit Lexer(OleStringView text) : text_(text) {
        if (!text_.empty() && text_[0] == OLESTR('\xFEFF')) pos_ = 1;  // byte-order mark
    }

    // False on an unterminated quoted string.
    bool Next(Token* t) {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
        t->text.clear();
        if (pos_ == text_.size()) {
            t->kind = Token::End;
            return true;
        }
        if (text_[pos_] == OLESTR('\'')) {
            ++pos_;
            for (;;) {
                if (pos_ == text_.size()) return false;
                OLECHAR c = text_[pos_++];
                if (c == OLESTR('\'')) {
                    if (pos_ < text_.size() && text_[pos_] == OLESTR('\'')) {
                        ++pos_;
                    } else {
                        break;
                    }
                }
                t->text.push_back(c);
            }
            t->kind = Token::Quoted;
            return true;
        }
        while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != OLESTR('\''))
            t->text.push_back(text_[pos_++]);
        t->kind = t->text == OLESTR("{")   ? Token::Open
                  : t->text == OLESTR("}") ? Token::Close
                  : t->text == OLESTR("=") ? Token::Equals
                                           : Token::Word;
        return true;
    }

private:
    OleStringView text_;
    size_t pos_ = 0;
};

// ---- the parsed script ----

struct ScriptValue {
    OleString name;  // "" for a key's default value
    DWORD type = REG_SZ;
    OleString text;    // REG_SZ
    DWORD number = 0;  // REG_DWORD
};

enum class KeyMode { Plain, NoRemove, ForceRemove };

struct ScriptKey {
    OleString name;
    KeyMode mode = KeyMode::Plain;
    bool hasDefault = false;
    ScriptValue defaultValue;
    std::vector<ScriptValue> values;
    std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
    HKEY root;
    std::vector<ScriptKey> keys;
};

bool KeywordIs(const Token& t, OleStringView word) {
    return t.kind == Token::Word && EqualIgnoringCase(t.text, word);
}

class Parser {
public:
    explicit Parser(OleStringView text) : lexer_(text) {}

    bool Parse(std::vector<ScriptRoot>* roots) {
        if (!Advance()) return false;
        while (tok_.kind != Token::End) {
            ScriptRoot root;
            if (!RootKey(&root.root)) return false;
            if (!Advance() || tok_.kind != Token::Open || !Advance()) return false;
            if (!Items(&root.keys, nullptr, 1)) return false;
            roots->push_back(std::move(root));
        }
        return true;
    }

private:
    bool Advance() { return lexer_.Next(&tok_); }

    bool RootKey(HKEY* root) const {
        if (KeywordIs(tok_, OLESTR("HKCR")) || KeywordIs(tok_, OLESTR("HKEY_CLASSES_ROOT"))) {
            *root = HKEY_CLASSES_ROOT;
        } else if (KeywordIs(tok_, OLESTR("HKCU")) ||
                   KeywordIs(tok_, OLESTR("HKEY_CURRENT_USER"))) {
            *root = HKEY_CURRENT_USER;
        } else if (KeywordIs(tok_, OLESTR("HKLM")) ||
                   KeywordIs(tok_, OLESTR("HKEY_LOCAL_MACHINE"))) {
            *root = HKEY_LOCAL_MACHINE;
        } else {
            return false;
        }
        return true;
    }

    // Reads items up to and including the closing brace. values is NULL at the root level, where
    // named values have no key to go to.
    bool Items(std::vector<ScriptKey>* keys, std::vector<ScriptValue>* values, int depth) {
        if (depth > kMaxDepth) return false;
        for (;;) {
            if (tok_.kind == Token::Close) return Advance();
            if (tok_.kind == Token::End) return false;
            if (KeywordIs(tok_, OLESTR("val"))) {
                if (values == nullptr) return false;
                ScriptValue v;
                if (!Advance() || !Name(&v.name) || !Advance() || tok_.kind != Token::Equals ||
                    !Advance() || !Value(&v))
                    return false;
                values->push_back(std::move(v));
                continue;
            }
            ScriptKey key;
            if (KeywordIs(tok_, OLESTR("NoRemove"))) {
                key.mode = KeyMode::NoRemove;
                if (!Advance()) return false;
            } else if (KeywordIs(tok_, OLESTR("ForceRemove"))) {
                key.mode = KeyMode::ForceRemove;
                if (!Advance()) return false;
            }
            if (IsKeyword(tok_) || !Name(&key.name) || !Advance()) return false;
            if (tok_.kind == Token::Equals) {
                if (!Advance() || !Value(&key.defaultValue)) return false;
                key.hasDefault = true;
            }
            if (tok_.kind == Token::Open) {
                if (!Advance() || !Items(&key.subkeys, &key.values, depth + 1)) return false;
            }
            keys->push_back(std::move(key));
        }
    }

    static bool IsKeyword(const Token& t) {
        return KeywordIs(t, OLESTR("val")) || KeywordIs(t, OLESTR("NoRemove")) ||
               KeywordIs(t, OLESTR("ForceRemove"));
    }

    // The current token as a key or value name.
    // A NUL would end the name early in the registry's calls, which would then open the parent
    // in its place.
    bool Name(OleString* out) const {
        if (tok_.kind != Token::Word && tok_.kind != Token::Quoted) return false;
        if (tok_.text.empty() || tok_.text.find(OLESTR('\\')) != OleString::npos ||
            tok_.text.find(OLESTR('\0')) != OleString::npos)
            return false;
        *out = tok_.text;
        return true;
    }

    // A type letter and its data, starting at the current token; leaves the token after them.
    bool Value(ScriptValue* v) {
        if (KeywordIs(tok_, OLESTR("s"))) {
            if (!Advance() || tok_.kind != Token::Quoted) return false;
            v->type = REG_SZ;
            v->text = tok_.text;
            return Advance();
        }
        if (KeywordIs(tok_, OLESTR("d"))) {
            if (!Advance() || (tok_.kind != Token::Quoted && tok_.kind != Token::Word))
                return false;
            v->type = REG_DWORD;
            if (!Number(tok_.text, &v->number)) return false;
            return Advance();
        }
        return false;
    }

    static bool Number(const OleString& s, DWORD* out) {
        unsigned base = 10;
        size_t i = 0;
        if (s.size() > 2 && s[0] == OLESTR('0') && (s[1] == OLESTR('x') || s[1] == OLESTR('X'))) {
            base = 16;
            i = 2;
        }
        if (i == s.size()) return false;
        unsigned long long n = 0;
        for (; i < s.size(); ++i) {
            OLECHAR c = s[i];
            unsigned digit;
            if (c >= OLESTR('0') && c <= OLESTR('9')) {
                digit = c - OLESTR('0');
            } else if (base == 16 && c >= OLESTR('a') && c <= OLESTR('f')) {
                digit = c - OLESTR('a') + 10;
            } else if (base == 16 && c >= OLESTR('A') && c <= OLESTR('F')) {
                digit = c - OLESTR('A') + 10;
            } else {
                return false;
            }
            n = n * base + digit;
            if (n > 0xFFFFFFFFull) return false;
        }
        *out = static_cast<DWORD>(n);
        return true;
    }

    Lexer lexer_;
    Token tok_;
};

// ---- the registry walk ----

// A key as the undo log names it: a predefined root and the path below it.
struct Place {
    HKEY root;
    OleString path;
    Place Child(const OleString& name) const {
        return Place{root, path.empty() ? name : path + OLESTR("\\") + name};
    }
};

LSTATUS SetValue(HKEY key, const ScriptValue& v) {
    if (v.type == REG_DWORD) {
        return RegSetValueExW(key, v.name.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&v.number), sizeof v.number);
    }
    return RegSetValueExW(key, v.name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(v.text.c_str()),
                          static_cast<DWORD>((v.text.size() + 1) * sizeof(OLECHAR)));
}

HRESULT RegisterKey(HKEY parent, const Place& parentPlace, const ScriptKey& entry,
                    RegistryTransaction* tx) {
    Place place = parentPlace.Child(entry.name);
    HRESULT hr;
    if (entry.mode == KeyMode::ForceRemove) {
        if (tx != nullptr && FAILED(hr = tx->SaveTree(place.root, place.path))) return hr;
        LSTATUS status = RegDeleteTreeW(parent, entry.name.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return RegResult(status);
    }
    if (tx != nullptr && FAILED(hr = tx->SaveKey(place.root, place.path))) return hr;
    RegKey key;
    LSTATUS status =
        RegCreateKeyExW(parent, entry.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.Out(), nullptr);
    if (status != ERROR_SUCCESS) return RegResult(status);
    if (entry.hasDefault && (status = SetValue(key.Get(), entry.defaultValue)) != ERROR_SUCCESS)
        return RegResult(status);
    for (const ScriptValue& v : entry.values) {
        if ((status = SetValue(key.Get(), v)) != ERROR_SUCCESS) return RegResult(status);
    }
    for (const ScriptKey& sub : entry.subkeys) {
        if (FAILED(hr = RegisterKey(key.Get(), place, sub, tx))) return hr;
    }
    return S_OK;
}

HRESULT UnregisterKey(HKEY parent, const ScriptKey& entry) {
    if (entry.mode == KeyMode::ForceRemove) {
        LSTATUS status = RegDeleteTreeW(parent, entry.name.c_str());
        return status == ERROR_FILE_NOT_FOUND ? S_OK : RegResult(status);
    }
    RegKey key;
    LSTATUS status = RegOpenKeyExW(parent, entry.name.c_str(), 0, KEY_ALL_ACCESS, key.Out());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    if (status != ERROR_SUCCESS) return RegResult(status);
    for (const ScriptKey& sub : entry.subkeys) {
        HRESULT hr = UnregisterKey(key.Get(), sub);
        if (FAILED(hr)) return hr;
    }
    for (const ScriptValue& v : entry.values) {
        status = RegDeleteValueW(key.Get(), v.name.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return RegResult(status);
    }
    if (entry.mode == KeyMode::NoRemove) return S_OK;
    // A plain key goes only when nothing but what the script wrote is left in it.
    DWORD subkeys = 0, values = 0;
    status = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                              &values, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return RegResult(status);
    if (subkeys != 0 || values > 1) return S_OK;
    if (values == 1) {
        if (!entry.hasDefault) return S_OK;
        if (RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return S_OK;  // the one value left is a named value the script does not know
    }
    key.Close();
    status = RegDeleteKeyW(parent, entry.name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : RegResult(status);
}

HRESULT ApplyRoot(const ScriptRoot& root, bool bRegister, ClassesRoot classes,
                  RegistryTransaction* tx) {
    RegKey classesKey;
    HKEY base = root.root;
    Place place{root.root, OLESTR("")};
    // HKCR is written as the Software\Classes key of one hive, not through the merged view:
    // through the view a machine registration would rewrite a user's keys where they exist.
    if (root.root == HKEY_CLASSES_ROOT) {
        const HKEY hive = classes == ClassesRoot::PerUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        LSTATUS status = bRegister ? RegCreateKeyExW(hive, OLESTR("Software\\Classes"), 0, nullptr,
                                                     REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                                     nullptr, classesKey.Out(), nullptr)
                                   : RegOpenKeyExW(hive, OLESTR("Software\\Classes"), 0,
                                                   KEY_ALL_ACCESS, classesKey.Out());
        if (!bRegister && status == ERROR_FILE_NOT_FOUND) return S_OK;
        if (status != ERROR_SUCCESS) return RegResult(status);
        base = classesKey.Get();
        place = Place{hive, OLESTR("Software\\Classes")};
    }
    for (const ScriptKey& key : root.keys) {
        HRESULT hr = bRegister ? RegisterKey(base, place, key, tx) : UnregisterKey(base, key);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace

HRESULT ExpandReplacements(OleStringView script, const std::vector<Replacement>& map,
                           OleString* out) {
    out->clear();
    out->reserve(script.size());
    size_t i = 0;
    while (i < script.size()) {
        OLECHAR c = script[i++];
        if (c != OLESTR('%')) {
            out->push_back(c);
            continue;
        }
        size_t end = script.find(OLESTR('%'), i);
        if (end == OleStringView::npos) return kSyntaxError;
        OleStringView name = script.substr(i, end - i);
        i = end + 1;
        if (name.empty()) {
            out->push_back(OLESTR('%'));
            continue;
        }
        const Replacement* found = nullptr;
        for (const Replacement& r : map) {
            if (EqualIgnoringCase(r.name, name)) {
                found = &r;
                break;
            }
        }
        if (found == nullptr) return kUnknownReplacement;
        out->append(found->value);
    }
    return S_OK;
}

HRESULT RunScript(std::string_view script, bool bRegister, const std::vector<Replacement>& map,
                  ClassesRoot classes, RegistryTransaction* tx) {
    return CallGuarded([&]() -> HRESULT {
        OleString wide;
        if (!TryUtf8ToOle(script, &wide)) return kSyntaxError;
        OleString expanded;
        HRESULT hr = ExpandReplacements(wide, map, &expanded);
        if (FAILED(hr)) return hr;
        std::vector<ScriptRoot> roots;
        if (!Parser(expanded).Parse(&roots)) return kSyntaxError;
        for (const ScriptRoot& root : roots) {
            hr = ApplyRoot(root, bRegister, classes, bRegister ? tx : nullptr);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    });
}

}  // namespace corvane::registrar
