// What the recording doubles share: the log of every call with its arguments and result, the
// plan of injected failures, and the Recorder mix-in that every double records through.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"

#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace corvane::testing {

struct Call {
    std::string object;             // e.g. "AudioHelper#2": class and creation serial
    std::string method;             // e.g. "TakeBlock"
    std::vector<std::string> args;  // the arguments as text (see FormatArg)
    HRESULT result = S_OK;          // what the double answered
    bool done = false;              // false while the call runs (or when it threw)
};

// Every call of every double of one DoublesState, in the order the calls began.
class CallLog {
public:
    size_t Begin(Call call);
    void End(size_t index, HRESULT result);
    std::vector<Call> Calls() const;
    // Calls of this method (of any object), in order.
    std::vector<Call> Calls(const std::string& method) const;
    size_t Count(const std::string& method) const;
    void Clear();
    // One line per call, for failure messages.
    std::string Dump() const;

private:
    mutable std::mutex lock_;
    std::vector<Call> calls_;
};

// Failures that the doubles answer instead of doing the call.
class FailurePlan {
public:
    // Method `method` answers hr, when key is not empty only for that key (parameter name), for
    // the next `times` calls (-1: every call), after letting `skip` matching calls through.
    void FailCall(const std::string& method, HRESULT hr, const OleString& key = OLESTR(""),
                  int times = -1, int skip = 0);
    // Creation of the class answers hr (CoCreateInstance fails with it), `times` times (-1:
    // always).
    void FailCreate(const CLSID& clsid, HRESULT hr, int times = -1);
    void Clear();

    // The failure for this call, or S_OK; consumes one count of a limited failure.
    HRESULT CheckCall(const std::string& method, const OleString& key);
    HRESULT CheckCreate(const CLSID& clsid);

private:
    struct Rule {
        std::string method;
        OleString key;
        CLSID clsid;
        bool create;
        HRESULT hr;
        int times;
        int skip;
    };
    HRESULT Consume(const std::function<bool(const Rule&)>& match);

    std::mutex lock_;
    std::vector<Rule> rules_;
};

// A door that reads can be made to wait at: closed, every Pass() blocks until Open().
class Gate {
public:
    void Close();
    void Open();
    // Blocks while the gate is closed.
    void Pass();
    // Waits until at least n callers are blocked in Pass(); false after timeoutMs.
    bool WaitForWaiting(int n, int timeoutMs);

private:
    std::mutex lock_;
    std::condition_variable cv_;
    bool closed_ = false;
    int waiting_ = 0;
};

// The state that all doubles created for one test share.
struct DoublesState {
    CallLog log;
    FailurePlan failures;
    // Serial per class name, for the object labels.
    std::string NextLabel(const std::string& className);

private:
    std::mutex lock_;
    std::map<std::string, int> serials_;
};

// Arguments as text: integers in decimal, doubles with 17 significant digits, strings as UTF-8
// in quotes, pointers as "ptr" or "null", GUIDs in braces, VARIANTs as "vt=N".
std::string FormatArg(const OLECHAR* s);
std::string FormatArg(double d);
std::string FormatArg(const GUID& g);
std::string FormatArg(const VARIANT& v);
template <class T>
std::string FormatArg(const T& v) {
    if constexpr (std::is_pointer_v<T>) {
        return v ? "ptr" : "null";
    } else if constexpr (std::is_floating_point_v<T>) {
        return FormatArg(static_cast<double>(v));
    } else if constexpr (std::is_integral_v<T>) {
        return std::to_string(v);
    } else {
        return "?";
    }
}
inline std::string FormatArg(OLECHAR* s) {
    return FormatArg(static_cast<const OLECHAR*>(s));
}

// The mix-in of every double: its label and the shared state, and Record, which logs a call,
// answers an injected failure instead of doing it, or does it and logs the result.
class Recorder {
public:
    Recorder(std::shared_ptr<DoublesState> state, const std::string& className)
        : state_(std::move(state)), label_(state_->NextLabel(className)) {}
    const std::string& Label() const { return label_; }
    const std::shared_ptr<DoublesState>& State() const { return state_; }

protected:
    template <class F, class... Args>
    HRESULT Record(const char* method, const OleString& key, F&& call, const Args&... args) {
        Call c;
        c.object = label_;
        c.method = method;
        (c.args.push_back(FormatArg(args)), ...);
        size_t index = state_->log.Begin(std::move(c));
        HRESULT hr = state_->failures.CheckCall(method, key);
        if (SUCCEEDED(hr)) hr = call();
        state_->log.End(index, hr);
        return hr;
    }
    template <class F, class Tuple>
    HRESULT RecordTuple(const char* method, const OleString& key, F&& call, const Tuple& args) {
        return std::apply([&](const auto&... a) { return Record(method, key, call, a...); }, args);
    }

private:
    std::shared_ptr<DoublesState> state_;
    std::string label_;
};

// The key of a parameter call as it is matched by FailurePlan (empty for a null BSTR).
OleString KeyOf(BSTR name);

}  // namespace corvane::testing
