#include "effects/StretchFilter.h"

CStretchFilter::~CStretchFilter() = default;
