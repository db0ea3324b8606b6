#include "tests/support/call_log.h"

#include "platform/win32.h"

#include <chrono>
#include <sstream>

namespace corvane::testing {

size_t CallLog::Begin(Call call) {
    std::lock_guard<std::mutex> g(lock_);
    calls_.push_back(std::move(call));
    return calls_.size() - 1;
}

void CallLog::End(size_t index, HRESULT result) {
    std::lock_guard<std::mutex> g(lock_);
    if (index < calls_.size()) {
        calls_[index].result = result;
        calls_[index].done = true;
    }
}

std::vector<Call> CallLog::Calls() const {
    std::lock_guard<std::mutex> g(lock_);
    return calls_;
}

std::vector<Call> CallLog::Calls(const std::string& method) const {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<Call> out;
    for (const Call& c : calls_) {
        if (c.method == method) out.push_back(c);
    }
    return out;
}

size_t CallLog::Count(const std::string& method) const {
    std::lock_guard<std::mutex> g(lock_);
    size_t n = 0;
    for (const Call& c : calls_) n += c.method == method;
    return n;
}

void CallLog::Clear() {
    std::lock_guard<std::mutex> g(lock_);
    calls_.clear();
}

std::string CallLog::Dump() const {
    std::lock_guard<std::mutex> g(lock_);
    std::ostringstream s;
    for (const Call& c : calls_) {
        s << c.object << "." << c.method << "(";
        for (size_t i = 0; i < c.args.size(); ++i) s << (i ? ", " : "") << c.args[i];
        char hr[16];
        std::snprintf(hr, sizeof(hr), "0x%08X", static_cast<unsigned>(c.result));
        s << ") -> " << (c.done ? hr : "unfinished") << "\n";
    }
    return s.str();
}

void FailurePlan::FailCall(const std::string& method, HRESULT hr, const OleString& key, int times,
                           int skip) {
    std::lock_guard<std::mutex> g(lock_);
    rules_.push_back(Rule{method, key, GUID_NULL, false, hr, times, skip});
}

void FailurePlan::FailCreate(const CLSID& clsid, HRESULT hr, int times) {
    std::lock_guard<std::mutex> g(lock_);
    rules_.push_back(Rule{"", OLESTR(""), clsid, true, hr, times, 0});
}

void FailurePlan::Clear() {
    std::lock_guard<std::mutex> g(lock_);
    rules_.clear();
}

HRESULT FailurePlan::Consume(const std::function<bool(const Rule&)>& match) {
    std::lock_guard<std::mutex> g(lock_);
    for (Rule& r : rules_) {
        if (r.times == 0 || !match(r)) continue;
        if (r.skip > 0) {
            --r.skip;
            continue;
        }
        if (r.times > 0) --r.times;
        return r.hr;
    }
    return S_OK;
}

HRESULT FailurePlan::CheckCall(const std::string& method, const OleString& key) {
    return Consume([&](const Rule& r) {
        return !r.create && r.method == method && (r.key.empty() || r.key == key);
    });
}

HRESULT FailurePlan::CheckCreate(const CLSID& clsid) {
    return Consume([&](const Rule& r) { return r.create && IsEqualGUID(r.clsid, clsid); });
}

void Gate::Close() {
    std::lock_guard<std::mutex> g(lock_);
    closed_ = true;
}

void Gate::Open() {
    {
        std::lock_guard<std::mutex> g(lock_);
        closed_ = false;
    }
    cv_.notify_all();
}

void Gate::Pass() {
    std::unique_lock<std::mutex> g(lock_);
    if (!closed_) return;
    ++waiting_;
    cv_.notify_all();
    cv_.wait(g, [&] { return !closed_; });
    --waiting_;
}

bool Gate::WaitForWaiting(int n, int timeoutMs) {
    std::unique_lock<std::mutex> g(lock_);
    return cv_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return waiting_ >= n; });
}

std::string DoublesState::NextLabel(const std::string& className) {
    std::lock_guard<std::mutex> g(lock_);
    return className + "#" + std::to_string(++serials_[className]);
}

std::string FormatArg(const OLECHAR* s) {
    return s ? "\"" + corvane::OleToUtf8(s) + "\"" : "null";
}

std::string FormatArg(double d) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.17g", d);
    return buf;
}

std::string FormatArg(const GUID& g) {
    return corvane::OleToUtf8(corvane::GuidText(g));
}

std::string FormatArg(const VARIANT& v) {
    return "vt=" + std::to_string(v.vt);
}

OleString KeyOf(BSTR name) {
    return name ? OleString(name, SysStringLen(name)) : OleString();
}

}  // namespace corvane::testing
