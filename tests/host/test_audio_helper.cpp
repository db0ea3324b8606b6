// The buffering helper: frame counts of taken blocks, byte-exactness across block boundaries,
// times, format checks and the empty case.
#include "host/host.h"
#include "platform/com_ptr.h"
#include "tests/support/live_objects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace corvane::host {
namespace {

using corvane::ComPtr;

AudioFormatValues Format(DWORD rate, WORD channels) {
    AudioFormatValues f;
    f.rate = rate;
    f.channels = channels;
    f.layout = DefaultChannelLayout(channels);
    return f;
}

// A block whose byte i holds (seed + i) mod 251, so that every byte of a stream is recognisable.
ComPtr<IAudioData> PatternBlock(const AudioFormatValues& f, LONG bytes, uint32_t seed,
                                double time = 0.0) {
    ComPtr<IAudioData> b;
    EXPECT_EQ(S_OK, CreateAudioBlock(f, bytes, &b));
    BYTE* p = nullptr;
    EXPECT_EQ(S_OK, b->GetBuffer(kBufferWrite, 0, &p));
    for (LONG i = 0; i < bytes; ++i)
        p[i] = static_cast<BYTE>((seed + static_cast<uint32_t>(i)) % 251u);
    b->PutTime(time);
    return b;
}

std::vector<BYTE> BytesOf(IAudioData* b) {
    BYTE* p = nullptr;
    LONG n = 0;
    EXPECT_EQ(S_OK, b->GetBufferAndLength(kBufferRead, 0, &p, &n));
    return std::vector<BYTE>(p, p + n);
}

// Exact reference of trunc(rate x ms / 1000 + 0.0001) for ms = num / den, in integers:
// floor((rate x num x 10000 + 1000 x den) / (1000 x den x 10000)).
int64_t ReferenceFrames(int64_t rate, int64_t num, int64_t den) {
    return (rate * num * 10000 + 1000 * den) / (1000 * den * 10000);
}

struct TakeCase {
    DWORD rate;
    int64_t num, den;  // ms = num / den
};

class TakeBlockFrames : public ::testing::TestWithParam<TakeCase> {};

// With more audio held than asked for, TakeBlock gives exactly the reference number of frames,
// and one frame for a duration shorter than a frame (a reader must get to the end of what is held).
TEST_P(TakeBlockFrames, GivesExactlyTheTruncatedFrameCount) {
    const TakeCase c = GetParam();
    const double ms = static_cast<double>(c.num) / static_cast<double>(c.den);
    const AudioFormatValues f = Format(c.rate, 2);
    ComPtr<IAudioHelper> helper(new CAudioHelper());
    // Two seconds held, in three uneven blocks.
    const LONG total = static_cast<LONG>(c.rate) * 2 * f.BlockAlign();
    const LONG a = 4 * 1001, b = 4 * 17;
    ASSERT_EQ(S_OK, helper->Append(0, PatternBlock(f, a, 0).Get()));
    ASSERT_EQ(S_OK, helper->Append(0, PatternBlock(f, b, a).Get()));
    ASSERT_EQ(S_OK, helper->Append(0, PatternBlock(f, total - a - b, a + b).Get()));

    ComPtr<IAudioData> block;
    ASSERT_EQ(S_OK, helper->TakeBlock(ms, &block));
    ASSERT_TRUE(block);
    LONG frames = -1;
    ASSERT_EQ(S_OK, block->GetFrameCount(&frames));
    EXPECT_EQ(std::max<int64_t>(1, ReferenceFrames(c.rate, c.num, c.den)), frames)
        << "rate " << c.rate << ", " << ms << " ms";
    LONG held = 0;
    ASSERT_EQ(S_OK, helper->GetLength(&held));
    EXPECT_EQ(total - frames * f.BlockAlign(), held);
}

INSTANTIATE_TEST_SUITE_P(At44100And48000, TakeBlockFrames,
                         ::testing::Values(TakeCase{44100, 10, 1}, TakeCase{44100, 20, 1},
                                           TakeCase{44100, 100, 1}, TakeCase{44100, 1000, 1},
                                           TakeCase{44100, 1, 2}, TakeCase{44100, 2322, 100},
                                           TakeCase{44100, 100, 3}, TakeCase{44100, 1, 44100},
                                           TakeCase{44100, 999, 44100}, TakeCase{44100, 7, 10},
                                           TakeCase{48000, 10, 1}, TakeCase{48000, 100, 1},
                                           TakeCase{48000, 1, 3}, TakeCase{48000, 2083, 100},
                                           TakeCase{48000, 1, 48000}, TakeCase{48000, 47999, 48000},
                                           TakeCase{48000, 1001, 1}, TakeCase{48000, 7, 10}));

double Accumulated(double step, int times) {
    double ms = 0.0;
    for (int i = 0; i < times; ++i) ms += step;
    return ms;
}

// Durations as a host computes them (sums of block durations, frames turned into ms) fall just
// below a whole number of frames; the 0.0001 of the rule brings them back to it.
TEST(AudioHelper, DurationsJustBelowAWholeFrameCountStillGiveIt) {
    const struct {
        DWORD rate;
        double ms;
        LONG frames;
    } cases[] = {
        {48000, Accumulated(0.1, 10), 48},     // 0.9999999999999999 ms
        {48000, Accumulated(0.3, 10), 144},    // 2.9999999999999996 ms
        {48000, Accumulated(10.1, 10), 4848},  // 100.99999999999999 ms
        {44100, 13 * 1000.0 / 44100, 13},      // 12.999999999999998 frames before truncation
        {44100, 61 * 1000.0 / 44100, 61},     {44100, 99 * 1000.0 / 44100, 99},
    };
    for (const auto& c : cases) {
        const AudioFormatValues f = Format(c.rate, 1);
        ComPtr<IAudioHelper> helper(new CAudioHelper());
        ASSERT_EQ(S_OK, helper->Append(0, PatternBlock(f, 2 * 10000, 0).Get()));
        ComPtr<IAudioData> block;
        ASSERT_EQ(S_OK, helper->TakeBlock(c.ms, &block));
        LONG frames = 0;
        block->GetFrameCount(&frames);
        EXPECT_EQ(c.frames, frames) << c.rate << " Hz, " << c.ms << " ms";
    }
}

TEST(AudioHelper, TakesAllThatIsHeldWhenLessThanAsked) {
    const AudioFormatValues f = Format(48000, 2);
    ComPtr<IAudioHelper> helper(new CAudioHelper());
    ASSERT_EQ(S_OK, helper->Append(0, PatternBlock(f, 4 * 300, 5).Get()));
    ComPtr<IAudioData> block;
    ASSERT_EQ(S_OK, helper->TakeBlock(100.0, &block));
    LONG frames = 0;
    block->GetFrameCount(&frames);
    EXPECT_EQ(300, frames);
    double held = -1;
    helper->GetDuration(&held);
    EXPECT_EQ(0.0, held);
}

TEST(AudioHelper, EmptyHelperGivesNoBlock) {
    ComPtr<IAudioHelper> helper(new CAudioHelper());
    IAudioData* block = reinterpret_cast<IAudioData*>(0x1);
    EXPECT_EQ(S_FALSE, helper->TakeBlock(100.0, &block));
    EXPECT_EQ(nullptr, block);
    IUnknown* unk = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(S_FALSE, helper->TakeAudio(0, 100.0, &unk));
    EXPECT_EQ(nullptr, unk);
}

// Taking in chunks of any size gives back exactly the appended bytes, in order.
TEST(AudioHelper, IsByteExactAcrossBlockBoundaries) {
    const AudioFormatValues f = Format(44100, 2);
    ComPtr<IAudioHelper> helper(new CAudioHelper());
    std::vector<BYTE> expected;
    const LONG sizes[] = {4 * 441, 4 * 3, 4 * 1000, 4, 4 * 4410, 4 * 77};
    uint32_t offset = 0;
    for (LONG n : sizes) {
        ComPtr<IAudioData> b = PatternBlock(f, n, offset);
        std::vector<BYTE> bytes = BytesOf(b.Get());
        expected.insert(expected.end(), bytes.begin(), bytes.end());
        ASSERT_EQ(S_OK, helper->Append(0, b.Get()));
        offset += static_cast<uint32_t>(n);
    }
    LONG count = 0;
    helper->GetBlockCount(&count);
    EXPECT_EQ(6, count);

    std::vector<BYTE> got;
    const double takes[] = {3.0, 0.5, 23.22, 1.0, 50.0, 7.7};
    for (int i = 0; got.size() < expected.size(); ++i) {
        ComPtr<IAudioData> block;
        ASSERT_EQ(S_OK, helper->TakeBlock(takes[i % 6], &block));
        std::vector<BYTE> bytes = BytesOf(block.Get());
        ASSERT_FALSE(bytes.empty()) << "take " << i << " gave nothing while audio was held";
        got.insert(got.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(expected, got);
}

// Taken blocks carry the stream time of their first frame and their own duration.
TEST(AudioHelper, TakenBlocksHaveTimeAndDuration) {
    const AudioFormatValues f = Format(44100, 2);
    ComPtr<IAudioHelper> helper(new CAudioHelper());
    ASSERT_EQ(S_OK, helper->Append(0, PatternBlock(f, 4 * 44100, 0, 1000.0).Get()));
    ComPtr<IAudioData> first, second;
    ASSERT_EQ(S_OK, helper->TakeBlock(100.0, &first));
    ASSERT_EQ(S_OK, helper->TakeBlock(100.0, &second));
    double t1 = 0, d1 = 0, t2 = 0;
    first->GetTime(&t1);
    first->GetDuration(&d1);
    second->GetTime(&t2);
    EXPECT_DOUBLE_EQ(1000.0, t1);
    EXPECT_DOUBLE_EQ(100.0, d1);
    EXPECT_DOUBLE_EQ(1100.0, t2);
    double held = 0;
    helper->GetDuration(&held);
    EXPECT_DOUBLE_EQ(800.0, held);
}

TEST(AudioHelper, RefusesAudioOfAnotherFormatAndKeepsWhatItHolds) {
    ComPtr<IAudioHelper> helper(new CAudioHelper());
    ASSERT_EQ(S_OK, helper->Append(0, PatternBlock(Format(44100, 2), 400, 0).Get()));
    EXPECT_EQ(E_INVALIDARG, helper->Append(0, PatternBlock(Format(48000, 2), 400, 0).Get()));
    EXPECT_EQ(E_INVALIDARG, helper->Append(0, PatternBlock(Format(44100, 1), 400, 0).Get()));
    // Another speaker mask names the same bytes differently: accepted.
    AudioFormatValues other = Format(44100, 2);
    other.layout = 0x600;
    EXPECT_EQ(S_OK, helper->Append(0, PatternBlock(other, 400, 0).Get()));
    LONG held = 0;
    helper->GetLength(&held);
    EXPECT_EQ(800, held);
}

TEST(AudioHelper, ResetEmptiesAndAcceptsANewFormat) {
    ComPtr<IAudioHelper> helper(new CAudioHelper());
    ASSERT_EQ(S_OK, helper->Append(0, PatternBlock(Format(44100, 2), 400, 0).Get()));
    ASSERT_EQ(S_OK, helper->Reset(0));
    LONG held = -1;
    helper->GetLength(&held);
    EXPECT_EQ(0, held);
    EXPECT_EQ(S_OK, helper->Append(0, PatternBlock(Format(48000, 1), 400, 0).Get()));
    double ms = 0;
    helper->GetDuration(&ms);
    EXPECT_DOUBLE_EQ(400.0 * 1000.0 / (2 * 48000), ms);
}

TEST(AudioHelper, RejectsBadArguments) {
    ComPtr<IAudioHelper> helper(new CAudioHelper());
    ASSERT_EQ(S_OK, helper->Append(0, PatternBlock(Format(44100, 2), 400, 0).Get()));
    ComPtr<IAudioData> block;
    EXPECT_EQ(E_INVALIDARG, helper->TakeBlock(-1.0, &block));
    EXPECT_EQ(E_INVALIDARG, helper->TakeBlock(std::nan(""), &block));
    EXPECT_EQ(E_POINTER, helper->TakeBlock(10.0, nullptr));
    EXPECT_EQ(E_POINTER, helper->Append(0, nullptr));
    EXPECT_EQ(E_INVALIDARG, helper->Reset(7));
    ComPtr<IAudioFormat> notABlock;
    ASSERT_EQ(S_OK, CreateAudioFormat(AudioFormatValues(), &notABlock));
    EXPECT_EQ(E_NOINTERFACE, helper->Append(0, notABlock.Get()));
    LONG held = 0;
    helper->GetLength(&held);
    EXPECT_EQ(400, held);
}

}  // namespace
}  // namespace corvane::host
