#pragma once
// Real files of the ten carved types, made at run time by the tools a user's files come
// from (zip, gcab, ImageMagick, sox, lame, ghostscript, lha). A file whose tool is
// missing is left out.
#include <string>
#include <vector>

namespace plugin_samples {

struct SampleFile {
  std::string Name;       // what made it, e.g. "zip -fd"
  std::string Extension;  // the extension its plug-in gives
  std::vector<unsigned char> Data;
};

// Each file is several sectors long. `folder` must exist; the files are made there.
std::vector<SampleFile> MakeSampleFiles(const std::string& folder);

}  // namespace plugin_samples
