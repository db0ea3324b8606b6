// The vector vocabulary's lanes on every slot this machine supports (its self-test), run before
// every kernel test (tests/dsp/CMakeLists.txt) and under each emulated processor.
#include "tests/dsp/slots.h"

namespace {

class VecLanes : public DspSlotTest {};

TEST_P(VecLanes, EveryOperationLaneByLane) {
    char message[200];
    EXPECT_EQ(dspslots::dspVecSelfTest[slot()](message, sizeof message), 0) << message;
}

DSP_INSTANTIATE_SLOTS_OF(VecLanes, dspslots::dspVecSelfTest);

}  // namespace
