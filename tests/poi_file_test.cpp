#include "track/poi_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace wayloom {
namespace {

using test::TempDir;
using test::WriteFile;

PoiNode Node(const char* lon, const char* lat, const char* description = "",
             const char* extra = "") {
  return PoiNode{lon, lat, description, extra};
}

std::string Show(const PoiView& node) {
  return "lon[" + std::string(node.szLon) + "] lat[" + std::string(node.szLat) + "] desc[" +
         std::string(node.szDescription) + "] extra[" + std::string(node.szExtra) + "]";
}

bool IsBlankTailAlone(const PoiList& list) { return list.size() == 1 && list[0].IsBlank(); }

TEST(PoiLine, AcceptsLinesWhoseFirstTwoTokensAreNonZeroNumbers) {
  const struct {
    const char* piece;  // as read, with its line feed
    PoiNode node;
  } accepted[] = {
      {"11.5,48.1,Munich\n", Node("11.5", "48.1", "Munich")},
      {"11.5,48.1,Munich,extra,fifth\n", Node("11.5", "48.1", "Munich", "extra")},
      {"11.5,48.1\n", Node("11.5", "48.1")},
      {"12.5N,48.1E,Quay\n", Node("12.5N", "48.1E", "Quay")},
      {",1.5,2.5,Quay\n", Node("", "1.5", "2.5", "Quay")},
      {"1.5,,2.5\n", Node("1.5", "", "2.5")},
      {"1.5, 2.5,Quay\n", Node("1.5", " 2.5", "Quay")},
      {"12345678901234567890,1.5,d\n", Node("12345678901234", "1.5", "d")},
      {"1.5,2.25", Node("1.5", "2.2")},  // the last line without a line feed loses a character
      {"1.5,2.5,a\r\n", Node("1.5", "2.5", "a\r")},  // a CR that was not part of CR LF stays
  };
  for (const auto& c : accepted) {
    PoiView node;
    ASSERT_TRUE(ParsePoiLine(c.piece, node)) << c.piece;
    EXPECT_EQ(node, c.node) << c.piece << " gave " << Show(node);
  }
}

TEST(PoiLine, SkipsHeadingsBlanksZerosAndNonFiniteValues) {
  for (const char* piece :
       {"longitude,latitude,name\n", "\n", "", "1.5\n", "1.5,,,\n", "0,48.1,equator or meridian\n",
        "11.5,0.0,x\n", "11.5,abc,x\n", "1e999,48.1,overflow\n", "11.5,-1e999,overflow\n", "1.5,2",
        "0x10,0x20,hex\n", "inf,nan,words\n"}) {
    PoiView node;
    EXPECT_FALSE(ParsePoiLine(piece, node)) << '"' << piece << '"';
  }
}

TEST(PoiLine, CutsLongTextsToTheirWidths) {
  const std::string description(100, 'd');
  const std::string line = "1.5,2.5," + description + "," + description + "\n";
  PoiView node;
  ASSERT_TRUE(ParsePoiLine(line, node));
  EXPECT_EQ(node.szDescription, std::string(79, 'd'));
  EXPECT_EQ(node.szExtra, std::string(79, 'd'));
}

class PoiFile : public ::testing::Test {
 protected:
  PoiList Read(const std::string& bytes, PoiReadStatus expected = PoiReadStatus::kOk) {
    WriteFile(path_, bytes);
    PoiList list;
    EXPECT_EQ(ReadPoiFile(path_, list), expected);
    return list;
  }

  TempDir dir_;
  std::string path_ = dir_.File("pois.csv");
};

TEST_F(PoiFile, HoldsThePointsInFileOrderThenOneBlankTail) {
  const PoiList list = Read("lon,lat,name\n8.0,50.0,A\n\n8.1,50.1,B\n0,1,skipped\n8.2,50.2,C\n");
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0], Node("8.0", "50.0", "A"));
  EXPECT_EQ(list[1], Node("8.1", "50.1", "B"));
  EXPECT_EQ(list[2], Node("8.2", "50.2", "C"));
  EXPECT_TRUE(list[3].IsBlank());
}

TEST_F(PoiFile, EmptyOrPointlessFilesGiveTheBlankTailAlone) {
  EXPECT_TRUE(IsBlankTailAlone(Read("")));
  EXPECT_TRUE(IsBlankTailAlone(Read("name,place\nnothing here\n")));
}

TEST_F(PoiFile, CrLfFileReadsLikeLfFile) {
  const std::string lf = "lon,lat\n8.0,50.0,A,x\n8.1,50.1,B\n8.2,50.25";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Read(crlf), Read(lf));
  EXPECT_EQ(Read(lf).size(), 4u);
  EXPECT_EQ(Read(crlf)[2].szLat, "50.2");  // the last line still loses its last character
}

TEST_F(PoiFile, LongLinesAreReadIn298CharacterPieces) {
  std::string first = "1.5,2.5,";
  first += std::string(298 - first.size(), 'x');
  const PoiList list = Read(first + "3.5,4.5,Second\n");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].szDescription, std::string(79, 'x'));
  EXPECT_EQ(list[1], Node("3.5", "4.5", "Second"));

  // With CR LF the pieces are counted after the CR is dropped: the same split.
  EXPECT_EQ(Read(first + "3.5,4.5,Second\r\n"), list);
}

TEST_F(PoiFile, ANulByteEndsTheLine) {
  const char bytes[] = "8.0,50.0,Na\0me,extra\n8.1,50.1,B\n";
  const PoiList list = Read(std::string(bytes, sizeof bytes - 1));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], Node("8.0", "50.0", "N"));  // the cut line loses its last character too
  EXPECT_EQ(list[1], Node("8.1", "50.1", "B"));
}

TEST_F(PoiFile, ReportsFilesThatCannotBeOpenedOrRead) {
  PoiList list;
  EXPECT_EQ(ReadPoiFile(dir_.File("missing.csv"), list), PoiReadStatus::kCannotOpen);
  EXPECT_TRUE(IsBlankTailAlone(list));
  // A folder opens on Linux but fails on the first read.
  if (!test::OpensAsFile(dir_.Path())) GTEST_SKIP() << "a folder does not open as a file here";
  EXPECT_EQ(ReadPoiFile(dir_.Path(), list), PoiReadStatus::kReadError);
  EXPECT_TRUE(IsBlankTailAlone(list));
}

}  // namespace
}  // namespace wayloom
