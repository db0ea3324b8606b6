#include "effects/AudioFilterNB.h"

CAudioFilterNB::~CAudioFilterNB() = default;
