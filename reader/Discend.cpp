#include "reader/Discend.h"

int64_t DiscEndAddress = 0;
