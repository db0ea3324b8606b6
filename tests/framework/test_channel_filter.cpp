// Channel filter base: buffers, queues, and the stream readers.
#include "framework/BaseChannelFilter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace {

// The channel filter's state, which derived filters and the engine reach, open to the tests.
struct Inspected : CBaseChannelFilter {
    using CBaseChannelFilter::AppendPending;
    using CBaseChannelFilter::AppendProcessed;
    using CBaseChannelFilter::CBaseChannelFilter;
    using CBaseChannelFilter::DropPending;
    using CBaseChannelFilter::DropProcessed;
    using CBaseChannelFilter::m_bRestart;
    using CBaseChannelFilter::m_inCapacity;
    using CBaseChannelFilter::m_inStore;
    using CBaseChannelFilter::m_outCapacity;
    using CBaseChannelFilter::m_outStore;
    using CBaseChannelFilter::m_pending;
    using CBaseChannelFilter::m_pendingCount;
    using CBaseChannelFilter::m_pIn;
    using CBaseChannelFilter::m_pOut;
    using CBaseChannelFilter::m_processedCount;
    using CBaseChannelFilter::m_smooth;
};

TEST(ChannelFilter, NewFilterHoldsInitialBuffers) {
    Inspected f(nullptr);
    EXPECT_EQ(f.m_inCapacity, 44100);
    EXPECT_EQ(f.m_outCapacity, 44100);
    EXPECT_EQ(f.m_inStore.size(), 45124u);
    EXPECT_EQ(f.m_outStore.size(), 45124u);
    EXPECT_EQ(f.m_pIn, f.m_inStore.data());
    EXPECT_EQ(f.m_pOut, f.m_outStore.data());
    EXPECT_TRUE(f.m_bRestart);
    EXPECT_EQ(f.m_pendingCount, 0u);
    EXPECT_EQ(f.m_processedCount, 0u);
    EXPECT_EQ(f.m_smooth.Stride(), 1);
}

TEST(ChannelFilter, BuffersGrowKeepingTheirContents) {
    Inspected f(nullptr);
    for (int k = 0; k < 45124; ++k) {
        f.m_pIn[k] = k * 0.5;
        f.m_pOut[k] = -k * 0.25;
    }
    ASSERT_TRUE(f.EnsureBuffers(50000));
    EXPECT_EQ(f.m_inCapacity, 50000);
    EXPECT_EQ(f.m_outCapacity, 50000);
    EXPECT_EQ(f.m_inStore.size(), 51024u);
    EXPECT_EQ(f.m_outStore.size(), 51024u);
    for (int k = 0; k < 45124; ++k) {
        ASSERT_EQ(f.m_pIn[k], k * 0.5) << k;
        ASSERT_EQ(f.m_pOut[k], -k * 0.25) << k;
    }
    double* in = f.m_pIn;
    ASSERT_TRUE(f.EnsureBuffers(30000));
    EXPECT_EQ(f.m_inCapacity, 50000);
    EXPECT_EQ(f.m_inStore.size(), 51024u);
    EXPECT_EQ(f.m_pIn, in);
}

TEST(ChannelFilter, OutputGrowsAlone) {
    Inspected f(nullptr);
    ASSERT_TRUE(f.EnsureOutputBuffer(60000));
    EXPECT_EQ(f.m_outCapacity, 60000);
    EXPECT_EQ(f.m_outStore.size(), 61024u);
    EXPECT_EQ(f.m_inCapacity, 44100);
    EXPECT_EQ(f.m_inStore.size(), 45124u);
}

TEST(ChannelFilter, GrowthBeyondThirtyTwoBitBytesIsRefused) {
    Inspected f(nullptr);
    try {
        f.EnsureBuffers(600000000);  // 4.8 GB of doubles
        FAIL() << "no exception";
    } catch (HRESULT hr) {
        EXPECT_EQ(hr, static_cast<HRESULT>(0x80070216u));
    }
    EXPECT_EQ(f.m_inCapacity, 44100);
}

TEST(ChannelFilter, BaseProcessingReturnsNothing) {
    Inspected f(nullptr);
    for (int n : {0, 1, 4410, 44100}) {
        EXPECT_EQ(f.ProcessChannel(n, 0), 0);
        EXPECT_EQ(f.ProcessChannel(n, 1), 0);
    }
    EXPECT_EQ(f.ResetChannel(), S_OK);
    EXPECT_EQ(f.LoadChannelParams(), S_OK);
}

TEST(ChannelFilter, QueuesAppendDropAndClear) {
    Inspected f(nullptr);
    const double a[] = {1, 2, 3, 4, 5};
    f.AppendPending(a, 5);
    f.AppendProcessed(a, 2);
    f.DropPending(2);
    ASSERT_EQ(f.m_pendingCount, 3u);
    EXPECT_EQ(f.m_pending[0], 3.0);
    EXPECT_EQ(f.m_pending[2], 5.0);
    f.AppendPending(a, 1);
    ASSERT_EQ(f.m_pendingCount, 4u);
    EXPECT_EQ(f.m_pending[3], 1.0);
    f.DropProcessed(10);  // more than held: empties
    EXPECT_EQ(f.m_processedCount, 0u);
    f.ClearQueues();
    EXPECT_EQ(f.m_pendingCount, 0u);
    EXPECT_EQ(f.m_pending.size(), 0u);
    EXPECT_EQ(f.m_pending.capacity(), 0u);
}

// A memory stream whose reads can be cut short, for the failure paths.
class ShortStream : public IStream {
public:
    ShortStream(const std::vector<BYTE>& bytes, ULONG shortBy, HRESULT statResult = S_OK)
        : m_shortBy(shortBy), m_statResult(statResult) {
        CreateStreamOnHGlobal(nullptr, TRUE, &m_inner);
        m_inner->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    }
    ~ShortStream() { m_inner->Release(); }
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* read) override {
        ULONG got = 0;
        const HRESULT hr = m_inner->Read(pv, cb > m_shortBy ? cb - m_shortBy : 0, &got);
        if (read) *read = got;
        return hr;
    }
    STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* w) override {
        return m_inner->Write(pv, cb, w);
    }
    STDMETHODIMP Seek(LARGE_INTEGER m, DWORD o, ULARGE_INTEGER* p) override {
        return m_inner->Seek(m, o, p);
    }
    STDMETHODIMP SetSize(ULARGE_INTEGER s) override { return m_inner->SetSize(s); }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG* s, DWORD f) override {
        return FAILED(m_statResult) ? m_statResult : m_inner->Stat(s, f);
    }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
    IStream* m_inner = nullptr;
    ULONG m_shortBy;
    HRESULT m_statResult;
};

std::vector<BYTE> Bytes(size_t n) {
    std::vector<BYTE> b(n);
    std::iota(b.begin(), b.end(), BYTE{1});
    return b;
}

TEST(ChannelFilter, ReadStreamToBufferReadsFromTheStart) {
    // The stream is left at its end by the write; the reader starts from byte 0.
    ShortStream stream(Bytes(12), 0);
    EXPECT_EQ(CBaseChannelFilter::GetStreamSize(&stream), 12u);
    void* buffer = nullptr;
    ASSERT_EQ(CBaseChannelFilter::ReadStreamToBuffer(&stream, &buffer), S_OK);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::memcmp(buffer, Bytes(12).data(), 12), 0);
    HeapFree(GetProcessHeap(), 0, buffer);
}

TEST(ChannelFilter, ReadStreamToBufferIntoCallerBuffer) {
    struct Case {
        size_t streamBytes;
        UINT64 capacity;
        HRESULT expected;
    };
    const Case cases[] = {{12, 12, S_OK}, {12, 16, S_OK}, {12, 11, E_FAIL}, {0, 0, S_OK}};
    for (const Case& c : cases) {
        ShortStream stream(Bytes(c.streamBytes), 0);
        std::vector<BYTE> target(16, 0xEE);
        void* buffer = target.data();
        EXPECT_EQ(CBaseChannelFilter::ReadStreamToBuffer(&stream, &buffer, c.capacity), c.expected)
            << c.streamBytes << "/" << c.capacity;
        EXPECT_EQ(buffer, target.data());
        const size_t filled = c.expected == S_OK ? c.streamBytes : 0;
        for (size_t k = 0; k < target.size(); ++k) {
            EXPECT_EQ(target[k], k < filled ? BYTE(k + 1) : BYTE(0xEE)) << k;
        }
    }
}

// A short read fails, and the block allocated for it is freed (no leak; nothing handed out).
TEST(ChannelFilter, ReadStreamToBufferShortReadFreesItsBlock) {
    ShortStream stream(Bytes(40), 3);
    void* buffer = nullptr;
    EXPECT_EQ(CBaseChannelFilter::ReadStreamToBuffer(&stream, &buffer), E_FAIL);
    EXPECT_EQ(buffer, nullptr);
}

// A stream that cannot tell its size is a failure, not an empty array; nothing is allocated.
TEST(ChannelFilter, ReadStreamToBufferReportsAFailedSize) {
    ShortStream stream(Bytes(8), 0, STG_E_ACCESSDENIED);
    void* buffer = nullptr;
    EXPECT_EQ(CBaseChannelFilter::ReadStreamToBuffer(&stream, &buffer), STG_E_ACCESSDENIED);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(CBaseChannelFilter::GetStreamSize(&stream), 0u);
}

TEST(ChannelFilter, ReadStreamToBufferRejectsNullPointers) {
    ShortStream stream(Bytes(4), 0);
    void* buffer = nullptr;
    EXPECT_EQ(CBaseChannelFilter::ReadStreamToBuffer(nullptr, &buffer), E_POINTER);
    EXPECT_EQ(CBaseChannelFilter::ReadStreamToBuffer(&stream, nullptr), E_POINTER);
    EXPECT_EQ(CBaseChannelFilter::GetStreamSize(nullptr), 0u);
}

}  // namespace
