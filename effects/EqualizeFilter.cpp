#include "effects/EqualizeFilter.h"

CEqualizeFilter::~CEqualizeFilter() = default;
