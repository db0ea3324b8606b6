#include "framework/BaseChannelFilter.h"

#include <algorithm>
#include <cstdint>

namespace {
// HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW).
constexpr HRESULT kArithmeticOverflow = static_cast<HRESULT>(0x80070216u);

void Append(std::vector<double>& queue, UINT& count, const double* samples, UINT n) {
    if (n == 0 || samples == nullptr) return;
    queue.resize(count);
    queue.insert(queue.end(), samples, samples + n);
    count += n;
}

void Drop(std::vector<double>& queue, UINT& count, UINT k) {
    k = std::min(k, count);
    if (k == 0) return;
    queue.erase(queue.begin(), queue.begin() + k);
    count -= k;
    queue.resize(count);
}

void Clear(std::vector<double>& queue, UINT& count) {
    std::vector<double>().swap(queue);
    count = 0;
}
}  // namespace

CBaseChannelFilter::CBaseChannelFilter(const CBaseFilter* owner) : m_pOwner(owner) {
    Grow(m_inStore, kInitialCapacity);
    Grow(m_outStore, kInitialCapacity);
    m_pIn = m_inStore.data();
    m_pOut = m_outStore.data();
}

CBaseChannelFilter::~CBaseChannelFilter() = default;

HRESULT CBaseChannelFilter::ResetChannel() {
    return S_OK;
}

HRESULT CBaseChannelFilter::LoadChannelParams() {
    return S_OK;
}

// Storage for n samples plus the spare. The byte count must fit 32 bits, so that a request
// beyond it is refused the same way on every platform.
void CBaseChannelFilter::Grow(std::vector<double>& store, int n) {
    const uint64_t doubles = static_cast<uint64_t>(n) + kSpareSamples;
    if (doubles * sizeof(double) > UINT32_MAX) throw kArithmeticOverflow;
    if (store.size() < doubles) store.resize(static_cast<size_t>(doubles));
}

bool CBaseChannelFilter::EnsureBuffers(int n) {
    if (m_inCapacity < n) {
        Grow(m_inStore, n);
        m_inCapacity = n;
        m_pIn = m_inStore.data();
    }
    return EnsureOutputBuffer(n) && m_pIn != nullptr;
}

bool CBaseChannelFilter::EnsureOutputBuffer(int n) {
    if (m_outCapacity < n) {
        Grow(m_outStore, n);
        m_outCapacity = n;
        m_pOut = m_outStore.data();
    }
    return m_pOut != nullptr;
}

int CBaseChannelFilter::ProcessChannel(int, int) {
    return 0;
}

void CBaseChannelFilter::AppendPending(const double* samples, UINT n) {
    Append(m_pending, m_pendingCount, samples, n);
}

void CBaseChannelFilter::AppendProcessed(const double* samples, UINT n) {
    Append(m_processed, m_processedCount, samples, n);
}

void CBaseChannelFilter::DropPending(UINT k) {
    Drop(m_pending, m_pendingCount, k);
}

void CBaseChannelFilter::DropProcessed(UINT k) {
    Drop(m_processed, m_processedCount, k);
}

void CBaseChannelFilter::ClearQueues() {
    Clear(m_pending, m_pendingCount);
    Clear(m_processed, m_processedCount);
}

UINT64 CBaseChannelFilter::GetStreamSize(IStream* stream) {
    if (stream == nullptr) return 0;
    STATSTG stat = {};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return 0;
    return stat.cbSize.QuadPart;
}

HRESULT CBaseChannelFilter::ReadStreamToBuffer(IStream* stream, void** buffer, UINT64 capacity) {
    if (stream == nullptr || buffer == nullptr) return E_POINTER;
    STATSTG stat = {};
    // Without a size nothing can be read: an empty result would pass a broken stream as an
    // empty array.
    const HRESULT statResult = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(statResult)) return statResult;
    LARGE_INTEGER origin = {};
    stream->Seek(origin, STREAM_SEEK_SET, nullptr);
    const UINT64 size = stat.cbSize.QuadPart;
    // Only sizes that fit 32 bits can be read in one call.
    if (size > UINT32_MAX) return E_FAIL;
    const ULONG bytes = static_cast<ULONG>(size);

    bool allocated = false;
    if (*buffer == nullptr) {
        *buffer = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
        if (*buffer == nullptr) return E_FAIL;
        allocated = true;
    } else if (capacity < size) {
        return E_FAIL;
    }

    ULONG read = 0;
    const HRESULT hr = stream->Read(*buffer, bytes, &read);
    if (SUCCEEDED(hr) && read == bytes) return S_OK;
    if (allocated) {
        HeapFree(GetProcessHeap(), 0, *buffer);
        *buffer = nullptr;
    }
    return E_FAIL;
}
