#include "effects/common/WholeBlock.h"

#include "framework/BaseFilterSupport.h"

HRESULT CWholeBlockFilter::BuildChannelFilters() {
    ClearChannelFilters();
    return S_OK;
}

int16_t* CWholeBlockFilter::OpenBlock(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                                      IAudioData** out) {
    if (out == nullptr) return nullptr;
    *out = nullptr;
    corvane::ComPtr<IAudioData> block = corvane::QueryAs<IAudioData>(data);
    if (!block) return nullptr;
    *out = corvane::ComPtr<IAudioData>(block).Detach();
    if (m_wfx.nChannels == 0 || m_wfx.nBlockAlign == 0 || m_wfx.nSamplesPerSec == 0) return nullptr;
    if (offsetBytes < 0 || count <= 0 ||
        static_cast<int64_t>(offsetBytes) + 2 * static_cast<int64_t>(count) > totalBytes) {
        return nullptr;
    }
    BYTE* buffer = nullptr;
    const HRESULT hr = block->GetBuffer(corvane::kBufferReadWrite, 0, &buffer);
    if (FAILED(hr) || buffer == nullptr) {
        FailBlock(FAILED(hr) ? hr : E_POINTER);
        return nullptr;
    }
    return reinterpret_cast<int16_t*>(buffer + offsetBytes);
}
