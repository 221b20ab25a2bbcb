// The PDF module as the program uses it: loaded with dlopen, texts through caller
// buffers, Detect and FindEnd on documents made by ghostscript and on hand-made endings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/plugins/support/PluginModule.h"

namespace {

using namespace plugin_test;


Bytes AsBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A small document whose body holds `lines` lines of text, ending with `ending`.
Bytes Document(int lines, const std::string& ending) {
  std::string text = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Length 0 >>\nstream\n";
  for (int i = 0; i < lines; ++i) text += "BT /F1 12 Tf 72 " + std::to_string(i) + " Td (line) Tj ET\n";
  text += "endstream\nendobj\ntrailer\n<< /Root 1 0 R >>\nstartxref\n9\n%%EOF" + ending;
  return AsBytes(text);
}

class PdfFiles : public PluginTest {
 protected:
  PdfFiles() : PluginTest("Pdf.fpi") {}
  static void SetUpTestSuite() {
    if (!HaveTool("gs")) return;
    const TempDir dir;
    WriteFile(dir / "in.ps", "%!PS\n/Helvetica findfont 14 scalefont setfont\n"
                             "1 1 12 { /n exch def 72 720 moveto (Page ) show n 3 string cvs show\n"
                             "  72 700 moveto 0 1 40 { 3 string cvs show ( ) show } for showpage } for\n");
    if (Shell("gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -o " + dir / "out.pdf" + " " + dir / "in.ps"))
      Made = plugin_test::ReadFile(dir / "out.pdf");
  }

  void NeedGhostscript() {
    if (!HaveTool("gs")) GTEST_SKIP() << "ghostscript is not installed";
    ASSERT_GT(Made.size(), 2048u) << "ghostscript made no document";
  }

  static inline Bytes Made;
};

TEST_F(PdfFiles, DetectsTheHeader) {
  EXPECT_NE(Detect(AsBytes("%PDF-")), 0);
  EXPECT_NE(Detect(Document(3, "\n")), 0);
  EXPECT_EQ(Detect(AsBytes("%PDF")), 0);
  EXPECT_EQ(Detect(AsBytes("%PDF1.4\n")), 0);
  EXPECT_EQ(Detect(AsBytes("%!PS-Adobe-3.0\n")), 0);
  EXPECT_EQ(Detect(AsBytes(" %PDF-1.4\n")), 0);
  EXPECT_EQ(Detect(Bytes{}), 0);
}

TEST_F(PdfFiles, CarvesGhostscriptDocuments) {
  NeedGhostscript();
  const std::string tail(Made.end() - 6, Made.end());
  ASSERT_EQ(tail, "%%EOF\n");
  for (unsigned sector : kSectorSizes) {
    SCOPED_TRACE(testing::Message() << "sector " << sector);
    const auto expected = static_cast<long long>(Made.size());
    EXPECT_EQ(CarvedLength(*Module, OnDisc(Made, Bytes(2 * sector, 0), sector), sector), expected);
    EXPECT_EQ(CarvedLength(*Module, OnDisc(Made, Made, sector), sector), expected);
  }
}

// Ghostscript writes a small image inline in the page, its samples as they are: here the
// marker's letters and a zero, which do not end the document.
TEST_F(PdfFiles, AMarkerInsideAStreamFollowedByAZeroIsData) {
  if (!HaveTool("gs")) GTEST_SKIP() << "ghostscript is not installed";
  const TempDir dir;
  const std::string command =
      "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -dEncodeGrayImages=false -dAutoFilterGrayImages=false "
      "-dCompressPages=false -o " + dir / "i.pdf" + " -c '72 72 scale 7 1 8 [7 0 0 1 0 0] {<2525454f460041>} image "
      "showpage'";
  ASSERT_TRUE(Shell(command));
  const Bytes doc = plugin_test::ReadFile(dir / "i.pdf");
  const std::string marker("%%EOF\0", 6);
  ASSERT_NE(std::search(doc.begin(), doc.end(), marker.begin(), marker.end()), doc.end());
  for (unsigned sector : kSectorSizes)
    EXPECT_EQ(CarvedLength(*Module, OnDisc(doc, Document(2, "\n"), sector), sector), static_cast<long long>(doc.size()));
}

TEST_F(PdfFiles, AnIncrementalUpdateIsPartOfTheDocument) {
  NeedGhostscript();
  const Bytes update = AsBytes("2 0 obj\n<< /Info (changed) >>\nendobj\nxref\n0 1\n0000000000 65535 f \n"
                               "trailer\n<< /Prev 9 >>\nstartxref\n42\n%%EOF\n");
  const Bytes updated = Concat(Made, update);
  for (unsigned sector : kSectorSizes)
    EXPECT_EQ(CarvedLength(*Module, OnDisc(updated, Made, sector), sector), static_cast<long long>(updated.size()));
}

TEST_F(PdfFiles, LineEndsAfterTheEndMarker) {
  const Bytes next = Document(2, "\n");
  for (unsigned sector : kSectorSizes) {
    SCOPED_TRACE(testing::Message() << "sector " << sector);
    for (const std::string ending : {"\n", "\r\n", "\r"}) {
      const Bytes doc = Document(150, ending);
      EXPECT_EQ(CarvedLength(*Module, OnDisc(doc, next, sector), sector), static_cast<long long>(doc.size()));
    }
    // CR CR, or no line end at all, is no end: the walk runs on to the end of the next
    // document.
    for (const std::string ending : {"\r\r", "", "  "}) {
      const Bytes joined = OnDisc(Document(150, ending), next, sector);
      EXPECT_EQ(CarvedLength(*Module, OnDisc(joined, Bytes(sector, 0), sector), sector),
                static_cast<long long>(joined.size()));
    }
  }
}

TEST_F(PdfFiles, ADocumentFillingItsLastSectorRunsIntoTheNextData) {
  Bytes doc = Document(150, "\n");
  const size_t full = (doc.size() / 2048 + 1) * 2048;
  // Lengthen a text line so that the document ends exactly at a sector end.
  const Bytes filler(full - doc.size(), 'x');
  doc.insert(doc.begin() + 20, filler.begin(), filler.end());
  ASSERT_EQ(doc.size() % 2048, 0u);
  const Bytes next = Document(2, "\n");
  const Bytes disc = Concat(doc, next);
  EXPECT_EQ(CarvedLength(*Module, OnDisc(disc, Bytes(2048, 0), 2048)), static_cast<long long>(disc.size()));
}

TEST_F(PdfFiles, TheFirstLineIsTestedLikeAnEndMarkerLine) {
  const Bytes headerOnly = OnDisc(AsBytes("%PDF-1.4\n"), Document(2, "\n"), 2048);
  EXPECT_EQ(CarvedLength(*Module, headerOnly), 9);
  const Bytes crLf = OnDisc(AsBytes("%PDF-1.4\r\n"), Bytes(2048, 0), 2048);
  EXPECT_EQ(CarvedLength(*Module, crLf), 10);
}

TEST_F(PdfFiles, FindEndLeavesAMarkerInTheLastBytesForTheNextCall) {
  const Bytes doc = Document(100, "\n");
  const size_t marker = doc.size() - 6;
  bool end = true;
  Module->Reset();
  ASSERT_NE(Detect(doc), 0);
  // Shown up to the marker's third byte, then up to its last one: no end yet, and the
  // walk stops at most five bytes before the end of the data.
  for (size_t shown : {marker + 3, marker + 5}) {
    Module->Reset();
    const Bytes part(doc.begin(), doc.begin() + static_cast<std::ptrdiff_t>(shown));
    const unsigned m = Module->FindEnd(part.data(), static_cast<unsigned>(shown), &end);
    EXPECT_FALSE(end);
    EXPECT_LE(m, shown - 5);
    EXPECT_LE(m, marker);
    // The next call, shown from there with the padding, finds the end.
    Bytes rest(doc.begin() + m, doc.end());
    rest.resize(rest.size() + 8, 0);
    EXPECT_EQ(Module->FindEnd(rest.data(), static_cast<unsigned>(rest.size()), &end), doc.size() - m);
    EXPECT_TRUE(end);
  }
  // A marker followed by a long line, whose end comes in a later call.
  Bytes longLine = Concat(Concat(Document(3, " "), Bytes(6000, 'y')), AsBytes("\n"));
  const size_t padded = longLine.size();
  longLine = OnDisc(longLine, Bytes(4096, 0), 2048);
  EXPECT_EQ(CarvedLength(*Module, longLine), static_cast<long long>(padded));

  // Short data at every length, each in a buffer of exactly that size.
  for (size_t size = 0; size < 40; ++size) {
    Module->Reset();
    const Bytes part(doc.begin(), doc.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_LE(Module->FindEnd(part.data(), static_cast<unsigned>(size), &end), size) << size;
  }
}

TEST_F(PdfFiles, DamagedDocumentsStayWithinTheirData) {
  NeedGhostscript();
  const Bytes disc = OnDisc(Made, Bytes(2048, 0), 2048);
  for (size_t at = 0; at < Made.size(); at += 211) ExpectDamageStaysWithin(disc, at, {0x00, 0x0A, 0x0D, 0x25});
  // Cut before its end marker and followed by zeros: no end within the data.
  const Bytes cut(Made.begin(), Made.end() - 40);
  EXPECT_EQ(CarvedLength(*Module, OnDisc(cut, Bytes(4096, 0), 2048)), -1);
}

}  // namespace
