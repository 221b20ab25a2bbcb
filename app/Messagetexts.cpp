#include "app/Messagetexts.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "app/Texts.h"

static_assert(std::size(txt::kFailureTexts) == fcCount, "a text for every failure code");

namespace {

std::string WithCount(const char* format, uint64_t count) {
  char text[256];
  std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(count));
  return text;
}

}  // namespace

const char* FailureText(TFailureCode code) { return code < fcCount ? txt::kFailureTexts[code] : ""; }

std::string DamageText(const TIsoExtracter::TDamage& damage) {
  if (!damage.Any()) return {};
  std::string text = txt::kMsgDamage;
  if (damage.FileCount != 0) {
    text += "\n" + WithCount(txt::kMsgDamagedFilesN, damage.FileCount);
    const size_t shown = std::min(damage.Files.size(), kDamagedNamesShown);
    for (size_t i = 0; i < shown; ++i) text += "\n  " + damage.Files[i];
    if (damage.FileCount > shown) text += "\n  " + WithCount(txt::kMsgMoreFilesN, damage.FileCount - shown);
  }
  if (damage.DirectorySectors != 0) text += "\n" + WithCount(txt::kMsgLostDirectorySectorsN, damage.DirectorySectors);
  return text;
}
