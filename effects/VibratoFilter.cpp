#include "effects/VibratoFilter.h"

CVibratoFilter::~CVibratoFilter() = default;
