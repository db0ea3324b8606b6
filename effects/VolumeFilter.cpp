#include "effects/VolumeFilter.h"

CVolumeFilter::~CVolumeFilter() = default;
