#include "effects/BandFilter.h"

CBandFilter::~CBandFilter() = default;
