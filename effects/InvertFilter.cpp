#include "effects/InvertFilter.h"

CInvertFilter::~CInvertFilter() = default;
