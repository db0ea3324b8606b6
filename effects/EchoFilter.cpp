#include "effects/EchoFilter.h"

CEchoFilter::~CEchoFilter() = default;
