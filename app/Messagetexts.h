#pragma once
// The texts of the messages that tell how an operation ended: the reason a run failed,
// and what a volume read, copy or scan could not read.
#include <cstddef>
#include <string>

#include "recovery/Isoextracter.h"
#include "worker/Progresscodes.h"

// Names of damaged files a message lists before it counts the rest.
constexpr size_t kDamagedNamesShown = 5;

// The reason for a failure code, for the line after the failure message; empty for
// fcNone and for a code this program does not know.
const char* FailureText(TFailureCode code);

// The files that hold zero-filled sectors (the first few names, then how many more) and
// the directory sectors that could not be read; empty when nothing was damaged.
std::string DamageText(const TIsoExtracter::TDamage& damage);
