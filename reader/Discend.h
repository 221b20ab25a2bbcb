#pragma once
// The current disc's lead-out as a frame address; 0 while it is not known, which sends
// every sector read through the beyond-lead-out strategies.
#include <cstdint>

extern int64_t DiscEndAddress;
