// A large POI file is read in two halves at once; the list must be the one a single reading gives.

#include "sources/poi_file.h"
#include "tests/test_support.h"

namespace wayloom::test {

// Padding lines before and after a text with the hard cases of the line rules move its place in
// the file, so that the halves are split after every one of its line feeds in turn.
TEST(PoiHalves, GiveTheListOfOneReadingWhereverTheSplitFalls) {
  const std::string longLine = "1.5,2.5," + std::string(290, 'x');  // a piece ends before its CR LF
  const std::string lines[] = {"8.0,50.0,A,x\r\n",
                               "\n",
                               "0,1,skipped\n",
                               longLine + "\r\n",
                               "3.5,4.5,After\r\n",
                               "1.5,2.5,a\r",
                               "b\r\n",
                               std::string("8.0,50.0,Na\0me\n", 15),
                               "\xEF\xBB\xBF"
                               "8.1,50.1,Mark\n",
                               "8.3,50.3,End\n",
                               "1.5,2.5," + std::string(600, 'y') + "\n"};
  std::string text;
  for (const std::string& line : lines) text += line;
  TempDir dir;
  const std::string path = dir.File("pois.csv");
  for (const std::string start : {"", "\xEF\xBB\xBF"}) {
    for (std::size_t pad = 0; pad < 1280; ++pad) {
      // The halves split after the first line feed from the middle on: try each at, before and
      // after the middle.
      const std::string file = start + std::string(pad, '#') + "\n" + text + "8.2,50.25," +
                               std::string(1280 - pad, 'z');  // the last line, no line feed
      const std::size_t middle = file.size() / 2;
      if (file.substr(middle - 1, 3).find('\n') == std::string::npos) continue;
      WriteFile(path, file);
      PoiList whole;
      PoiList halves;
      PoiReadDetails once;
      once.halvesFromBytes = std::numeric_limits<std::size_t>::max();
      PoiReadDetails twice;
      twice.halvesFromBytes = 0;
      ASSERT_EQ(ReadPoiFile(path, whole, once), PoiReadStatus::kOk);
      ASSERT_EQ(ReadPoiFile(path, halves, twice), PoiReadStatus::kOk);
      ASSERT_EQ(whole.size(), 9u) << pad;
      ASSERT_TRUE(halves == whole && halves.back().IsBlank()) << "padding " << pad;
    }
  }
}

// A stop asked while the halves are read leaves points of the file's start alone, in order.
TEST(PoiHalves, StopKeepsOnlyTheFileStart) {
  TempDir dir;
  const std::string path = dir.File("pois.csv");
  std::string file;
  for (int i = 1; i <= 40000; ++i) file += std::to_string(i) + ",1.5,P\n";
  WriteFile(path, file);
  for (int calls : {1, 2, 3}) {
    PoiList list;
    PoiReadDetails details;
    details.halvesFromBytes = 0;
    int asked = 0;
    details.stopRequested = [&] { return ++asked > calls; };
    ASSERT_EQ(ReadPoiFile(path, list, details), PoiReadStatus::kStopped);
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
      ASSERT_EQ(list[i].szLon, std::to_string(i + 1)) << calls;
    }
    EXPECT_TRUE(list.back().IsBlank());
  }
}

}  // namespace wayloom::test
