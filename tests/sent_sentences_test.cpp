// What a live output's view shows of the sentences sent: the ring keeps the last ones in order
// across its wrap, and a fix's satellites come from its GGA sentence, else its GNS.
#include "job/sent_sentences.h"

#include <gtest/gtest.h>

namespace wayloom {
namespace {

using Lines = std::vector<std::string>;

TEST(LiveSentences, RingKeepsTheLastInOrderAcrossTheWrap) {
  SentenceRing ring(3);
  ring.AddLines("$A*00\r\n$B*00\r\n");
  EXPECT_EQ(ring.Since(0), (Lines{"$A*00", "$B*00"}));
  ring.AddLines("$C\r\n$D\r\n$E\r\n");
  EXPECT_EQ(ring.Added(), 5u);
  EXPECT_EQ(ring.Since(0), (Lines{"$C", "$D", "$E"}));
  EXPECT_EQ(ring.Since(3), (Lines{"$D", "$E"}));
  EXPECT_EQ(ring.Since(5), Lines{});
  ring.Clear();
  ring.AddLines("$F\r\n");
  EXPECT_EQ(ring.Since(0), Lines{"$F"});
}

TEST(LiveSentences, SatellitesFromGgaElseGns) {
  const struct {
    const char* sentences;
    const char* satellites;
  } cases[] = {
      {"$GPRMC,010000.000,A,5557.1980,N,00311.2980,W,35.00,12.000,,,E*7C\r\n"
       "$GPGGA,010000.000,5557.1980,N,00311.2980,W,1,07,1.25,00121,M,047,M,,*4D\r\n",
       "07"},
      {"$GNGNS,010000.00,5557.198,N,00311.298,W,AA,12,0.9,121.0,47.0,,*00\r\n"
       "$GNGGA,010000.00,5557.198,N,00311.298,W,1,09,0.9,121.0,M,47.0,M,,*00\r\n",
       "09"},
      {"$GNGNS,010000.00,5557.198,N,00311.298,W,AA,12,0.9,121.0,47.0,,*00\r\n", "12"},
      {"$GPGGA,010000.000,,,,,0,,,,,,,,*66\r\n", ""},
      {"$GPRMC,010000.000,A,5557.1980,N,00311.2980,W,35.00,12.000,,,E*7C\r\n", ""},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(SatellitesUsed(row.sentences), row.satellites) << row.sentences;
  }
}

}  // namespace
}  // namespace wayloom
