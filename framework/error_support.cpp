#include "framework/error_support.h"

namespace corvane {

// The HRESULTs are failures of FACILITY_ITF; their second byte groups them: 0x03 general,
// 0x04 QuickTime, 0x05 AVI and ACM, 0x06 DVD, 0x07 drivers and streams.
const ErrorTableEntry ErrorTable[25] = {
    {1, _HR(0x80040301), OLESTR("Busy error.")},
    {2, _HR(0x80040302), OLESTR("Memory error.")},
    {kFileAccessError, kHrFileAccessError, OLESTR("File access error.")},
    {4, _HR(0x80040304), OLESTR("File format error.")},
    {5, _HR(0x80040305), OLESTR("Video format unsupported.")},
    {kAudioFormatUnsupported, kHrAudioFormatUnsupported, OLESTR("Audio format unsupported.")},
    {7, _HR(0x80040307), OLESTR("Invalid operation.")},
    {kInvalidArgument, _HR(0x80040308), OLESTR("Invalid argument.")},
    {9, _HR(0x80040309), OLESTR("Control not installed.")},
    {10, _HR(0x8004030A), OLESTR("Index out of range.")},
    {11, _HR(0x80040401), OLESTR("QuickTime container not correct.")},
    {12, _HR(0x80040402), OLESTR("QuickTime video description not correct.")},
    {13, _HR(0x80040403), OLESTR("QuickTime audio description not correct.")},
    {14, _HR(0x80040404), OLESTR("QuickTime audio codec not installed.")},
    {15, _HR(0x80040405), OLESTR("QuickTime video codec is not installed.")},
    {16, _HR(0x80040501), OLESTR("AVI container not correct.")},
    {17, _HR(0x80040502), OLESTR("ACM audio codec is not installed.")},
    {18, _HR(0x80040503), OLESTR("ACM video codec is not installed.")},
    {19, _HR(0x80040601), OLESTR("DVD content protected data.")},
    {20, _HR(0x80040701), OLESTR("Output Driver error.")},
    {21, _HR(0x80040702), OLESTR("Input Driver error.")},
    {22, _HR(0x80040703), OLESTR("Mixer Driver error.")},
    {23, _HR(0x80040704), OLESTR("Aspi Driver error.")},
    {24, _HR(0x80040705), OLESTR("The stream is closed or unavailable.")},
    {37, _HR(0x8004030C), OLESTR("Memory allocation error.")},
};

const ErrorTableEntry kUnexpectedError = {0, _HR(0x80040300), OLESTR("Unexpected error.")};

const ErrorTableEntry& LookupError(int code) noexcept {
    for (const ErrorTableEntry& row : ErrorTable) {
        if (row.code == code) return row;
    }
    return kUnexpectedError;
}

HRESULT ReportError(int code, REFCLSID clsid, REFIID iid) noexcept {
    if (code == 0) return S_OK;
    if (code < 0) return static_cast<HRESULT>(code);
    const ErrorTableEntry& row = LookupError(code);

    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || create == nullptr) return row.hr;
    create->SetGUID(iid);
    LPOLESTR progId = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId)) && progId != nullptr) create->SetSource(progId);
    CoTaskMemFree(progId);
    create->SetDescription(const_cast<LPOLESTR>(row.message));
    PublishErrorInfo(create);
    create->Release();
    return row.hr;
}

void PublishErrorInfo(ICreateErrorInfo* create) noexcept {
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) &&
        info != nullptr) {
        SetErrorInfo(0, info);
        info->Release();
    }
}

}  // namespace corvane
