// What registration must write for each of the seventeen classes, written out independently of
// the scripts, and the check of it that the registration and the regsvr32 tests share.
#pragma once

#include "platform/win32.h"

namespace corvane::testing {

struct ClassRegistrationKeys {
    const CLSID* clsid;
    const OLECHAR* description;
    bool lowerCaseKey;  // the CLSID in the key's name in lower case
    bool programmable;  // an empty Programmable subkey
};

extern const ClassRegistrationKeys kRegisteredClasses[17];

// Software\Classes, below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
extern const OleString kClasses_;

// The name of the class's key below CLSID, in the case its script writes.
OleString ClassKeyName(const ClassRegistrationKeys& c);
// Software\Classes\TypeLib\{LIBID}\1.0\0\win32, whose default value names the library's file.
OleString TypeLibPlatformKey();

// Each class's key below hive\Software\Classes\CLSID holds exactly what registration writes,
// module being the path that InprocServer32 must name (other classes may sit beside them); with
// typeLib, the type library is registered with module's path too.
void ExpectClassKeysIn(HKEY hive, const OleString& module, bool typeLib = true);

// CoCreateInstance gives an object of each of the seventeen classes for IMediaSource.
void ExpectEveryClassCreatedByCom();

}  // namespace corvane::testing
