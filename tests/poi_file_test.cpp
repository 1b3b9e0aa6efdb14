// The POI file and the POI list read from it.

#include "tests/test_support.h"

namespace wayloom::test {

PoiNode Node(std::string lon, std::string lat, std::string description = "",
             std::string extra = "") {
  return PoiNode{lon, lat, description, extra};
}

TEST(PoiLine, TakesLinesWhoseFirstTwoTokensAreNonZeroFiniteNumbers) {
  const std::string long100(100, 'd');
  const std::string tiny = "0." + std::string(298, '0') + "1";
  const std::string tooSmall = "0." + std::string(400, '0') + "1,1.5,x\n";  // 0 as a double
  const std::string tooLarge = std::string(310, '9') + ",1.5,x\n";          // infinite
  const struct {
    std::string piece;  // as read, with its line feed
    PoiNode node;
  } accepted[] = {
      {"11.5,48.1,Munich,extra,fifth\n", Node("11.5", "48.1", "Munich", "extra")},
      {"11.5,48.1\n", Node("11.5", "48.1")},
      {"12.5N,48.1E,Quay\n", Node("12.5N", "48.1E", "Quay")},
      {",1.5,2.5,Quay\n", Node("", "1.5", "2.5", "Quay")},  // tokens skip empty pieces, fields not
      {"1.5, 2.5,Quay\n", Node("1.5", " 2.5", "Quay")},
      {"12345678901234567890,1.5,d\n", Node("12345678901234", "1.5", "d")},
      {"1.5,2.5," + long100 + "," + long100 + "\n",
       Node("1.5", "2.5", std::string(79, 'd'), std::string(79, 'd'))},
      {"1.5,2.25", Node("1.5", "2.2")},  // the last line without a line feed loses a character
      {"1.5,2.5,a\r\n", Node("1.5", "2.5", "a\r")},  // a CR that was not part of CR LF stays
      {std::string("8.0,50.0,Na\0me\n", 15), Node("8.0", "50.0", "N")},  // NUL ends the line
      {"-.5,+7.,x\n", Node("-.5", "+7.", "x")},
      {tiny + ",1,x\n", Node(tiny.substr(0, 14), "1", "x")},  // 1e-299
  };
  for (const auto& c : accepted) {
    PoiView node;
    ASSERT_TRUE(ParsePoiLine(c.piece, node)) << c.piece;
    EXPECT_EQ(node, c.node) << c.piece;
  }
  for (const char* piece :
       {"longitude,latitude,name\n", "\n", "", "1.5\n", "1.5,,,\n", "0,48.1,equator or meridian\n",
        "11.5,0.0,x\n", "11.5,abc,x\n", "1e999,48.1,overflow\n", "11.5,-1e999,overflow\n", "1.5,2",
        "0x10,0x20,hex\n", "inf,nan,words\n", "-,1.5,x\n", ".,1.5,x\n", "-0.000,1.5,x\n",
        tooSmall.c_str(), tooLarge.c_str()}) {
    PoiView node;
    EXPECT_FALSE(ParsePoiLine(piece, node)) << '"' << piece << '"';
  }
}

class PoiFile : public ::testing::Test {
 protected:
  PoiList Read(const std::string& bytes) {
    WriteFile(path_, bytes);
    PoiList list;
    EXPECT_EQ(ReadPoiFile(path_, list), PoiReadStatus::kOk);
    return list;
  }
  TempDir dir_;
  std::string path_ = dir_.File("pois.csv");
};

TEST_F(PoiFile, HoldsThePointsInFileOrderThenOneBlankTailWithCrLfReadAsLf) {
  const std::string lf = "lon,lat\n8.0,50.0,A,x\n\n0,1,skipped\n8.1,50.1,B\n8.2,50.25";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const PoiList list = Read(crlf);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0], Node("8.0", "50.0", "A", "x"));
  EXPECT_EQ(list[1], Node("8.1", "50.1", "B"));
  EXPECT_EQ(list[2], Node("8.2", "50.2"));
  EXPECT_TRUE(list[3].IsBlank());
  EXPECT_EQ(Read(lf), list);
  EXPECT_EQ(Read("name,place\nnothing here\n").size(), 1u);

  // Lines are read in pieces of 298 characters, counted after a CR LF became LF.
  const std::string first = "1.5,2.5," + std::string(290, 'x');
  const PoiList pieces = Read(first + "3.5,4.5,Second\r\n");
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[1], Node("3.5", "4.5", "Second"));
}

// Messages about a point name its line: counted as an editor counts them (CR LF or LF, a long line
// once however many pieces it is read in, a byte-order mark no line of its own).
TEST_F(PoiFile, TellsTheLineOfEachPoint) {
  const std::string longLine = "1.5,2.5," + std::string(290, 'x') + "3.5,4.5,Second";
  const struct {
    std::string text;
    std::vector<std::size_t> lines;  // of points 0, 1, ... and 0 for the one after the last
  } cases[] = {
      {"lon,lat\n8.0,50.0\n\nheading\n8.1,50.1", {2, 5, 0}},
      {"lon,lat\r\n8.0,50.0\r\n\r\n8.1,50.1\r\n", {2, 4, 0}},
      {"\xEF\xBB\xBF"
       "8.0,50.0\n" +
           longLine + "\n8.2,50.2\n",
       {1, 2, 2, 3, 0}},
      {"", {0}},
  };
  for (const auto& c : cases) {
    test::WriteFile(dir_.File("lines.csv"), c.text);
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      EXPECT_EQ(PoiLineNumber(dir_.File("lines.csv"), i), c.lines[i]) << c.text << " " << i;
    }
  }
  EXPECT_EQ(PoiLineNumber(dir_.File("missing.csv"), 0), 0u);
}

TEST_F(PoiFile, ReportsFilesThatCannotBeOpenedOrRead) {
  PoiList list;
  EXPECT_EQ(ReadPoiFile(dir_.File("missing.csv"), list), PoiReadStatus::kCannotOpen);
  EXPECT_EQ(list.size(), 1u);
  // A folder opens on Linux but fails on the first read.
  if (!test::OpensAsFile(dir_.Path())) GTEST_SKIP() << "a folder does not open as a file here";
  EXPECT_EQ(ReadPoiFile(dir_.Path(), list), PoiReadStatus::kReadError);
  EXPECT_TRUE(list.size() == 1 && list[0].IsBlank());
}

}  // namespace wayloom::test
