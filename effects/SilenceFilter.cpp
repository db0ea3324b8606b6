#include "effects/SilenceFilter.h"

CSilenceFilter::~CSilenceFilter() = default;
