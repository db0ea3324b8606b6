#include "effects/MedianFilter.h"

CMedianFilter::~CMedianFilter() = default;
