#include "tests/server/registration_checks.h"

#include <vector>

#include <gtest/gtest.h>

#include "corvane/corvane.h"
#include "platform/com_ptr.h"
#include "tests/server/server_support.h"

namespace corvane::testing {

const ClassRegistrationKeys kRegisteredClasses[17] = {
    {&CLSID_AudioFilter5, OLESTR("AudioFilter5 Class"), false, false},
    {&CLSID_AudioFilterNB5, OLESTR("AudioFilterNB5 class"), true, false},
    {&CLSID_BandFilter5, OLESTR("BandFilter5 Class"), false, false},
    {&CLSID_DelayFilter5, OLESTR("DelayFilter5 Class"), false, false},
    {&CLSID_EchoFilter5, OLESTR("EchoFilter5 Class"), false, false},
    {&CLSID_EqualizeFilter5, OLESTR("EqualizeFilter5 Class"), false, false},
    {&CLSID_FlangerFilter5, OLESTR("FlangerFilter5 Class"), false, true},
    {&CLSID_InvertFilter5, OLESTR("InvertFilter5 Class"), false, false},
    {&CLSID_MedianFilter5, OLESTR("MedianFilter5 Class"), false, false},
    {&CLSID_PitchShiftFilter5, OLESTR("PitchShiftFilter5 Class"), false, false},
    {&CLSID_ReverbFilter5, OLESTR("ReverbFilter5 Class"), false, false},
    {&CLSID_ReverseFilter5, OLESTR("ReverseFilter5 Class"), false, false},
    {&CLSID_SilenceFilter5, OLESTR("SilenceFilter5 Class"), false, false},
    {&CLSID_StretchFilter5, OLESTR("StretchFilter5 Class"), false, false},
    {&CLSID_VibratoFilter5, OLESTR("VibratoFilter5 Class"), false, false},
    {&CLSID_VolumeFilter5, OLESTR("VolumeFilter5 Class"), false, false},
    {&CLSID_WahWahFilter5, OLESTR("WahWahFilter5 Class"), false, false},
};

const OleString kClasses_ = OLESTR("Software\\Classes");

OleString ClassKeyName(const ClassRegistrationKeys& c) {
    return c.lowerCaseKey ? LowerCase(GuidText(*c.clsid)) : GuidText(*c.clsid);
}

OleString TypeLibPlatformKey() {
    return kClasses_ + OLESTR("\\TypeLib\\") + GuidText(LIBID_corvaneLib) +
           OLESTR("\\1.0\\0\\win32");
}

void ExpectClassKeysIn(HKEY hive, const OleString& module, bool typeLib) {
    using Names = std::vector<OleString>;
    for (const ClassRegistrationKeys& c : kRegisteredClasses) {
        SCOPED_TRACE(Narrow(c.description));
        const OleString key = kClasses_ + OLESTR("\\CLSID\\") + ClassKeyName(c);
        OleString value;
        EXPECT_EQ(ValueNames(hive, key), (Names{OLESTR("")}));
        EXPECT_TRUE(ReadString(hive, key, nullptr, &value));
        EXPECT_EQ(value, c.description);
        Names sub = c.programmable
                        ? Names{OLESTR("InprocServer32"), OLESTR("Programmable"), OLESTR("TypeLib"),
                                OLESTR("Version")}
                        : Names{OLESTR("InprocServer32"), OLESTR("TypeLib"), OLESTR("Version")};
        EXPECT_EQ(SubkeyNames(hive, key), sub);

        EXPECT_EQ(ValueNames(hive, key + OLESTR("\\InprocServer32")),
                  (Names{OLESTR(""), OLESTR("ThreadingModel")}));
        EXPECT_TRUE(ReadString(hive, key + OLESTR("\\InprocServer32"), nullptr, &value));
        EXPECT_EQ(value, module);
        EXPECT_TRUE(
            ReadString(hive, key + OLESTR("\\InprocServer32"), OLESTR("ThreadingModel"), &value));
        EXPECT_EQ(value, OLESTR("Apartment"));
        EXPECT_TRUE(ReadString(hive, key + OLESTR("\\TypeLib"), nullptr, &value));
        EXPECT_EQ(value, GuidText(LIBID_corvaneLib));
        EXPECT_TRUE(ReadString(hive, key + OLESTR("\\Version"), nullptr, &value));
        EXPECT_EQ(value, OLESTR("1.0"));
        for (const OLECHAR* leaf :
             {OLESTR("\\InprocServer32"), OLESTR("\\TypeLib"), OLESTR("\\Version")})
            EXPECT_EQ(SubkeyNames(hive, key + leaf), Names{});
        if (c.programmable) {
            EXPECT_EQ(SubkeyNames(hive, key + OLESTR("\\Programmable")), Names{});
            EXPECT_EQ(ValueNames(hive, key + OLESTR("\\Programmable")), Names{});
        }
    }
    if (!typeLib) return;
    OleString typeLibFile;
    EXPECT_TRUE(ReadString(hive, TypeLibPlatformKey(), nullptr, &typeLibFile));
    EXPECT_EQ(typeLibFile, module);
}

void ExpectEveryClassCreatedByCom() {
    for (const ClassRegistrationKeys& c : kRegisteredClasses) {
        ComPtr<IMediaSource> object;
        EXPECT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaSource,
                                   object.Out()),
                  S_OK)
            << Narrow(c.description);
        EXPECT_TRUE(object) << Narrow(c.description);
    }
}

}  // namespace corvane::testing
