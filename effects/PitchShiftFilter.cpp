#include "effects/PitchShiftFilter.h"

CPitchShiftFilter::~CPitchShiftFilter() = default;
