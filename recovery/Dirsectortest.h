#pragma once
// Two tests on the user data of one sector, used by the recovery scan to classify a sector.
#include <cstdint>

// True when the data holds one or more well-formed directory records followed only by
// zero bytes. Reads nothing outside data[0..size).
bool IsDirectorySector(const uint8_t* data, uint32_t size);

// n receives the number of bytes before the run of zero bytes that ends the data; true
// when that run is at least splitUnit bytes long. splitUnit 0 never fires (n = size).
bool CheckTailZero(const uint8_t* data, uint32_t size, uint32_t splitUnit, uint32_t& n);
