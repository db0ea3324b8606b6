// The reverse effect: the interval played backwards in every reading layout, its temporary files
// (order, sizes, names, leading silence, none left behind), the read position across seeks, and
// each fault mended in it.
#include "tests/effects/harness.h"

#include "effects/ReverseFilter.h"

#include "tests/support/sound_files.h"

#include <filesystem>

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

// The frames of the signal in reverse order, each frame's channels in place.
std::vector<int16_t> Reversed(const Signal& in) {
    const size_t ch = static_cast<size_t>(in.Channels());
    std::vector<int16_t> out(in.samples.size());
    const size_t frames = out.size() / ch;
    for (size_t f = 0; f < frames; ++f) {
        std::copy_n(in.samples.begin() + static_cast<long>((frames - 1 - f) * ch), ch,
                    out.begin() + static_cast<long>(f * ch));
    }
    return out;
}

// From `ms` on: what a run that seeks there keeps.
std::vector<int16_t> From(const std::vector<int16_t>& samples, const Signal& in, double ms) {
    const size_t at = static_cast<size_t>(ms * in.Rate() / 1000.0) * in.Channels();
    return {samples.begin() + static_cast<long>(at), samples.end()};
}

// A source whose blocks are 40 ms longer than asked.
class OvershootingSource : public TableSource {
public:
    using TableSource::TableSource;
    STDMETHODIMP ReadAudio(LONG Stream, LONG Flags, double Duration, IUnknown** p) override {
        return TableSource::ReadAudio(Stream, Flags, Duration + 40.0, p);
    }
};

class Reverse : public EffectHarness {
protected:
    void SetUp() override {
        EffectHarness::SetUp();
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::u8path(corvane::testing::TempPath(std::string("reverse_") + test->name()));
        fs::remove_all(folder_);
        ASSERT_TRUE(fs::create_directory(folder_));
    }
    void TearDown() override {
        EXPECT_TRUE(Files().empty()) << "temporary files left behind";
        fs::remove_all(folder_);
    }

    OleString TempPath() const { return Utf8ToOle((folder_ / "").u8string()); }
    // The names of the files in the temporary folder. On Linux those the process holds open, each
    // removed from the folder at once, so that a process killed meanwhile leaves none, and
    // private to the user (Windows gives a new file its folder's security instead).
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
#if defined(_WIN32)
        for (const auto& entry : fs::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
#else
        EXPECT_TRUE(fs::is_empty(folder_));
        const std::string prefix = (folder_ / "").string();
        for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            const std::string target = fs::read_symlink(fd, error).string();
            if (error || target.compare(0, prefix.size(), prefix) != 0) continue;
            EXPECT_EQ(fs::status(fd).permissions(), fs::perms::owner_read | fs::perms::owner_write);
            names.push_back(target.substr(prefix.size(), 32));
        }
#endif
        return names;
    }

    EffectSetup ReverseOf(const Signal& in) const {
        EffectSetup setup = Effect(CLSID_ReverseFilter5);
        Configure(setup, in);
        return setup;
    }
    void Configure(EffectSetup& setup, const Signal& in) const {
        setup.params.Set(OLESTR("nSamplesPerSec"), in.Rate())
            .Set(OLESTR("nChannels"), in.Channels())
            .Set(OLESTR("TempPath"), TempPath());
    }

    // An engine of the effect over `source`, with the setup's parameters and zones.
    void Connect(CReverseFilter& engine, IMediaSource* source, const EffectSetup& setup) {
        ASSERT_EQ(engine.PutMediaSource(source), S_OK);
        ComPtr<RecordingEffectParams> params = doubles.NewParams(setup.params.store);
        ASSERT_EQ(engine.PutEffectParams(static_cast<IEffectParams*>(params.Get())), S_OK);
        ComPtr<RecordingEffectZones> zones = doubles.NewZones();
        for (const Zone& z : setup.zones) {
            host::ZoneValues v;
            v.start = z.start, v.duration = z.duration;
            LONG id = 0;
            ASSERT_EQ(zones->Add(v, &id), S_OK);
        }
        if (!setup.zones.empty()) {
            ASSERT_EQ(engine.PutEffectZones(static_cast<IEffectZones*>(zones.Get())), S_OK);
        }
    }

    // Everything the engine gives in reads of 100 ms.
    static std::vector<int16_t> ReadAll(CReverseFilter& engine) {
        std::vector<int16_t> got;
        for (int i = 0; i < 10000; ++i) {
            ComPtr<IUnknown> block;
            EXPECT_EQ(engine.ReadAudio(0, 0, 100.0, &block), S_OK);
            if (!block) break;
            const std::vector<int16_t> samples = SamplesOf(block.Get());
            got.insert(got.end(), samples.begin(), samples.end());
        }
        return got;
    }

    fs::path folder_;
};

const Model kReversed = [](const Signal& in) { return Reversed(in); };

TEST_F(Reverse, PlaysTheIntervalBackwardsInEveryReadingLayoutAndZone) {
    // Without zones the whole stream, known before the first block.
    ExpectModelInEveryLayout(
        Effect(CLSID_ReverseFilter5), kReversed, 0,
        [this](EffectSetup& setup, const Signal& in) { Configure(setup, in); });
}

TEST_F(Reverse, FilesInReverseOrderNamedByGuidAndRemovedWithTheStream) {
    const Signal in = VariedSignal(2, 8000, 14000.0);
    EffectSetup setup = ReverseOf(in);
    setup.params.Set(OLESTR("TempPath"), Utf8ToOle(folder_.u8string()));  // no closing separator
    setup.zones = {{1000.0, 12000.0}};
    ComPtr<TableSource> source(new TableSource(doubles.State(), in.format, in.samples));
    {
        CReverseFilter engine(CLSID_ReverseFilter5, IID_IReverseFilter5, 0, 0);
        Connect(engine, static_cast<IMediaSource*>(source.Get()), setup);
        ASSERT_EQ(source->SeekAudio(0, 0, 700.0), S_OK);
        ASSERT_EQ(engine.InitFilter(nullptr), S_OK);
        double at = 0.0;
        source->get_audioTime(0, &at);
        EXPECT_EQ(at, 700.0);  // where it was
        // 5000, 5000 and 2000 ms of 4-byte frames at 8000 Hz, the last chunk first.
        ASSERT_EQ(engine.Files().size(), 3u);
        EXPECT_EQ(engine.Files()[0]->Size(), 64000);
        EXPECT_EQ(engine.Files()[1]->Size(), 160000);
        EXPECT_EQ(engine.Files()[2]->Size(), 160000);
        const std::vector<std::string> names = Files();
        ASSERT_EQ(names.size(), 3u);
        for (const std::string& name : names) {
            EXPECT_EQ(name.size(), 32u);
            EXPECT_EQ(name.find_first_not_of("0123456789abcdef"), std::string::npos) << name;
            EXPECT_EQ(Utf8ToOle((folder_ / name).string()).substr(0, TempPath().size()),
                      TempPath());
        }
        // A seek to the interval start + 6000 ms: file 1, 4000 ms into it.
        ASSERT_EQ(engine.SeekAudio(0, 0, 7000.0), S_OK);
        EXPECT_EQ(engine.CurrentFile(), 1u);
        EXPECT_EQ(engine.FileOffset(), 4000 * 8 * 4);
        // A new InitFilter replaces the files; a new source removes them.
        ASSERT_EQ(engine.InitFilter(nullptr), S_OK);
        EXPECT_EQ(Files().size(), 3u);
        for (const std::string& name : names) EXPECT_FALSE(fs::exists(folder_ / name));
        ASSERT_EQ(engine.PutMediaSource(static_cast<IMediaSource*>(source.Get())), S_OK);
        EXPECT_TRUE(Files().empty());
        ASSERT_EQ(engine.InitFilter(nullptr), S_OK);
        EXPECT_EQ(Files().size(), 3u);
        // A read that fails part-way through the interval, a block whose audio cannot be reached
        // or a source that cannot go back fails the build and leaves no file.
        for (const auto& [call, skip] :
             {std::pair{"ReadAudio", 2}, {"GetBufferAndLength", 1}, {"SeekAudio", 1}}) {
            doubles.Failures().FailCall(call, E_ABORT, {}, 1, skip);
            EXPECT_EQ(engine.InitFilter(nullptr), E_ABORT) << call;
            EXPECT_TRUE(Files().empty());
        }
        // A second after 44100 Hz stereo: 176400 bytes.
        const Signal cd = VariedSignal(2, 44100, 1500.0);
        EffectSetup second = ReverseOf(cd);
        second.zones = {{200.0, 1000.0}};
        ComPtr<TableSource> other(new TableSource(doubles.State(), cd.format, cd.samples));
        Connect(engine, static_cast<IMediaSource*>(other.Get()), second);
        ASSERT_EQ(engine.InitFilter(nullptr), S_OK);
        ASSERT_EQ(engine.Files().size(), 1u);
        EXPECT_EQ(engine.Files()[0]->Size(), 176400);
    }
    EXPECT_TRUE(Files().empty());  // the engine's end removed them
}

TEST_F(Reverse, IntervalEndsWithTheStream) {
    // The interval runs 300 ms past the source's end: the source's last 800 ms backwards, with no
    // silence from past the end in front of them.
    const Signal in = VariedSignal(2, 8000, 1000.0);
    EffectSetup setup = ReverseOf(in);
    setup.zones = {{200.0, 1100.0}};
    std::vector<int16_t> expected = in.samples;
    const std::vector<int16_t> tail =
        Reversed(Signal{in.format, {in.samples.begin() + 1600 * 2, in.samples.end()}});
    std::copy(tail.begin(), tail.end(), expected.begin() + 1600 * 2);
    ExpectOutput(setup, in, expected);
}

TEST_F(Reverse, SeeksInsideAndPastTheInterval) {
    // Files of 2000, 5000 and 5000 ms; a seek 1000 ms into the first file read to its end and
    // on, one to the second file, and one a second past the interval's end, where the blocks stay
    // as they are.
    const Signal in = VariedSignal(1, 4000, 14000.0);
    EffectSetup setup = ReverseOf(in);
    setup.zones = {{500.0, 12000.0}};
    const std::vector<int16_t> whole = Expected(in, setup.zones, kReversed);
    for (const double to : {1500.0, 6500.0, 13500.0}) {
        SCOPED_TRACE(::testing::Message() << "seek to " << to);
        const SeekPoint seek{300.0, to};
        ExpectOutput(setup, in, From(whole, in, to), 0, &seek);
    }
}

TEST_F(Reverse, MissingFolderFailsWithTheSourceWhereItWas) {
    const Signal in = VariedSignal(2, 8000, 12000.0);
    EffectSetup setup = ReverseOf(in);
    setup.params.Set(OLESTR("TempPath"), TempPath() + OLESTR("missing/"));
    ComPtr<TableSource> source(new TableSource(doubles.State(), in.format, in.samples));
    CReverseFilter engine(CLSID_ReverseFilter5, IID_IReverseFilter5, 0, 0);
    Connect(engine, static_cast<IMediaSource*>(source.Get()), setup);
    ASSERT_EQ(source->SeekAudio(0, 0, 2500.0), S_OK);
    EXPECT_EQ(engine.InitFilter(nullptr), static_cast<HRESULT>(0x80040303));  // File access error.
    double at = 0.0;
    source->get_audioTime(0, &at);
    EXPECT_EQ(at, 2500.0);
    EXPECT_TRUE(engine.Files().empty());
}

TEST_F(Reverse, BlocksLongerThanAskedAreCutToTheInterval) {
    const Signal in = VariedSignal(2, 8000, 11000.0);
    EffectSetup setup = ReverseOf(in);
    setup.zones = {{250.0, 10300.0}};
    ComPtr<OvershootingSource> source(
        new OvershootingSource(doubles.State(), in.format, in.samples));
    CReverseFilter engine(CLSID_ReverseFilter5, IID_IReverseFilter5, 0, 0);
    Connect(engine, static_cast<IMediaSource*>(source.Get()), setup);
    ASSERT_EQ(engine.InitFilter(nullptr), S_OK);
    EXPECT_TRUE(SamplesNear(ReadAll(engine), Expected(in, setup.zones, kReversed), 0));
    EXPECT_EQ(engine.PutMediaSource(nullptr), S_OK);
}

}  // namespace
}  // namespace corvane::testing
