#include "effects/WahWahFilter.h"

CWahWahFilter::~CWahWahFilter() = default;
