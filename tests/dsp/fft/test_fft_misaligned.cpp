// Arrays at any byte address: every transform body of both directions, at every order of the
// default run, with source, destination and work buffer 1 and 4 bytes off (out of place, and in
// place in the destination), gives the bits of its aligned call. Under the sanitizer build a
// load or store of a double at a misaligned address stops the program.
#include "tests/dsp/fft/fft_support.h"

namespace {

using namespace ffttest;

class FftMisalignedTest : public FftBodyTest {};

TEST_P(FftMisalignedTest, ByteOffsetsKeepEveryBit) {
    const int s = slot();
    for (Way w : {Way::Fwd, Way::Inv}) {
        for (int order = 0; order <= kLastDefaultOrder; ++order) {
            SCOPED_TRACE(std::string(w == Way::Fwd ? "forward" : "inverse") + ", order " +
                         std::to_string(order));
            // Scaled, so that the scaling of each path runs on the misaligned arrays too.
            const BuiltSpec b(s, order, 0, scaledFlag(w));
            ASSERT_EQ(b.status, dspOk);
            const std::vector<double> in = randomInput(w, order, 4100 + order);
            const std::vector<double> want = transform(w, s, b, in);
            for (size_t off : {1, 4}) {
                for (const ffttest::Run& r :
                     {ffttest::Run{false, off, off, off}, ffttest::Run{true, 0, off, off}}) {
                    SCOPED_TRACE(std::string(r.inPlace ? "in place" : "out of place") + ", +" +
                                 std::to_string(off) + " bytes");
                    const std::vector<double> got = transform(w, s, b, in, r);
                    EXPECT_TRUE(sameBits(got.data(), want.data(), want.size()));
                }
            }
        }
    }
}

DSP_INSTANTIATE_SLOTS_WITH_2N(FftMisalignedTest);

}  // namespace
