// Undo log of a registration: images of keys taken before the registrar changes them.
#include "server/reg_transaction.h"

#include <new>

#include "platform/exceptions.h"
#include "server/reg_key.h"

namespace corvane {

namespace {

struct ValueImage {
    OleString name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const ValueImage& o) const {
        return name == o.name && type == o.type && data == o.data;
    }
};

struct KeyImage {
    OleString name;  // as stored (case kept); empty for the top of an image read by path
    std::vector<ValueImage> values;
    std::vector<KeyImage> subkeys;
    bool operator==(const KeyImage& o) const {
        return name == o.name && values == o.values && subkeys == o.subkeys;
    }
};

LSTATUS ReadValues(HKEY key, std::vector<ValueImage>* out) {
    DWORD count = 0, maxName = 0, maxData = 0;
    LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      &count, &maxName, &maxData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    out->clear();
    OleString name(maxName + 1, OLESTR('\0'));
    std::vector<BYTE> data(maxData);
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameChars = maxName + 1, dataBytes = maxData, type = REG_NONE;
        status = RegEnumValueW(key, i, &name[0], &nameChars, nullptr, &type,
                               data.empty() ? nullptr : data.data(), &dataBytes);
        if (status != ERROR_SUCCESS) return status;
        out->push_back(ValueImage{name.substr(0, nameChars), type,
                                  std::vector<BYTE>(data.begin(), data.begin() + dataBytes)});
    }
    return ERROR_SUCCESS;
}

LSTATUS ReadTree(HKEY key, KeyImage* out) {
    LSTATUS status = ReadValues(key, &out->values);
    if (status != ERROR_SUCCESS) return status;
    DWORD count = 0, maxName = 0;
    status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &maxName, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    out->subkeys.clear();
    OleString name(maxName + 1, OLESTR('\0'));
    for (DWORD i = 0; i < count; ++i) {
        DWORD chars = maxName + 1;
        status = RegEnumKeyExW(key, i, &name[0], &chars, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) return status;
        KeyImage sub;
        sub.name = name.substr(0, chars);
        RegKey child;
        status = RegOpenKeyExW(key, sub.name.c_str(), 0, KEY_READ, child.Out());
        if (status != ERROR_SUCCESS) return status;
        status = ReadTree(child.Get(), &sub);
        if (status != ERROR_SUCCESS) return status;
        out->subkeys.push_back(std::move(sub));
    }
    return ERROR_SUCCESS;
}

// The stored spelling of the last component of path (found through its parent), or the
// component as given when the parent cannot be listed.
OleString StoredName(HKEY hive, const OleString& path) {
    size_t sep = path.rfind(OLESTR('\\'));
    OleString last = sep == OleString::npos ? path : path.substr(sep + 1);
    RegKey parent;
    if (sep != OleString::npos && RegOpenKeyExW(hive, path.substr(0, sep).c_str(), 0, KEY_READ,
                                                parent.Out()) != ERROR_SUCCESS)
        return last;
    HKEY where = sep == OleString::npos ? hive : parent.Get();
    DWORD count = 0, maxName = 0;
    if (RegQueryInfoKeyW(where, nullptr, nullptr, nullptr, &count, &maxName, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return last;
    OleString name(maxName + 1, OLESTR('\0'));
    for (DWORD i = 0; i < count; ++i) {
        DWORD chars = maxName + 1;
        if (RegEnumKeyExW(where, i, &name[0], &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        OleString candidate = name.substr(0, chars);
        if (EqualIgnoringCase(candidate, last)) return candidate;
    }
    return last;
}

LSTATUS SetValues(HKEY key, const std::vector<ValueImage>& values) {
    for (const ValueImage& v : values) {
        LSTATUS status =
            RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.empty() ? nullptr : v.data.data(),
                           static_cast<DWORD>(v.data.size()));
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

LSTATUS WriteTree(HKEY parent, const OleString& subPath, const KeyImage& image) {
    RegKey key;
    LSTATUS status = RegCreateKeyExW(parent, subPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, key.Out(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = SetValues(key.Get(), image.values);
    if (status != ERROR_SUCCESS) return status;
    for (const KeyImage& sub : image.subkeys) {
        status = WriteTree(key.Get(), sub.name, sub);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

LSTATUS DeleteTreeIfPresent(HKEY hive, const OleString& path) {
    LSTATUS status = RegDeleteTreeW(hive, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

bool IsSameOrBelow(const OleString& upperPath, const OleString& upperBase) {
    if (upperPath.size() < upperBase.size()) return false;
    if (upperPath.compare(0, upperBase.size(), upperBase) != 0) return false;
    return upperPath.size() == upperBase.size() || upperPath[upperBase.size()] == OLESTR('\\');
}

}  // namespace

struct RegistryTransaction::Record {
    HKEY hive;
    OleString path;   // below the hive, as the caller spelt it
    OleString upper;  // upper-cased path, for comparisons
    bool tree;
    bool existed;
    KeyImage image;  // values only for a key record; the whole subtree for a tree record

    LSTATUS Restore() const {
        if (!existed) return DeleteTreeIfPresent(hive, path);
        if (tree) {
            RegKey current;
            if (RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ, current.Out()) == ERROR_SUCCESS) {
                KeyImage now;
                if (ReadTree(current.Get(), &now) == ERROR_SUCCESS) {
                    now.name = StoredName(hive, path);
                    if (now == image) return ERROR_SUCCESS;
                }
            }
            LSTATUS status = DeleteTreeIfPresent(hive, path);
            if (status != ERROR_SUCCESS) return status;
            size_t sep = path.rfind(OLESTR('\\'));
            OleString recreated =
                sep == OleString::npos ? image.name : path.substr(0, sep + 1) + image.name;
            return WriteTree(hive, recreated, image);
        }
        RegKey key;
        LSTATUS status = RegCreateKeyExW(hive, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_ALL_ACCESS, nullptr, key.Out(), nullptr);
        if (status != ERROR_SUCCESS) return status;
        std::vector<ValueImage> now;
        status = ReadValues(key.Get(), &now);
        if (status == ERROR_SUCCESS && now == image.values) return ERROR_SUCCESS;
        // Clearing first and setting in the saved order also brings back the order of values.
        for (const ValueImage& v : now) {
            status = RegDeleteValueW(key.Get(), v.name.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
        }
        return SetValues(key.Get(), image.values);
    }
};

HRESULT RegistrySession::Begin(DWORD waitMs) {
    if (open_) return E_UNEXPECTED;
    LSTATUS status = CorvaneRegistryBeginTransaction(waitMs);
    open_ = status == ERROR_SUCCESS;
    return RegResult(status);
}

HRESULT RegistrySession::Commit() {
    if (!open_) return E_UNEXPECTED;
    open_ = false;
    return RegResult(CorvaneRegistryEndTransaction(TRUE));
}

void RegistrySession::Abandon() noexcept {
    if (open_) CorvaneRegistryEndTransaction(FALSE);
    open_ = false;
}

RegistryTransaction::RegistryTransaction() = default;
RegistryTransaction::~RegistryTransaction() = default;

HRESULT RegistryTransaction::SaveKey(HKEY root, OleStringView path) {
    return Save(root, path, false);
}

HRESULT RegistryTransaction::SaveTree(HKEY root, OleStringView path) {
    return Save(root, path, true);
}

size_t RegistryTransaction::RecordCount() const {
    return records_.size();
}

HRESULT RegistryTransaction::Save(HKEY root, OleStringView path, bool tree) {
    if (path.empty()) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        if (root == HKEY_CLASSES_ROOT) {
            OleString below = OLESTR("Software\\Classes\\") + OleString(path);
            HRESULT hr = SaveIn(HKEY_LOCAL_MACHINE, below, tree);
            if (FAILED(hr)) return hr;
            return SaveIn(HKEY_CURRENT_USER, below, tree);
        }
        if (root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE) return E_INVALIDARG;
        return SaveIn(root, OleString(path), tree);
    });
}

HRESULT RegistryTransaction::SaveIn(HKEY hive, OleString path, bool tree) {
    OleString upper = UpperCased(path);
    for (const auto& r : records_) {
        if (r->hive != hive) continue;
        // A saved tree already brings back everything below it; a second image of the same key
        // would only hold a later state.
        if (r->tree && IsSameOrBelow(upper, r->upper)) return S_OK;
        if (!tree && !r->tree && r->upper == upper) return S_OK;
    }
    auto record = std::make_unique<Record>();
    record->hive = hive;
    record->path = std::move(path);
    record->upper = std::move(upper);
    record->tree = tree;
    RegKey key;
    LSTATUS status = RegOpenKeyExW(hive, record->path.c_str(), 0, KEY_READ, key.Out());
    if (status == ERROR_FILE_NOT_FOUND) {
        record->existed = false;
    } else if (status != ERROR_SUCCESS) {
        return RegResult(status);
    } else {
        record->existed = true;
        status = tree ? ReadTree(key.Get(), &record->image)
                      : ReadValues(key.Get(), &record->image.values);
        if (status != ERROR_SUCCESS) return RegResult(status);
        if (tree) record->image.name = StoredName(hive, record->path);
    }
    records_.push_back(std::move(record));
    return S_OK;
}

HRESULT RegistryTransaction::Rollback() noexcept {
    HRESULT first = S_OK;
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
        LSTATUS status;
        try {
            status = (*it)->Restore();
        } catch (const std::bad_alloc&) {
            status = ERROR_NOT_ENOUGH_MEMORY;
        }
        if (status != ERROR_SUCCESS && first == S_OK) first = RegResult(status);
    }
    records_.clear();
    return first;
}

}  // namespace corvane
