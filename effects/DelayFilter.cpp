#include "effects/DelayFilter.h"

CDelayFilter::~CDelayFilter() = default;
