// The volume effect: changes the level of the 16-bit samples in place, by one gain over the effect
// interval or, with "UseZoneProperties", zone by zone from each zone's own properties, each a
// constant gain, a linear gain ramp or a decibel ramp. Gains are fixed-point with 8 fraction bits
// (256 = unity, "Q8"); ramps are evaluated in single precision. With "UseStrengthPerCh" the result
// is mixed with the unprocessed samples by the framework's strengths.
//
// Keys: "VolumeScale" (integer: 255 decibels, 1 percent values with a decibel ramp, else percent
// values); "dBStartLevel" and "dBEndLevel" (a ramp, both needed), else "dBVolumeLevel" (dB), else
// "VolumeLevel" (a factor). The engine's output level is not applied on top: the volume scales
// once.
#pragma once

#include "platform/win32.h"

#include "effects/common/ParamRead.h"
#include "effects/common/WholeBlock.h"

#include <cstdint>
#include <vector>

// How one zone (or the whole interval) scales, and where it lies.
struct VolumeZoneRecord {
    int32_t mode = 0;              // 0 constant gain, 1 linear gain ramp, 2 decibel ramp
    int32_t gain = 256;            // constant gain, Q8
    int32_t startGain = 256;       // Q8 at the zone's start and end
    int32_t endGain = 256;         //
    int64_t gainDifference = 0;    // end gain - start gain
    double gainStep = 0.0;         // per 16-bit sample
    double startLevel = 1.0;       // "dBStartLevel", "dBEndLevel" as read
    double endLevel = 1.0;         //
    double levelDifference = 0.0;  // end level - start level
    double levelStep = 0.0;        // per 16-bit sample
    double zoneStart = 0.0;        // ms
    double zoneDuration = 0.0;     // ms
    int64_t startByte = 0;         // the zone in bytes of the stream
    int64_t lengthBytes = 0;
    int64_t endByte = 0;
};

class CVolumeFilter : public CWholeBlockFilter {
public:
    using CWholeBlockFilter::CWholeBlockFilter;
    ~CVolumeFilter() override;

    HRESULT ResetParams() override;
    // Throws E_OUTOFMEMORY when a key name cannot be allocated.
    HRESULT LoadParams() override;
    // Places the zone records (or the current record) in bytes at the stream's format.
    HRESULT BuildChannelFilters() override;
    HRESULT OnBlockFormat() override;
    void ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count, LONG last,
                      IAudioData** out) override;

    // The levels one parameter object gives, NaN where it gives none.
    struct Levels {
        double start = ParamSpec::kNone;   // "dBStartLevel"
        double end = ParamSpec::kNone;     // "dBEndLevel"
        double factor = ParamSpec::kNone;  // "dBVolumeLevel" as a factor, else "VolumeLevel"
    };
    // The keys of the engine's own parameters ("VolumeScale", "UseZoneProperties") and the levels
    // of the engine's and of each zone's.
    static const ParamTable<CVolumeFilter>& Params();
    static const ParamTable<Levels>& LevelParams();

    // Reads the levels of a record from `params` at this "VolumeScale"; keys that are absent (or
    // NaN) leave it as it was.
    static void ReadZoneLevels(VolumeZoneRecord* rec, IEffectParams* params, LONG scale);
    // Scales n interleaved samples of `channels` channels by rec, `fraction` of the way into it.
    static void ApplyGain(const VolumeZoneRecord& rec, int16_t* x, int64_t n, int channels,
                          double fraction);

    // For the tests: the records as loaded and placed.
    const VolumeZoneRecord& Current() const { return m_current; }
    const std::vector<VolumeZoneRecord>& Zones() const { return m_zones; }

private:
    // Reads the zone records from the zone object; false when it gives none.
    bool LoadZoneRecords(LONG scale);
    // The steps of a record from its length.
    static void ComputeSteps(VolumeZoneRecord* rec);
    // The current record over the engine's interval.
    void TakeInterval();
    // The gain over `count` samples through the zone records, from the block's byte position.
    void WalkGainZones(int16_t* samples, LONG count);
    // The strength mix of the processed samples with m_dry.
    void MixDry(int16_t* samples, LONG count);
    void MixFrames(int16_t* samples, const int16_t* dry, int64_t frames, float rel);

    bool m_multiZone = false;               // more than one zone record
    VolumeZoneRecord m_current;             // the record in use
    int32_t m_zoneIndex = 0;                // of m_current in m_zones
    std::vector<VolumeZoneRecord> m_zones;  // ascending by start, the host's order kept for ties
    std::vector<int16_t> m_dry;             // the unprocessed samples of the block being mixed
    std::vector<float> m_triples;           // strengths per channel (ComputeStrengths)
    int32_t m_scale = 0;                    // "VolumeScale"
    bool m_useZoneProperties = false;       // "UseZoneProperties": given at all counts
};
