#include "tests/support/process.h"

namespace corvane::testing {

std::vector<std::string> CommandWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const size_t end = line.find('\'', i + 1);
            word += line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? line.size() : end;
        } else if (c == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"') ++i;
                word += line[i];
            }
        } else {
            word += c;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

std::string WindowsCommandLine(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& w : words) {
        if (!line.empty()) line += ' ';
        if (!w.empty() && w.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += w;
            continue;
        }
        line += '"';
        size_t backslashes = 0;
        for (char c : w) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            // Backslashes before a quote are escapes: each stands for itself doubled.
            line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(2 * backslashes, '\\');  // before the closing quote
        line += '"';
    }
    return line;
}

}  // namespace corvane::testing
