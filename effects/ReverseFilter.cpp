#include "effects/ReverseFilter.h"

CReverseFilter::~CReverseFilter() = default;
