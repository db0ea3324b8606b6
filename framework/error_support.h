// Internal error codes and their reporting as COM error information. Failures inside corvane are
// small positive codes; the two reporting operations (the COM classes' Error and the engine's
// SetError) both go through ReportError, so one class reports one identity.
#pragma once

#include "platform/win32.h"

#include "corvane/corvane.h"

namespace corvane {

// One row of the error table: an internal code, its HRESULT and its English message (static).
struct ErrorTableEntry {
    int code;
    HRESULT hr;
    const OLECHAR* message;
};

// The codes that corvane raises itself, by name; ErrorTable holds their HRESULTs and messages.
enum ErrorCode : int {
    kFileAccessError = 3,
    kAudioFormatUnsupported = 6,
    kInvalidArgument = 8,
};

// Codes 1 to 24 and 37, in that order; every other positive code takes kUnexpectedError.
extern const ErrorTableEntry ErrorTable[25];
extern const ErrorTableEntry kUnexpectedError;  // code 0 in the row: 0x80040300 "Unexpected error."

// The row of a positive code (kUnexpectedError when the table has none). Codes of 0 and below
// have no row and also give kUnexpectedError; ReportError never looks them up.
const ErrorTableEntry& LookupError(int code) noexcept;

// Turns an internal code into an HRESULT:
//   0         -> S_OK; the thread's error information stays as it was;
//   negative  -> the code itself as an HRESULT, without error information;
//   positive  -> the table's HRESULT, and the calling thread's error information is replaced by
//                one with GUID iid, source the ProgID of clsid when one is registered (else
//                empty) and the table's message as description.
// A failure of the error-information calls never changes the result; the information is then
// missing. Holds no state; safe on any thread.
HRESULT ReportError(int code, REFCLSID clsid, REFIID iid) noexcept;

// Makes what `create` holds the calling thread's error information (left as it was when the
// object answers no IErrorInfo). The caller keeps its reference.
void PublishErrorInfo(ICreateErrorInfo* create) noexcept;

}  // namespace corvane

// Error support of a COM class T with class interface Itf. T provides the class's CLSID as
// `static const CLSID& GetObjectCLSID()`; the IID is Itf's (corvane::IidOf).
template <class T, class Itf>
class CTamrixErrorSupport {
public:
    static HRESULT Error(int code) noexcept {
        return corvane::ReportError(code, T::GetObjectCLSID(), corvane::IidOf<Itf>());
    }
};
