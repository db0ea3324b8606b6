#include "effects/AudioFilter.h"

CAudioFilter::~CAudioFilter() = default;
