#include "server/classes.h"

namespace corvane {

namespace {

#define CORVANE_CLASS_ENTRY(Name)                                          \
    {&CLSID_##Name##5,       &IidOf<detail::ClassInterfaceOf_##Name##5>(), \
     C##Name##5 ::kScriptId, detail::kDescriptionOf_##Name##5,             \
     C##Name ::kTraits,      &C##Name##5 ::CreateInstance},
const ClassEntry kClassTable[] = {CORVANE_EFFECT_CLASSES(CORVANE_CLASS_ENTRY)};
#undef CORVANE_CLASS_ENTRY

}  // namespace

const ClassEntry* GetClassTable(size_t* count) {
    if (count != nullptr) *count = sizeof kClassTable / sizeof kClassTable[0];
    return kClassTable;
}

}  // namespace corvane
