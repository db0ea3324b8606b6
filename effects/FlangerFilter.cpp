#include "effects/FlangerFilter.h"

CFlangerFilter::~CFlangerFilter() = default;
