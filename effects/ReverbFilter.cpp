#include "effects/ReverbFilter.h"

CReverbFilter::~CReverbFilter() = default;
