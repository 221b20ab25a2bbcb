#include "tests/plugins/samples/SampleFiles.h"

#include <cstdlib>

#include "tests/support/Files.h"

namespace plugin_samples {

namespace {

struct Recipe {
  const char* Name;
  const char* Extension;
  const char* Output;
  const char* Command;  // run in the folder
};

// The inputs: numbered text and compressed bytes, the same at every run.
constexpr const char* kInputs = "seq 1 4000 > text.txt && seq 1 8000 | gzip -9 -n > noise.bin";

constexpr Recipe kRecipes[] = {
    {"zip -fd", ".zip", "fd.zip", "zip -q -fd fd.zip text.txt noise.bin"},
    {"zip", ".zip", "plain.zip", "zip -q -9 plain.zip noise.bin text.txt"},
    {"gcab", ".cab", "a.cab", "gcab -cz a.cab text.txt noise.bin"},
    {"convert png", ".png", "a.png", "convert -size 120x90 gradient:red-blue -swirl 200 a.png"},
    {"convert jpeg plasma", ".jpg", "a.jpg", "convert -size 160x120 plasma:fractal -seed 5 a.jpg"},
    {"convert jpeg gradient", ".jpg", "b.jpg", "convert -size 200x100 gradient:yellow-black -swirl 90 b.jpg"},
    {"convert gif", ".gif", "a.gif", "convert -size 120x80 gradient:green-white -swirl 150 a.gif"},
    {"convert bmp", ".bmp", "a.bmp", "convert -size 64x48 gradient:red-black BMP3:a.bmp"},
    {"sox wav", ".wav", "a.wav", "sox -n -r 8000 -c 1 -b 16 a.wav synth 0.6 sine 440"},
    {"lame", ".mp3", "a.mp3", "sox -n -r 44100 -c 2 -b 16 t.wav synth 1 sine 440 sine 660 && lame --quiet -b 128 t.wav a.mp3"},
    {"ghostscript", ".pdf", "a.pdf",
     "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -o a.pdf -c '/Times-Roman 20 selectfont 72 700 moveto "
     "(Quarnel sample) show showpage'"},
    {"lha", ".lzh", "a.lzh", "lha a a.lzh text.txt noise.bin"},
};

}  // namespace

std::vector<SampleFile> MakeSampleFiles(const std::string& folder) {
  std::vector<SampleFile> files;
  const std::string in = "cd '" + folder + "' && ";
  if (std::system((in + kInputs).c_str()) != 0) return files;
  for (const Recipe& recipe : kRecipes) {
    if (std::system((in + "(" + recipe.Command + ") >/dev/null 2>&1").c_str()) != 0) continue;
    std::vector<unsigned char> data = test_support::ReadFile(folder + "/" + recipe.Output);
    if (!data.empty()) files.push_back({recipe.Name, recipe.Extension, std::move(data)});
  }
  return files;
}

}  // namespace plugin_samples
