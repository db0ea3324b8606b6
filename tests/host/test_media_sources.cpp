// The media sources: the WAV source against files written directly with libsndfile, seeks, skips
// and the end of the stream; the signal source against the formula; the WAV export.
#include "host/host.h"
#include "platform/com_ptr.h"
#include "tests/support/live_objects.h"
#include "tests/support/sound_files.h"
#include "tests/support/table_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace corvane::host {
namespace {

using corvane::Bstr;
using corvane::ComPtr;
using testing::ReadWavDirectly;
using testing::TempPath;
using testing::WriteWavDirectly;

// Deterministic samples covering the whole 16-bit range, extremes included.
std::vector<int16_t> TestSamples(size_t count) {
    std::vector<int16_t> v(count);
    uint32_t x = 12345;
    for (size_t i = 0; i < count; ++i) {
        x = x * 1664525u + 1013904223u;
        v[i] = static_cast<int16_t>(x >> 16);
    }
    if (count > 2) {
        v[0] = -32768;
        v[1] = 32767;
    }
    return v;
}

struct Block {
    std::vector<int16_t> samples;
    double time = -1, duration = -1;
};

// One ReadAudio; *end is true when the source answered S_OK with no block.
Block Read(IMediaSource* src, double ms, bool* end) {
    ComPtr<IUnknown> unk;
    HRESULT hr = src->ReadAudio(-1, 0, ms, &unk);
    EXPECT_EQ(S_OK, hr);
    *end = !unk;
    Block b;
    if (!unk) return b;
    ComPtr<IAudioData> data = unk.As<IAudioData>();
    EXPECT_TRUE(data);
    BYTE* p = nullptr;
    LONG n = 0;
    EXPECT_EQ(S_OK, data->GetBufferAndLength(kBufferRead, 0, &p, &n));
    const int16_t* s = reinterpret_cast<const int16_t*>(p);
    b.samples.assign(s, s + n / 2);
    data->GetTime(&b.time);
    data->GetDuration(&b.duration);
    return b;
}

std::vector<int16_t> ReadToEnd(IMediaSource* src, const std::vector<double>& pattern) {
    std::vector<int16_t> all;
    bool end = false;
    for (size_t i = 0; i < 100000; ++i) {
        Block b = Read(src, pattern[i % pattern.size()], &end);
        if (end) return all;
        all.insert(all.end(), b.samples.begin(), b.samples.end());
    }
    ADD_FAILURE() << "the source did not end";
    return all;
}

class WavSource : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = TempPath("in.wav");
        samples_ = TestSamples(kFrames * kChannels);
        ASSERT_TRUE(WriteWavDirectly(path_, kRate, kChannels, samples_));
        ASSERT_EQ(S_OK, OpenWavFileSource(path_, &src_));
    }
    void TearDown() override {
        src_.Reset();
        std::remove(path_.c_str());
    }
    // The samples of frames [first, first + frames) of the file.
    std::vector<int16_t> Frames(int64_t first, int64_t frames) const {
        return std::vector<int16_t>(samples_.begin() + first * kChannels,
                                    samples_.begin() + (first + frames) * kChannels);
    }

    static constexpr int kRate = 22050, kChannels = 3;
    static constexpr int64_t kFrames = 12345;
    std::string path_;
    std::vector<int16_t> samples_;
    ComPtr<IMediaSource> src_;
};

TEST_F(WavSource, ReadsBackExactlyTheSamplesOfTheFile) {
    double duration = 0;
    ASSERT_EQ(S_OK, src_->get_audioDuration(-1, &duration));
    EXPECT_DOUBLE_EQ(kFrames * 1000.0 / kRate, duration);
    ComPtr<IUnknown> fmt;
    ASSERT_EQ(S_OK, src_->get_audioFormat(-1, &fmt));
    AudioFormatValues f;
    ASSERT_EQ(S_OK, ReadAudioFormat(fmt.Get(), &f));
    EXPECT_EQ(kRate, static_cast<int>(f.rate));
    EXPECT_EQ(kChannels, f.channels);
    EXPECT_EQ(0xBu, f.layout);
    // Uneven requests, none of which divides the file.
    EXPECT_EQ(samples_, ReadToEnd(src_.Get(), {100.0, 7.3, 33.0, 0.01, 250.0}));
}

TEST_F(WavSource, BlocksCarryTheirTimeAndDuration) {
    bool end = false;
    Block first = Read(src_.Get(), 100.0, &end);
    Block second = Read(src_.Get(), 100.0, &end);
    ASSERT_FALSE(end);
    const int64_t n = static_cast<int64_t>(std::trunc(kRate * 100.0 / 1000.0 + 0.0001));  // 2205
    EXPECT_EQ(Frames(0, n), first.samples);
    EXPECT_EQ(Frames(n, n), second.samples);
    EXPECT_DOUBLE_EQ(0.0, first.time);
    EXPECT_DOUBLE_EQ(100.0, first.duration);
    EXPECT_DOUBLE_EQ(100.0, second.time);
    double t = 0;
    src_->get_audioTime(-1, &t);
    EXPECT_DOUBLE_EQ(200.0, t);
}

// A seek puts the next block at frame trunc(rate x ms / 1000 + 0.0001); at or past the end the
// source answers S_OK with no block.
TEST_F(WavSource, SeeksToATimeAndEndsWithNoBlock) {
    const double seeks[] = {0.0, 100.0, 250.5, 1.0 / 22.05, 500.0, 559.0};
    for (double ms : seeks) {
        ASSERT_EQ(S_OK, src_->SeekAudio(-1, 0, ms));
        const int64_t frame = static_cast<int64_t>(std::trunc(kRate * ms / 1000.0 + 0.0001));
        double t = -1;
        src_->get_audioTime(-1, &t);
        EXPECT_DOUBLE_EQ(frame * 1000.0 / kRate, t) << ms;
        bool end = false;
        Block b = Read(src_.Get(), 10.0, &end);
        ASSERT_FALSE(end) << ms;
        const int64_t n = std::min<int64_t>(220, kFrames - frame);
        EXPECT_EQ(Frames(frame, n), b.samples) << ms;
    }
    double duration = 0;
    src_->get_audioDuration(-1, &duration);
    for (double past : {duration, duration + 1.0, 1e12}) {
        ASSERT_EQ(S_OK, src_->SeekAudio(-1, 0, past));
        bool end = false;
        Read(src_.Get(), 100.0, &end);
        EXPECT_TRUE(end) << past;
        double t = 0;
        src_->get_audioTime(-1, &t);
        EXPECT_DOUBLE_EQ(duration, t);
    }
    EXPECT_EQ(E_INVALIDARG, src_->SeekAudio(-1, 0, -1.0));
    EXPECT_EQ(E_INVALIDARG, src_->SeekAudio(-1, 0, std::nan("")));
    // A seek back after the end reads again.
    ASSERT_EQ(S_OK, src_->SeekAudio(-1, 0, 0.0));
    bool end = true;
    Block b = Read(src_.Get(), 1.0, &end);
    EXPECT_FALSE(end);
    EXPECT_EQ(Frames(0, 22), b.samples);
}

TEST_F(WavSource, SkipsForwardAndBackWithinTheStream) {
    ASSERT_EQ(S_OK, src_->SeekAudio(-1, 0, 200.0));
    ASSERT_EQ(S_OK, src_->SkipAudio(-1, 0, 100.0));
    double t = 0;
    src_->get_audioTime(-1, &t);
    EXPECT_DOUBLE_EQ(300.0, t);
    ASSERT_EQ(S_OK, src_->SkipAudio(-1, 0, -1000.0));
    src_->get_audioTime(-1, &t);
    EXPECT_DOUBLE_EQ(0.0, t);
    ASSERT_EQ(S_OK, src_->SkipAudio(-1, 0, 1e9));
    bool end = false;
    Read(src_.Get(), 100.0, &end);
    EXPECT_TRUE(end);
}

TEST_F(WavSource, AnswersOnlyAudioAndOnlyItsOwnFormat) {
    ComPtr<IUnknown> out;
    EXPECT_EQ(E_INVALIDARG, src_->ReadAudio(3, 0, 100.0, &out));
    EXPECT_EQ(E_NOTIMPL, src_->ReadVideo(-1, 0, &out));
    EXPECT_FALSE(out);
    EXPECT_EQ(E_NOTIMPL, src_->SeekVideo(-1, 0, 0.0));
    // One audio track, chosen; no video or data track (-1 stands for none).
    using Getter = HRESULT (*)(IMediaSource*, LONG*);
    const std::pair<Getter, LONG> getters[] = {
        {[](IMediaSource* s, LONG* p) { return s->get_videoTracksCount(p); }, 0},
        {[](IMediaSource* s, LONG* p) { return s->get_audioTracksCount(p); }, 1},
        {[](IMediaSource* s, LONG* p) { return s->get_dataTracksCount(p); }, 0},
        {[](IMediaSource* s, LONG* p) { return s->get_videoTrack(p); }, -1},
        {[](IMediaSource* s, LONG* p) { return s->get_audioTrack(p); }, 0},
        {[](IMediaSource* s, LONG* p) { return s->get_dataTrack(p); }, -1}};
    for (const auto& [get, want] : getters) {
        LONG n = -5;
        EXPECT_EQ(S_OK, get(src_.Get(), &n));
        EXPECT_EQ(want, n);
        EXPECT_EQ(E_POINTER, get(src_.Get(), nullptr));
    }
    EXPECT_EQ(S_OK, src_->put_audioTrack(0));
    EXPECT_EQ(E_INVALIDARG, src_->put_audioTrack(1));

    AudioFormatValues other;
    other.rate = 44100;
    other.channels = kChannels;
    ComPtr<IAudioFormat> f;
    ASSERT_EQ(S_OK, CreateAudioFormat(other, &f));
    EXPECT_EQ(kFormatNotSupported, src_->put_audioFormat(-1, f.Get()));
    other.rate = kRate;
    other.layout = 0x7;
    ASSERT_EQ(S_OK, CreateAudioFormat(other, &f));
    EXPECT_EQ(S_OK, src_->put_audioFormat(-1, f.Get()));
    ComPtr<IUnknown> fmt;
    src_->get_audioFormat(-1, &fmt);
    AudioFormatValues now;
    ReadAudioFormat(fmt.Get(), &now);
    EXPECT_EQ(other, now);
}

TEST(WavSourceOpen, ReportsMissingAndUnreadableFiles) {
    ComPtr<IMediaSource> src;
    std::string why;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              OpenWavFileSource(TempPath("none.wav"), &src, &why));
    EXPECT_FALSE(src);
    EXPECT_FALSE(why.empty());
    const std::string junk = TempPath("junk.wav");
    FILE* f = std::fopen(junk.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fputs("this is not a sound file at all", f);
    std::fclose(f);
    EXPECT_EQ(E_FAIL, OpenWavFileSource(junk, &src, &why));
    std::remove(junk.c_str());

    // A source made without a file answers that it has none, and opens one by property.
    ComPtr<IMediaSource> empty(new CWavFileSource());
    ComPtr<IUnknown> block;
    EXPECT_EQ(E_UNEXPECTED, empty->ReadAudio(-1, 0, 100.0, &block));
    const std::string path = TempPath("prop.wav");
    WriteWavDirectly(path, 8000, 1, TestSamples(800));
    VARIANT name;
    VariantInit(&name);
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(corvane::Utf8ToOle(path).c_str());
    EXPECT_EQ(S_OK, empty->SetParam(Bstr(OLESTR("FileName")), name));
    VariantClear(&name);
    double duration = 0;
    EXPECT_EQ(S_OK, empty->get_audioDuration(-1, &duration));
    EXPECT_DOUBLE_EQ(100.0, duration);
    std::remove(path.c_str());
}

// ---- signal source ----

TEST(SignalSource, GivesTheSameSamplesHoweverItIsRead) {
    SignalSettings settings;
    settings.seconds = 0.75;
    for (SignalKind kind : {SignalKind::Tones, SignalKind::Sweep, SignalKind::Noise}) {
        settings.kind = kind;
        ComPtr<IMediaSource> a, b;
        ASSERT_EQ(S_OK, CreateSignalSource(settings, &a));
        ASSERT_EQ(S_OK, CreateSignalSource(settings, &b));
        std::vector<int16_t> whole = ReadToEnd(a.Get(), {750.0});
        EXPECT_EQ(static_cast<size_t>(settings.rate * 0.75) * settings.channels, whole.size());
        EXPECT_EQ(whole, ReadToEnd(b.Get(), {1.0, 13.7, 100.0, 0.02}));
    }
}

// The default tones against the formula: channel c is a sine at 440 x (c + 1) Hz of half scale.
TEST(SignalSource, TonesFollowTheFormula) {
    SignalSettings settings;
    settings.seconds = 0.1;
    settings.rate = 48000;
    settings.channels = 2;
    ComPtr<IMediaSource> src;
    ASSERT_EQ(S_OK, CreateSignalSource(settings, &src));
    std::vector<int16_t> s = ReadToEnd(src.Get(), {100.0});
    ASSERT_EQ(4800u * 2, s.size());
    for (size_t n = 0; n < 4800; ++n) {
        for (int c = 0; c < 2; ++c) {
            double ref = 0.5 * 32767.0 * std::sin(2.0 * M_PI * 440.0 * (c + 1) * n / 48000.0);
            ASSERT_NEAR(ref, s[n * 2 + c], 1.0) << "frame " << n << " channel " << c;
        }
    }
}

TEST(SignalSource, PropertiesAndFormatChangesKeepThePositionInTime) {
    ComPtr<IMediaSource> src;
    ASSERT_EQ(S_OK, CreateSignalSource(SignalSettings(), &src));
    ASSERT_EQ(S_OK, src->SeekAudio(-1, 0, 1000.0));
    AudioFormatValues f;
    f.rate = 8000;
    f.channels = 1;
    f.layout = 0x4;
    ComPtr<IAudioFormat> fmt;
    ASSERT_EQ(S_OK, CreateAudioFormat(f, &fmt));
    ASSERT_EQ(S_OK, src->put_audioFormat(-1, fmt.Get()));
    double t = 0, d = 0;
    src->get_audioTime(-1, &t);
    src->get_audioDuration(-1, &d);
    EXPECT_DOUBLE_EQ(1000.0, t);
    EXPECT_DOUBLE_EQ(5000.0, d);
    bool end = false;
    Block b = Read(src.Get(), 100.0, &end);
    EXPECT_EQ(800u, b.samples.size());

    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 2;
    ASSERT_EQ(S_OK, src->SetParam(Bstr(OLESTR("seconds")), v));
    src->get_audioDuration(-1, &d);
    EXPECT_DOUBLE_EQ(2000.0, d);
    v.lVal = 0;
    EXPECT_EQ(E_INVALIDARG, src->SetParam(Bstr(OLESTR("Seconds")), v));
    v.lVal = 5000;  // above half of 8000 Hz
    EXPECT_EQ(E_INVALIDARG, src->SetParam(Bstr(OLESTR("Frequency")), v));
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(S_OK, src->GetParam(Bstr(OLESTR("SECONDS")), &out));
    EXPECT_EQ(VT_R8, out.vt);
    EXPECT_EQ(2.0, out.dblVal);
    // A name the source does not know is kept as given.
    VARIANT s;
    VariantInit(&s);
    s.vt = VT_BSTR;
    s.bstrVal = SysAllocString(OLESTR("anything"));
    ASSERT_EQ(S_OK, src->SetParam(Bstr(OLESTR("Custom")), s));
    VariantClear(&s);
    ASSERT_EQ(S_OK, src->GetParam(Bstr(OLESTR("custom")), &out));
    ASSERT_EQ(VT_BSTR, out.vt);
    EXPECT_EQ(OleString(OLESTR("anything")), OleString(out.bstrVal));
    VariantClear(&out);
    EXPECT_EQ(E_INVALIDARG, src->GetParam(Bstr(OLESTR("Unknown")), &out));
}

// ---- export ----

TEST(ExportToWav, WritesWhatTheSourceDelivers) {
    SignalSettings settings;
    settings.kind = SignalKind::Noise;
    settings.seconds = 0.5;
    settings.rate = 32000;
    settings.channels = 3;
    ComPtr<IMediaSource> src, reference;
    ASSERT_EQ(S_OK, CreateSignalSource(settings, &src));
    ASSERT_EQ(S_OK, CreateSignalSource(settings, &reference));
    const std::string path = TempPath("export.wav");
    ExportResult result;
    ASSERT_EQ(S_OK, ExportToWav(src.Get(), path, 37.0, &result)) << result.error;
    EXPECT_EQ(16000, result.frames);
    SF_INFO info;
    std::vector<int16_t> written = ReadWavDirectly(path, &info);
    EXPECT_EQ(32000, info.samplerate);
    EXPECT_EQ(3, info.channels);
    EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_PCM_16, info.format);
    EXPECT_EQ(ReadToEnd(reference.Get(), {100.0}), written);
    std::remove(path.c_str());

    // A file that cannot be created fails with a reason.
    ComPtr<IMediaSource> again;
    ASSERT_EQ(S_OK, CreateSignalSource(settings, &again));
    EXPECT_TRUE(FAILED(ExportToWav(again.Get(), TempPath("no/such/dir/x.wav"), 100.0, &result)));
    EXPECT_FALSE(result.error.empty());

    // A source already at its end gives an empty file of its format.
    ASSERT_EQ(S_OK, again->SeekAudio(-1, 0, 1e9));
    ASSERT_EQ(S_OK, ExportToWav(again.Get(), path, 100.0, &result)) << result.error;
    EXPECT_EQ(0, result.frames);
    EXPECT_TRUE(ReadWavDirectly(path, &info).empty());
    EXPECT_EQ(32000, info.samplerate);
    EXPECT_EQ(3, info.channels);
    std::remove(path.c_str());
}

// An effect that fills a long delay before its first output: every read takes a block of its
// input (while there is one) and hands out an empty block until `lagMs` of reads have passed,
// then the input's audio in order. Its time is that of its output, which stands still while it
// delivers nothing.
class LaggingChain : public CMediaSource {
public:
    LaggingChain(IMediaSource* input, const AudioFormatValues& format, double lagMs)
        : input_(input), format_(format), lagMs_(lagMs) {
        input_->AddRef();
    }
    ~LaggingChain() override { input_->Release(); }

    STDMETHODIMP ReadAudio(LONG, LONG, double ms, IUnknown** out) override {
        *out = nullptr;
        ComPtr<IUnknown> in;
        if (FAILED(input_->ReadAudio(-1, 0, ms, &in))) return E_FAIL;
        if (in) {
            const std::vector<int16_t> s = testing::SamplesOf(in.Get());
            held_.insert(held_.end(), s.begin(), s.end());
        }
        size_t take = 0;
        if (asked_ >= lagMs_) {
            if (held_.empty()) return S_OK;  // the end
            take = std::min(held_.size(),
                            static_cast<size_t>(FramesForMs(format_.rate, ms)) * format_.channels);
        }
        std::vector<BYTE> bytes(take * 2);
        if (take > 0) std::memcpy(bytes.data(), held_.data(), bytes.size());
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(take));
        const double duration =
            static_cast<double>(take / format_.channels) * 1000.0 / format_.rate;
        CAudioBlock* b = new CAudioBlock(format_);
        b->Assign(std::move(bytes), at_, duration);
        asked_ += ms;
        at_ += duration;
        *out = b->Unknown();
        return S_OK;
    }
    STDMETHODIMP get_audioTime(LONG, double* t) override {
        *t = at_;
        return S_OK;
    }

protected:
    bool IsOpenLocked() const override { return true; }
    AudioFormatValues FormatLocked() const override { return format_; }
    int64_t TotalFramesLocked() const override { return 0; }
    HRESULT ReadFramesLocked(int64_t, int64_t, int16_t*, int64_t*) override { return E_NOTIMPL; }

private:
    IMediaSource* input_;
    AudioFormatValues format_;
    double lagMs_;
    double asked_ = 0.0;  // ms asked for so far
    double at_ = 0.0;     // ms delivered so far
    std::vector<int16_t> held_;
};

// The end of a chain is its stream's end, however long the chain delivers nothing meanwhile;
// a chain that delivers nothing and neither reads nor moves on fails instead of being read
// forever.
TEST(ExportToWav, EndsAtTheEndOfTheStreamAndFailsOnlyAChainThatStandsStill) {
    SignalSettings settings;
    settings.kind = SignalKind::Noise;
    settings.seconds = 2.0;
    settings.rate = 8000;
    settings.channels = 2;
    AudioFormatValues format;
    format.rate = settings.rate;
    format.channels = settings.channels;
    ComPtr<IMediaSource> input, reference;
    ASSERT_EQ(S_OK, CreateSignalSource(settings, &input));
    ASSERT_EQ(S_OK, CreateSignalSource(settings, &reference));
    const std::string path = TempPath("lagging.wav");
    {
        ComPtr<IMediaSource> chain(new LaggingChain(input.Get(), format, 3000.0));
        ExportResult result;
        ASSERT_EQ(S_OK, ExportToWav(chain.Get(), path, 50.0, &result, input.Get()))
            << result.error << ": " << result.reason;
        SF_INFO info;
        EXPECT_EQ(ReadToEnd(reference.Get(), {100.0}), ReadWavDirectly(path, &info));
        EXPECT_EQ(16000, result.frames);
    }

    // Nothing but empty blocks, no read of the input, no time passing: an error once 10 s have
    // been asked for, and the file is closed (the table source would end after 1000 such
    // reads).
    testing::TableSource* still = new testing::TableSource(
        std::make_shared<testing::DoublesState>(), format, testing::VariedSamples(800, 2));
    ComPtr<IMediaSource> stillChain(still);
    still->EmptyBlocksAfter(0);
    ExportResult result;
    EXPECT_EQ(E_UNEXPECTED, ExportToWav(stillChain.Get(), path, 100.0, &result, input.Get()));
    EXPECT_EQ("the chain makes no progress", result.error);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_LE(still->Reads(), 102);
    std::remove(path.c_str());
}

// A table whose duration, when claimedMs is given, says something else than what it holds.
class ClaimingSource : public testing::TableSourceBase {
public:
    ClaimingSource(const AudioFormatValues& format, std::vector<int16_t> samples, double claimedMs)
        : TableSourceBase(format, std::move(samples)), claimedMs_(claimedMs) {}
    STDMETHODIMP get_audioDuration(LONG stream, double* ms) override {
        if (claimedMs_ < 0.0) return TableSourceBase::get_audioDuration(stream, ms);
        *ms = claimedMs_;
        return S_OK;
    }

private:
    double claimedMs_;
};

// The container follows from the duration the source states, before its audio is there: RF64
// for a day of audio (which libsndfile finishes as WAV while it stays short, with a JUNK chunk
// where RF64's ds64 chunk was), plain WAV for 100 ms. The samples are the same either way.
TEST(ExportToWav, TakesRf64ForASourceThatSaysItIsLong) {
    AudioFormatValues format;
    format.rate = 8000;
    format.channels = 2;
    const std::vector<int16_t> samples = testing::VariedSamples(800, 2);
    const struct {
        double claimedMs;
        const char* chunk;  // the chunk after "WAVE"
    } cases[] = {{-1.0, "fmt "}, {86400000.0, "JUNK"}};
    const std::string path = TempPath("claimed.wav");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chunk);
        ComPtr<IMediaSource> src(new ClaimingSource(format, samples, c.claimedMs));
        ExportResult result;
        ASSERT_EQ(S_OK, ExportToWav(src.Get(), path, 30.0, &result)) << result.error;
        std::ifstream file(path, std::ios::binary);
        char head[16] = {};
        file.read(head, sizeof(head));
        EXPECT_EQ(c.chunk, std::string(head + 12, 4));
        SF_INFO info;
        EXPECT_EQ(samples, ReadWavDirectly(path, &info));
    }
    std::remove(path.c_str());
}

}  // namespace
}  // namespace corvane::host
