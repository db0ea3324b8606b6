// The key tables of the user's documentation (docs/corvane-fx.md) against the effects' own
// parameter tables: every key an effect reads through its table is documented with its type, its
// range and its default as the table has them, so that the documentation cannot drift.
#include "effects/EffectKeys.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace {

using Cells = std::array<std::string, 3>;  // type, range, default

// (class, key) -> its cells, from the tables with a class column and from the key tables of a
// section about one class (the first class the section names).
std::map<std::pair<std::string, std::string>, Cells> ReadDocs(const char* path) {
    std::map<std::pair<std::string, std::string>, Cells> rows;
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    const std::regex className("`(\\w+5)`"), name("`(\\w+)`"), cell("\\| *([^|]*?) *(?=\\|)");
    std::string line, sectionClass, rowClass;
    bool classColumn = false;
    for (std::smatch m; std::getline(in, line);) {
        if (line.rfind("## ", 0) == 0) sectionClass.clear();
        if (line.rfind("|", 0) != 0) {
            if (sectionClass.empty() && std::regex_search(line, m, className)) sectionClass = m[1];
            continue;
        }
        std::vector<std::string> c;
        for (std::sregex_iterator it(line.begin(), line.end(), cell), end; it != end; ++it) {
            c.push_back((*it)[1]);
        }
        if (c.size() < 5 || c[0].rfind("---", 0) == 0) continue;
        if (c[0] == "class" || c[0] == "key") classColumn = c[0] == "class";
        if (classColumn && std::regex_search(c[0], m, className)) rowClass = m[1];
        const size_t k = classColumn ? 1 : 0;
        for (std::sregex_iterator it(c[k].begin(), c[k].end(), name), end; it != end; ++it) {
            rows[{classColumn ? rowClass : sectionClass, (*it)[1]}] = {c[k + 1], c[k + 2],
                                                                       c[k + 3]};
        }
    }
    return rows;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return v == FLT_MAX ? "3.4e38" : v == FLT_MIN ? "1.2e-38" : text;
}

std::string RangeText(const ParamSpec& s) {
    const bool integer = s.type == ParamType::Long || s.type == ParamType::LongList;
    if (s.TakesAnything() || (s.lo == INT32_MIN && s.hi == INT32_MAX)) return "any";
    if (s.type == ParamType::ULong && s.lo == 0 && s.hi == UINT32_MAX) return "any";
    if (s.refusesNaN && s.lo == -ParamSpec::kInf && s.hi == ParamSpec::kInf) return "any but NaN";
    if (s.lo == -DBL_MAX && s.hi == DBL_MAX) return "finite";
    if (s.powerOfTwo) return "a power of two from " + Number(s.lo) + " to " + Number(s.hi);
    const bool open =
        (integer && s.hi == INT32_MAX) || s.hi == ParamSpec::kInf || (!integer && s.hi == DBL_MAX);
    if (open) return (s.aboveLo ? "above " : "") + Number(s.lo) + (s.aboveLo ? "" : " and up");
    const bool two = integer && s.hi == s.lo + 1;
    if (s.aboveLo) return "above " + Number(s.lo) + ", up to " + Number(s.hi);
    return Number(s.lo) + (two ? ", " : " to ") + Number(s.hi);
}

TEST(KeyDocs, EveryTableKeyDocumentedAsTheTableHasIt) {
#ifndef CORVANE_USER_DOCS
    GTEST_SKIP() << "the documentation is checked by the native build";
#else
    const auto docs = ReadDocs(CORVANE_USER_DOCS);
    const char* typeWord[] = {"integer",     "unsigned",    "double",          "boolean",
                              "`f64:[...]`", "`f32:[...]`", "list of integers"};
    const auto text = [](LPCOLESTR s) {
        return std::string(s, s + std::char_traits<OLECHAR>::length(s));
    };
    for (const EffectKeys& table : EffectKeyTables()) {
        for (const ParamSpec& spec : table.keys) {
            // A level's twin in decibels is documented with it, in one row.
            for (LPCOLESTR name : {spec.key, spec.twin}) {
                if (name == nullptr) continue;
                SCOPED_TRACE(std::string(table.effect) + " " + text(name));
                const auto it = docs.find({table.effect, text(name)});
                if (it == docs.end()) {
                    ADD_FAILURE() << "not documented";
                    continue;
                }
                const auto& [type, range, def] = it->second;
                EXPECT_EQ(type.rfind(typeWord[static_cast<int>(spec.type)], 0), 0u) << type;
                if (spec.type == ParamType::Bool) {
                    EXPECT_EQ(def.rfind(spec.def != 0.0 ? "true" : "false", 0), 0u) << def;
                    continue;
                }
                EXPECT_EQ(range.rfind(RangeText(spec), 0), 0u)
                    << range << " for " << RangeText(spec);
                char* end = nullptr;
                if (std::isnan(spec.def)) {
                    EXPECT_EQ(def.rfind("none", 0), 0u) << def;
                } else {
                    EXPECT_TRUE(std::strtod(def.c_str(), &end) == spec.def && end != def.c_str())
                        << def << " for " << spec.def;
                }
                // What the range or default follows is named.
                if (spec.boundBy) {
                    const std::string by = "`" + text(spec.boundBy) + "`";
                    EXPECT_NE((range + def).find(by), std::string::npos) << range << def;
                }
            }
        }
    }
#endif
}

}  // namespace
