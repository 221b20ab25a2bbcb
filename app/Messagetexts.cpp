#include "app/Messagetexts.h"

#include <iterator>

#include "app/Texts.h"

static_assert(std::size(txt::kFailureTexts) == fcCount, "a text for every failure code");

const char* FailureText(TFailureCode code) { return code < fcCount ? txt::kFailureTexts[code] : ""; }
