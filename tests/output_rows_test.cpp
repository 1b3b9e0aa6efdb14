// The output table made from fixes: every row is the formatter's text for its fix, the bytes the
// track file gets, whatever the clock, the coordinates, the motion or the date, in a fraction of
// the memory the text would take.
#include "motion/output_rows.h"
#include "motion/fix_batches.h"
#include "tests/test_support.h"

namespace wayloom::test {
namespace {

// Extra points as the writers make them and as no writer does: five-decimal texts that round up,
// down and to a negative zero, and coordinates too large for a compact record or no number.
const GeoPoint kPlaces[] = {{50.000004, 8.000005},
                            {-0.000001, -179.9999951},
                            {-33.8568, 151.2153},
                            {89.123455, 0.5},
                            {1e6, 8.0},
                            {50.0, 1e300},
                            {-0.0, 0.0},
                            {21474.83647, -21474.83648},
                            {std::nan(""), 8.0}};

TEST(OutputRows, EveryRowIsTheFormattersTextForItsFix) {
  auto list = std::make_shared<PoiList>();
  list->StartWithBlankTail();
  list->AppendPoint(PoiView{"8.0", "50.0", "A", ""});
  list->AppendPoint(PoiView{"-3.70379", "40.41678", "B", ""});
  const struct {
    double stepMs;
    std::optional<CalendarDate> date;
  } cases[] = {{1000.0, std::nullopt}, {100.1, CalendarDate{2026, 12, 31}}, {-300.0, {}}};
  for (const auto& c : cases) {
    OutputRows rows(list, c.date, c.stepMs);
    FixBatch batch;
    double clockMs = 86390000.0;
    for (std::size_t i = 0; i < 300; ++i) {
      Fix& fix = batch.Add();
      // One step on, two steps on (each added in turn), or anything else; across midnight.
      clockMs = i % 5 == 4 ? clockMs + 0.7 * c.stepMs : clockMs + c.stepMs;
      if (i % 5 == 2) clockMs = clockMs + c.stepMs;
      fix.clockMs = clockMs;
      fix.speedKnots = 35.0 + static_cast<double>(i / 10);
      fix.courseDegrees = i % 20 < 10 ? 12.0 : 275.5;
      if (i % 3 == 0) {
        fix.poiIndex = i % 2;
      } else {
        // Each place, then a small step from it (south-east).
        const GeoPoint& place = kPlaces[(i / 3) % std::size(kPlaces)];
        const double step = i % 3 == 2 ? 1.2e-4 : 0.0;
        fix.latitude = place.latitude - step;
        fix.longitude = place.longitude + step;
      }
      rows.AddFix(fix);
    }
    batch.Format(c.date ? &*c.date : nullptr, *list);
    ASSERT_EQ(rows.RowCount(), 2 * batch.Size());
    for (std::size_t i = 0; i < batch.Size(); ++i) {
      ASSERT_EQ(rows.Cell(2 * i, 0), batch.Gga(i)) << c.stepMs << " fix " << i;
      ASSERT_EQ(rows.Cell(2 * i + 1, 0), batch.Rmc(i)) << c.stepMs << " fix " << i;
    }
    // A file cut back after a failed write: its first lines, even half a pair.
    rows.KeepFirstRows(5);
    EXPECT_EQ(rows.RowCount(), 5u);
    EXPECT_EQ(rows.Cell(4, 0), batch.Gga(2));
    EXPECT_EQ(rows.Cell(5, 0), "");
  }
}

TEST(OutputRows, AFixTakesAtMostSixBytes) {
  auto list = std::make_shared<PoiList>();
  list->StartWithBlankTail();
  list->AppendPoint(PoiView{"8.0", "50.0", "A", ""});
  OutputRows rows(list, std::nullopt, 500.0);
  constexpr std::size_t kFixes = 300000;
  Fix fix;
  for (std::size_t i = 0; i < kFixes; ++i) {
    fix.clockMs = 3600000.0 + 500.0 * static_cast<double>(i);
    fix.latitude = 50.0 + 1e-5 * static_cast<double>(i);
    fix.longitude = -8.0;
    fix.poiIndex = i % 100 == 0 ? 0 : Fix::kNoPoint;
    fix.speedKnots = static_cast<double>(i / 100);
    rows.AddFix(fix);
  }
  EXPECT_LE(rows.MemoryBytes(), 6 * kFixes);
  ASSERT_EQ(rows.RowCount(), 2 * kFixes);
  EXPECT_EQ(Split(rows.Cell(2 * kFixes - 1, 0))[7], "2999.00");  // the speed of the last run
}

}  // namespace
}  // namespace wayloom::test
