#include "tools/corvane-fx/output_file.h"

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
    std::string why;
    OutputName name;
    const HRESULT hr = ResolveOutput(target, &name, &why);
    if (FAILED(hr)) {
        *error = why;
        return hr;
    }
    if (name.kind == OutputKind::Folder) {
        *error = "it is a folder; name a file in it";
        return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
    }
    target_ = name;
    if (name.kind == OutputKind::File) return CreateTemporary(error);
    temp_ = name.file;
    direct_ = true;
    return S_OK;
}

HRESULT TemporaryOutput::CreateTemporary(std::string* error) {
    const std::string& file = target_.file;
    const size_t slash = file.find_last_of(PathSeparators());
    const std::string dir = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    std::string path, why;
    const HRESULT hr = CreateUniqueFile(dir + "." + base + ".", &path, &why);
    if (FAILED(hr)) {
        *error = "cannot create a file in " +
                 (dir.empty() ? std::string("the current folder") : dir) + ": " + why;
        return hr;
    }
    temp_ = path;
    ArmRemovalOnSignal(temp_);
    return S_OK;
}

HRESULT TemporaryOutput::Open(DWORD rate, WORD channels, host::WavContainer container,
                              std::unique_ptr<host::WavWriter>* out, std::string* error) {
    if (temp_.empty()) return E_UNEXPECTED;
    if (direct_) {
        int fd = -1;
        HRESULT hr = OpenOutput(target_, &fd, error);
        if (hr == S_OK) return host::WavWriter::Adopt(fd, rate, channels, container, out, error);
        if (FAILED(hr)) return hr;
        // What stands at the name now is a regular file, or nothing: it is replaced only by a
        // finished file, so that a failed run leaves it as it was.
        direct_ = false;
        temp_.clear();
        target_.kind = OutputKind::File;
        if (FAILED(hr = CreateTemporary(error))) return hr;
    }
    return host::WavWriter::Create(temp_, rate, channels, container, out, error);
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
    // Looked at again, as the name may have changed since Create.
    std::string what;
    const OutputKind now = KindAt(target_.file, &what);
    HRESULT hr = S_FALSE;
    if (now == OutputKind::Special) {
        int fd = -1;
        const OutputName special{target_.file, now};
        hr = OpenOutput(special, &fd, error);
        if (hr == S_OK) hr = CopyInto(temp_, fd, error);
        if (FAILED(hr)) return Keep(hr, error);
    } else if (now != OutputKind::File) {
        *error = target_.file + " is no longer a regular file but " + what;
        return Keep(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), error);
    }
    if (hr == S_OK) {  // written into the device or FIFO
        Discard();
        return S_OK;
    }
    // A regular file or nothing (again, for a FIFO that went meanwhile) takes the finished file.
    hr = MoveOnto(temp_, target_.file, error);
    if (FAILED(hr)) {
        Discard();
        return hr;
    }
    DisarmRemovalOnSignal(temp_);
    temp_.clear();
    return S_OK;
}

// The finished audio stays where it is, and the message says where.
HRESULT TemporaryOutput::Keep(HRESULT hr, std::string* error) {
    *error += "; the finished audio is left in " + temp_;
    DisarmRemovalOnSignal(temp_);
    temp_.clear();
    return hr;
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
