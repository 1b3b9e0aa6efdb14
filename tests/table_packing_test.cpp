// Rows of the tables the window shows, packed where that is shorter.
#include "motion/table.h"
#include "tests/test_support.h"

namespace wayloom {
namespace {

// Rows are kept packed where that is shorter; every text must come back byte for byte, whatever
// it holds and wherever its packed form ends. The window adds and drops columns at the front.
TEST(TablePacking, EveryTextComesBackExactly) {
  std::string everyByte;
  for (int c = 1; c < 256; ++c) everyByte.push_back(static_cast<char>(c));
  const std::vector<std::string> texts = {
      "",
      "7",
      "48.1173",
      "-33.8568",
      "$GPGGA,010000.000,3436.2220,S,05822.8960,W,1,07,1.25,00121,M,047,M,,*58",
      "$GPRMC,010004.000,A,3436.1560,S,05823.0460,W,992.99,305.930,0.00,E,*62",
      "$GPRMC,235959.999,A,0000.0000,N,18000.0000,E,0.00,0.000,311299,,,*7F",
      "$GPGG",       // pieces cut short
      "1,07,1.25,",  // likewise
      "0.00,E",
      "A,B,C,D,E,F*-",
      " 12.5N, Quay, km",
      everyByte,
      std::string(1100000, '5'),  // longer than a block
  };
  Table table;
  for (const char* title : {"C", "B", "A"}) table.AddColumn(0, title);
  for (const std::string& text : texts) table.AppendRow(text);
  for (std::size_t row = 0; row < texts.size(); ++row) {
    table.SetCell(row, 2, texts[texts.size() - 1 - row]);  // one row text after another
    EXPECT_TRUE(table.Cell(row, 0) == texts[row]) << row;
  }
  table.DeleteFirstColumn();
  EXPECT_EQ(table.Column(0).title, "B");
  for (std::size_t row = 0; row < texts.size(); ++row) {
    EXPECT_EQ(table.Cell(row, 0), "") << row;
    EXPECT_TRUE(table.Cell(row, 1) == texts[texts.size() - 1 - row]) << row;
  }
}

TEST(TablePacking, TheOutputTableTakesAtMost64BytesASentence) {
  std::vector<std::string> sentences;
  for (const char* track : {"mixed.closest-extra.nmea", "mixed.extra.nmea", "worked.plain.nmea"}) {
    std::ifstream file(std::string(WAYLOOM_TEST_DATA) + "/" + track);
    for (std::string line; std::getline(file, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      sentences.push_back(line);
    }
  }
  ASSERT_GT(sentences.size(), 100u);
  Table table;
  constexpr std::size_t kRows = 200000;
  for (std::size_t row = 0; row < kRows; ++row) table.AppendRow(sentences[row % sentences.size()]);
  EXPECT_LE(table.MemoryBytes(), 64 * kRows);
  EXPECT_EQ(table.Cell(kRows - 1, 0), sentences[(kRows - 1) % sentences.size()]);
}

}  // namespace
}  // namespace wayloom
