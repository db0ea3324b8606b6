// Running a test on every CPU slot that has a body of the routine under test.
//
//   class MyTest : public DspSlotTest {};
//   TEST_P(MyTest, Works) { int s = slot(); ... dspslots::dspSet64f[s](...) ... }
//   DSP_INSTANTIATE_SLOTS(MyTest);                             // slots 0..5
//   DSP_INSTANTIATE_SLOTS_WITH_2N(MyTest);                     // slots 0..5 and 2n
//   DSP_INSTANTIATE_SLOTS_OF(MyFft, dspslots::dspFftInitReal64f);  // the slots with a body
//
// Only cases that exist are instantiated; a slot this machine cannot run is skipped in SetUp
// (GTEST_SKIP), never failed, so a skipped case always means "this processor lacks the slot".
// Plain TESTs can loop with dspForEachSupportedSlot or call DSP_SKIP_UNLESS_SLOT(s).
// The tables, slot support and guarded buffers are in dsp/support/slot_tables.h.
#pragma once

#include "dsp/support/slot_tables.h"

#include <gtest/gtest.h>

#include <string>

#define DSP_SKIP_UNLESS_SLOT(s)                                                        \
    do {                                                                               \
        if (!dspSlotSupported(s)) GTEST_SKIP() << "CPU lacks slot " << dspSlotName(s); \
    } while (0)

// Runs fn(slot) for every supported slot, with the slot in the failure messages.
template <typename Fn>
void dspForEachSupportedSlot(Fn fn, bool with2n = false) {
    for (int s : dspSupportedSlots(with2n)) {
        SCOPED_TRACE(std::string("slot ") + dspSlotName(s));
        fn(s);
    }
}

// Parameterised fixture: the parameter is the slot; unsupported slots are skipped.
class DspSlotTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { DSP_SKIP_UNLESS_SLOT(GetParam()); }
    int slot() const { return GetParam(); }
};

// A slot test that starts with the processor detection and the trace reset and ends with the
// detection reset, for routines whose dispatch and trace the test inspects.
class DspTracedSlotTest : public DspSlotTest {
protected:
    void SetUp() override {
        DspSlotTest::SetUp();
        dspTestResetCpu();
        dspTestTraceReset();
    }
    void TearDown() override { dspTestResetCpu(); }
};

struct DspSlotParamName {
    std::string operator()(const ::testing::TestParamInfo<int>& info) const {
        return dspSlotName(info.param);
    }
};

#define DSP_INSTANTIATE_SLOTS(fixture) \
    INSTANTIATE_TEST_SUITE_P(Slots, fixture, ::testing::Range(0, kDspSlotCount), DspSlotParamName())
// Slots 0..5 and 2n.
#define DSP_INSTANTIATE_SLOTS_WITH_2N(fixture)                                         \
    INSTANTIATE_TEST_SUITE_P(Slots, fixture, ::testing::Range(0, kDspSlotCountWith2n), \
                             DspSlotParamName())
#define DSP_INSTANTIATE_SLOTS_OF(fixture, table)                                           \
    INSTANTIATE_TEST_SUITE_P(Slots, fixture, ::testing::ValuesIn(dspSlotsWithBody(table)), \
                             DspSlotParamName())
