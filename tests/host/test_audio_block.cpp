// Audio blocks and formats: CreateBlock copies, resizing, bounds, the wave-format record.
#include "host/host.h"
#include "platform/com_ptr.h"
#include "tests/support/live_objects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

namespace corvane::host {
namespace {

using corvane::ComPtr;

AudioFormatValues Format(DWORD rate, WORD channels, UINT64 layout) {
    AudioFormatValues f;
    f.rate = rate;
    f.channels = channels;
    f.layout = layout;
    return f;
}

AudioFormatValues FormatOf(IAudioData* block) {
    ComPtr<IUnknown> f;
    EXPECT_EQ(S_OK, block->GetFormat(&f));
    AudioFormatValues v;
    EXPECT_EQ(S_OK, ReadAudioFormat(f.Get(), &v));
    return v;
}

TEST(AudioBlock, CreateBlockCopiesFormatTimeAndDurationButNotSamples) {
    const AudioFormatValues f = Format(48000, 6, 0x60F);
    ComPtr<IAudioData> original;
    ASSERT_EQ(S_OK, CreateAudioBlock(f, 1200, &original));
    ASSERT_EQ(S_OK, original->PutTime(1234.5));
    ASSERT_EQ(S_OK, original->PutDuration(6.25));

    ComPtr<IUnknown> created;
    ASSERT_EQ(S_OK, original->CreateBlock(2, &created));
    ComPtr<IAudioData> copy = created.As<IAudioData>();
    ASSERT_TRUE(copy);
    EXPECT_NE(static_cast<void*>(copy.Get()), static_cast<void*>(original.Get()));
    EXPECT_EQ(f, FormatOf(copy.Get()));
    double t = 0, d = 0;
    copy->GetTime(&t);
    copy->GetDuration(&d);
    EXPECT_EQ(1234.5, t);
    EXPECT_EQ(6.25, d);
    LONG len = -1;
    copy->GetLength(&len);
    EXPECT_EQ(0, len);

    // The copy is independent: changing the original afterwards does not reach it.
    original->PutTime(1.0);
    original->PutDuration(2.0);
    copy->GetTime(&t);
    copy->GetDuration(&d);
    EXPECT_EQ(1234.5, t);
    EXPECT_EQ(6.25, d);
    EXPECT_EQ(E_INVALIDARG, original->CreateBlock(1, &created));
    EXPECT_FALSE(created);
}

TEST(AudioBlock, AnswersBothInterfacesWithOnePointer) {
    ComPtr<IAudioData> b;
    ASSERT_EQ(S_OK, CreateAudioBlock(AudioFormatValues(), 4, &b));
    ComPtr<IAudioBuffer> buffer = b.As<IAudioBuffer>();
    ComPtr<IUnknown> unk1 = b.As<IUnknown>(), unk2 = buffer.As<IUnknown>();
    ASSERT_TRUE(buffer);
    EXPECT_EQ(static_cast<IAudioData*>(buffer.Get()), b.Get());
    EXPECT_EQ(unk1.Get(), unk2.Get());
    EXPECT_FALSE(b.As<IAudioHelper>());
}

TEST(AudioBlock, SetLengthFillsOrKeeps) {
    ComPtr<IAudioData> b;
    ASSERT_EQ(S_OK, CreateAudioBlock(AudioFormatValues(), 8, &b));
    const BYTE pattern[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(S_OK, b->Write(0, pattern, 8));

    // Keep (0): the remaining bytes stay, the new ones are silence.
    ASSERT_EQ(S_OK, b->SetLength(12, 0));
    std::vector<BYTE> out(12, 0xEE);
    ASSERT_EQ(S_OK, b->Read(out.data(), 0, 12));
    EXPECT_EQ((std::vector<BYTE>{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0}), out);
    ASSERT_EQ(S_OK, b->SetLength(4, 0));
    ASSERT_EQ(S_OK, b->SetLength(8, 0));
    ASSERT_EQ(S_OK, b->Read(out.data(), 0, 8));
    EXPECT_EQ((std::vector<BYTE>{1, 2, 3, 4, 0, 0, 0, 0}),
              std::vector<BYTE>(out.begin(), out.begin() + 8));

    // Silent (-1): everything is zero.
    ASSERT_EQ(S_OK, b->Write(0, pattern, 8));
    ASSERT_EQ(S_OK, b->SetLength(6, -1));
    ASSERT_EQ(S_OK, b->Read(out.data(), 0, 6));
    EXPECT_EQ(std::vector<BYTE>(6, 0), std::vector<BYTE>(out.begin(), out.begin() + 6));

    EXPECT_EQ(E_INVALIDARG, b->SetLength(-4, 0));
    EXPECT_EQ(E_INVALIDARG, b->SetLength(4, 5));
    LONG len = 0;
    b->GetLength(&len);
    EXPECT_EQ(6, len);
}

struct RangeCase {
    LONG offset, bytes;
    HRESULT expected;
};

// Writes and reads inside a 16-byte block, and every way of leaving it.
TEST(AudioBlock, WriteAndReadStayInsideTheBlock) {
    const RangeCase cases[] = {
        {0, 16, S_OK},
        {15, 1, S_OK},
        {16, 0, S_OK},
        {0, 17, E_INVALIDARG},
        {16, 1, E_INVALIDARG},
        {-1, 2, E_INVALIDARG},
        {4, -1, E_INVALIDARG},
        {0x7FFFFFFF, 1, E_INVALIDARG},
        {1, 0x7FFFFFFF, E_INVALIDARG},
    };
    ComPtr<IAudioData> b;
    ASSERT_EQ(S_OK, CreateAudioBlock(AudioFormatValues(), 16, &b));
    std::vector<BYTE> buf(64, 0x5A);
    for (const RangeCase& c : cases) {
        EXPECT_EQ(c.expected, b->Write(c.offset, buf.data(), c.bytes))
            << c.offset << "+" << c.bytes;
        EXPECT_EQ(c.expected, b->Read(buf.data(), c.offset, c.bytes)) << c.offset << "+" << c.bytes;
    }
    EXPECT_EQ(E_POINTER, b->Write(0, nullptr, 4));
    EXPECT_EQ(E_POINTER, b->Read(nullptr, 0, 4));
}

TEST(AudioBlock, DataLengthStaysWithinCapacity) {
    ComPtr<IAudioData> b;
    ASSERT_EQ(S_OK, CreateAudioBlock(AudioFormatValues(), 40, &b));
    ASSERT_EQ(S_OK, b->SetLength(8, 0));
    LONG cap = 0;
    b->GetCapacity(&cap);
    EXPECT_EQ(40, cap);
    EXPECT_EQ(S_OK, b->SetDataLength(40));
    EXPECT_EQ(E_INVALIDARG, b->SetDataLength(41));
    EXPECT_EQ(E_INVALIDARG, b->SetDataLength(-1));
    LONG frames = 0;
    b->GetFrameCount(&frames);
    EXPECT_EQ(10, frames);
}

TEST(AudioBlock, EmptyBlockStillHandsOutABuffer) {
    ComPtr<IAudioData> b;
    ASSERT_EQ(S_OK, CreateAudioBlock(AudioFormatValues(), 0, &b));
    BYTE* p = nullptr;
    LONG n = -1;
    ASSERT_EQ(S_OK, b->GetBufferAndLength(kBufferReadWrite, 0, &p, &n));
    EXPECT_NE(nullptr, p);
    EXPECT_EQ(0, n);
    EXPECT_EQ(E_INVALIDARG, b->GetBuffer(0, 0, &p));
    EXPECT_EQ(E_INVALIDARG, b->GetBuffer(kBufferRead, 1, &p));
}

TEST(AudioBlock, MarksAndTimes) {
    ComPtr<IAudioData> b;
    ASSERT_EQ(S_OK, CreateAudioBlock(AudioFormatValues(), 0, &b));
    VARIANT_BOOL v = 0;
    ASSERT_EQ(S_OK, b->MarkStart(-1));
    b->IsStart(&v);
    EXPECT_EQ(VARIANT_TRUE, v);
    b->IsEnd(&v);
    EXPECT_EQ(VARIANT_FALSE, v);
    LONG flags = 0;
    b->GetFlags(&flags);
    EXPECT_EQ(kBlockStartMark, flags);
    EXPECT_EQ(E_INVALIDARG, b->PutDuration(-1.0));
    EXPECT_EQ(E_INVALIDARG, b->PutTime(std::numeric_limits<double>::infinity()));
    double d = -5;
    b->GetDuration(&d);
    EXPECT_EQ(0.0, d);
}

TEST(AudioBlock, PutFormatCopiesTheValues) {
    ComPtr<IAudioData> b;
    ASSERT_EQ(S_OK, CreateAudioBlock(AudioFormatValues(), 0, &b));
    ComPtr<IAudioFormat> f;
    ASSERT_EQ(S_OK, CreateAudioFormat(Format(22050, 1, 0x4), &f));
    ComPtr<IAudioBuffer> buffer = b.As<IAudioBuffer>();
    ASSERT_EQ(S_OK, buffer->PutFormat(f.Get()));
    f->PutSampleRate(8000);  // later changes of the format object do not reach the block
    EXPECT_EQ(Format(22050, 1, 0x4), FormatOf(b.Get()));
    EXPECT_EQ(E_POINTER, buffer->PutFormat(nullptr));
}

// ---- IAudioFormat ----

// GetWaveFormat writes the 18-byte record and nothing after it, far inside the 180 bytes a
// caller provides.
TEST(AudioFormat, WaveFormatWritesOnlyTheRecord) {
    ComPtr<IAudioFormat> f;
    ASSERT_EQ(S_OK, CreateAudioFormat(Format(48000, 6, 0x60F), &f));
    std::vector<BYTE> record(kWaveFormatRecordSize + 32, 0xCC);
    ASSERT_EQ(S_OK, f->GetWaveFormat(reinterpret_cast<WAVEFORMATEX*>(record.data()), 0));
    WAVEFORMATEX w;
    std::memcpy(&w, record.data(), sizeof(w));
    EXPECT_EQ(WAVE_FORMAT_PCM, w.wFormatTag);
    EXPECT_EQ(6, w.nChannels);
    EXPECT_EQ(48000u, w.nSamplesPerSec);
    EXPECT_EQ(12, w.nBlockAlign);
    EXPECT_EQ(48000u * 12, w.nAvgBytesPerSec);
    EXPECT_EQ(16, w.wBitsPerSample);
    EXPECT_EQ(0, w.cbSize);
    for (size_t i = sizeof(WAVEFORMATEX); i < record.size(); ++i)
        ASSERT_EQ(0xCC, record[i]) << "byte " << i;
    EXPECT_EQ(E_INVALIDARG, f->GetWaveFormat(reinterpret_cast<WAVEFORMATEX*>(record.data()), 1));
}

// Records that PutWaveFormat accepts or refuses; a refused one changes nothing.
TEST(AudioFormat, PutWaveFormatTakesPcmAndExtensiblePcm) {
    struct Case {
        WORD tag, channels, align, bits, cbSize;
        DWORD rate, mask;
        bool pcmSubformat;
        HRESULT expected;
    };
    const Case cases[] = {
        {WAVE_FORMAT_PCM, 1, 2, 16, 0, 8000, 0, false, S_OK},
        {WAVE_FORMAT_PCM, 2, 4, 16, 0, 96000, 0, false, S_OK},
        {0xFFFE, 6, 12, 16, 22, 48000, 0x3F, true, S_OK},
        {0xFFFE, 6, 12, 16, 22, 48000, 0x3F, false, E_INVALIDARG},  // not integer PCM
        {0xFFFE, 2, 4, 16, 10, 48000, 0x3, true, E_INVALIDARG},     // extension too short
        {3, 2, 8, 32, 0, 48000, 0, false, E_INVALIDARG},            // float samples
        {WAVE_FORMAT_PCM, 2, 6, 24, 0, 48000, 0, false, E_INVALIDARG},
        {WAVE_FORMAT_PCM, 2, 2, 16, 0, 48000, 0, false, E_INVALIDARG},  // block align wrong
        {WAVE_FORMAT_PCM, 0, 0, 16, 0, 48000, 0, false, E_INVALIDARG},
        {WAVE_FORMAT_PCM, 2, 4, 16, 0, 0, 0, false, E_INVALIDARG},
    };
    for (const Case& c : cases) {
        ComPtr<IAudioFormat> f;
        ASSERT_EQ(S_OK, CreateAudioFormat(Format(11025, 1, 0x4), &f));
        BYTE record[kWaveFormatRecordSize] = {};
        WAVEFORMATEX w{c.tag, c.channels, c.rate, c.rate * c.align, c.align, c.bits, c.cbSize};
        std::memcpy(record, &w, sizeof(w));
        if (c.tag == 0xFFFE) {
            WORD valid = c.bits;
            std::memcpy(record + 18, &valid, 2);
            std::memcpy(record + 20, &c.mask, 4);
            GUID sub = {c.pcmSubformat ? 1u : 3u,
                        0x0000,
                        0x0010,
                        {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
            std::memcpy(record + 24, &sub, sizeof(sub));
        }
        EXPECT_EQ(c.expected, f->PutWaveFormat(reinterpret_cast<WAVEFORMATEX*>(record), 0))
            << "tag " << c.tag << " channels " << c.channels;
        AudioFormatValues v;
        ASSERT_EQ(S_OK, ReadAudioFormat(f.Get(), &v));
        if (c.expected == S_OK) {
            EXPECT_EQ(c.channels, v.channels);
            EXPECT_EQ(c.rate, v.rate);
            EXPECT_EQ(c.tag == 0xFFFE ? c.mask : DefaultChannelLayout(c.channels), v.layout);
        } else {
            EXPECT_EQ(Format(11025, 1, 0x4), v);
        }
    }
}

TEST(AudioFormat, SettersCheckRangesAndKeepTheMaskConsistent) {
    ComPtr<IAudioFormat> f;
    ASSERT_EQ(S_OK, CreateAudioFormat(AudioFormatValues(), &f));
    EXPECT_EQ(S_OK, f->PutChannels(6));
    UINT64 mask = 0;
    f->GetChannelLayout(&mask);
    EXPECT_EQ(0x60Fu, mask);  // a new channel count brings its usual mask
    EXPECT_EQ(S_OK, f->PutChannelLayout(0x3F));
    f->GetChannelLayout(&mask);
    EXPECT_EQ(0x3Fu, mask);
    EXPECT_EQ(E_INVALIDARG, f->PutChannels(0));
    EXPECT_EQ(E_INVALIDARG, f->PutSampleRate(0));
    EXPECT_EQ(E_INVALIDARG, f->PutSampleFormat(3));
    EXPECT_EQ(S_OK, f->PutSampleFormat(kSampleFormatPcm16));
    LONG ch = 0, rate = 0, align = 0;
    f->GetChannels(&ch);
    f->GetSampleRate(&rate);
    f->GetBlockAlign(&align);
    EXPECT_EQ(6, ch);
    EXPECT_EQ(44100, rate);
    EXPECT_EQ(12, align);

    ComPtr<IAudioFormat> clone;
    ASSERT_EQ(S_OK, f->Clone(&clone));
    VARIANT_BOOL eq = VARIANT_FALSE;
    ASSERT_EQ(S_OK, f->IsEqual(clone.Get(), &eq));
    EXPECT_EQ(VARIANT_TRUE, eq);
    clone->PutSampleRate(48000);
    f->IsEqual(clone.Get(), &eq);
    EXPECT_EQ(VARIANT_FALSE, eq);
}

}  // namespace
}  // namespace corvane::host
