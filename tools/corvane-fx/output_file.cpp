#include "tools/corvane-fx/output_file.h"

#include "tools/corvane-fx/platform.h"

namespace corvane::fx {

TemporaryOutput::~TemporaryOutput() {
    Discard();
}

HRESULT TemporaryOutput::Create(const std::string& target, std::string* error) {
    Discard();
    const std::string separators = PathSeparators();
    if (target.empty() || separators.find(target.back()) != std::string::npos) {
        *error = "'" + target + "' is not a file name";
        return E_INVALIDARG;
    }
    std::string file, why;
    OutputKind kind = OutputKind::File;
    HRESULT hr = ResolveOutput(target, &file, &kind, &why);
    if (FAILED(hr)) {
        *error = why;
        return hr;
    }
    if (kind == OutputKind::Folder) {
        *error = "it is a folder; name a file in it";
        return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
    }
    if (kind == OutputKind::Special) {
        target_ = temp_ = file;
        direct_ = true;
        return S_OK;
    }
    const size_t slash = file.find_last_of(separators);
    const std::string dir = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    std::string path;
    hr = CreateUniqueFile(dir + "." + base + ".", &path, &why);
    if (FAILED(hr)) {
        *error = "cannot create a file in " +
                 (dir.empty() ? std::string("the current folder") : dir) + ": " + why;
        return hr;
    }
    target_ = file;
    temp_ = path;
    ArmRemovalOnSignal(temp_);
    return S_OK;
}

HRESULT TemporaryOutput::Commit(std::string* error) {
    if (temp_.empty()) {
        *error = "nothing to commit";
        return E_UNEXPECTED;
    }
    if (direct_) {
        direct_ = false;
        temp_.clear();
        return S_OK;
    }
    const HRESULT hr = MoveOnto(temp_, target_, error);
    if (FAILED(hr)) {
        Discard();
        return hr;
    }
    DisarmRemovalOnSignal(temp_);
    temp_.clear();
    return S_OK;
}

void TemporaryOutput::Discard() {
    if (direct_) {
        // Never removed: it was there before, and is no file of ours.
        direct_ = false;
        temp_.clear();
    }
    if (temp_.empty()) return;
    DisarmRemovalOnSignal(temp_);
    RemoveFile(temp_);
    temp_.clear();
}

}  // namespace corvane::fx
