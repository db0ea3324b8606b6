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
    const size_t slash = target.find_last_of(separators);
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string path, why;
    const HRESULT hr = CreateUniqueFile(dir + "." + base + ".", &path, &why);
    if (FAILED(hr)) {
        *error = "cannot create a file in " +
                 (dir.empty() ? std::string("the current folder") : dir) + ": " + why;
        return hr;
    }
    target_ = target;
    temp_ = path;
    ArmRemovalOnSignal(temp_);
    return S_OK;
}

HRESULT TemporaryOutput::Commit(std::string* error) {
    if (temp_.empty()) {
        *error = "nothing to commit";
        return E_UNEXPECTED;
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
    if (temp_.empty()) return;
    DisarmRemovalOnSignal(temp_);
    RemoveFile(temp_);
    temp_.clear();
}

}  // namespace corvane::fx
