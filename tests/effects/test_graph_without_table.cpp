// The graph effects in a process whose entry table stays empty (the provider fills nothing), and
// with no provider at all: every block passes untouched, nothing crashes. A program of its own,
// as the table is filled at most once per process.
#include "tests/effects/harness.h"

namespace corvane::testing {
namespace {

class GraphWithoutTable : public EffectHarness, public ::testing::WithParamInterface<bool> {};

TEST_P(GraphWithoutTable, EveryGraphEffectPassesTheAudio) {
    // The first fill of the process is the one that counts: it must find nothing.
    doubles.Failures().FailCall("FillApi", E_NOTIMPL);
    if (GetParam()) doubles.Failures().FailCreate(CLSID_FilterGraphProvider, REGDB_E_CLASSNOTREG);
    const double f[] = {1000.0}, w[] = {100.0}, g[] = {6.0};
    Params map;
    map.Set(OLESTR("FilterType"), 3);
    for (LONG i = 0; i < 2; ++i) {
        map.store.AddEntry(OLESTR("MapArray"));
        map.store.Set(OLESTR("MapArray"), i, 1 - i);
    }
    struct Case {
        const CLSID* clsid;
        Params params;
    } cases[] = {
        {&CLSID_AudioFilter5, Params().Set(OLESTR("FilterType"), 2)},
        {&CLSID_AudioFilter5, Params()
                                  .Set(OLESTR("FilterType"), 1)
                                  .Set(OLESTR("FrequencyArray"), host::DoubleArray(f, 1))
                                  .Set(OLESTR("WidthArray"), host::DoubleArray(w, 1))
                                  .Set(OLESTR("dbGainArray"), host::DoubleArray(g, 1))},
        {&CLSID_AudioFilterNB5, map},
    };
    const Signal in = VariedSignal(2, 8000, 200.0);
    for (const Case& c : cases) {
        EffectSetup setup = Effect(*c.clsid);
        setup.params = c.params;
        ExpectOutput(setup, in, in.samples);
    }
}

INSTANTIATE_TEST_SUITE_P(EmptyTableOrNoProvider, GraphWithoutTable, ::testing::Bool());

}  // namespace
}  // namespace corvane::testing
