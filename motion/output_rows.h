// The output table: every sentence of a track, a row each, in the order of the track file.
//
// A classic track's rows are not stored as text. Each fix keeps a compact record (its point of
// the POI list, or its coordinates as the five decimals its sentences print them with, and how
// its clock follows from the fix before), the course and speed are kept once for every stretch
// that shares them, and a row is formatted when it is asked for, by the same formatter the track
// file had it from: the same bytes as its line in the file, at four to five bytes a fix (and
// sixteen a stretch) instead of some forty a row. Rows of other tracks (a receiver's) are kept as
// text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/calendar.h"
#include "base/fix.h"
#include "motion/table.h"
#include "sources/poi_file.h"

namespace wayloom {

class OutputRows : public TableRows {
 public:
  // Rows kept as text, added by AddLine.
  OutputRows();
  // The rows of a classic track, added a fix at a time by AddFix: its points' texts come from
  // list, the clock goes on by stepMs from fix to fix, and RMC sentences are dated with date when
  // it is given.
  OutputRows(std::shared_ptr<const PoiList> list, const std::optional<CalendarDate>& date,
             double stepMs);
  OutputRows(const OutputRows&) = delete;
  OutputRows& operator=(const OutputRows&) = delete;
  ~OutputRows() override;

  // A fix of a classic track: its GGA row and its RMC row.
  void AddFix(const Fix& fix);
  // A sentence kept as text, without its line end.
  void AddLine(std::string_view line);
  // Keeps the first rows only: the lines a track file still holds after a write failed.
  void KeepFirstRows(std::size_t rows);

  std::size_t RowCount() const override;
  std::size_t ColumnCount() const override { return 1; }
  const TableColumn& Column(std::size_t index) const override;
  std::string Cell(std::size_t row, std::size_t column) const override;

  // Bytes held for the rows, for measuring.
  std::size_t MemoryBytes() const;

 private:
  // A fix's place is a word and its kind. The coordinates of a fix that is no point are coded as
  // their five-decimal texts read, each in a word: twice the hundred-thousandths of a degree,
  // plus one when negative.
  enum Kind : unsigned {
    kPoint,  // a point of the POI list: the word is its index
    kCoded,  // the word is the place of the coordinates' codes in coded_
    kNear,   // the word holds the codes' differences from those of the fix with codes before it,
             // in 16 bits each, the latitude's in the high half
    kWide,   // kept whole in wide_: the word is its place there
  };
  // How a fix's clock follows from the clock before: one step on, two steps on (each added in
  // turn, as the writers add them), or kept in clocks_.
  enum Step : unsigned { kOneStep, kTwoSteps, kKept };
  // Fixes are stored in blocks that never move, so that a track of millions of fixes never holds
  // two copies while a vector grows. In every group of kGroup fixes the first clock is kept, and
  // the first coordinates are coded in full, so that a row is found from at most that many fixes.
  static constexpr std::size_t kBlockFixes = 1 << 16;
  static constexpr std::size_t kGroup = 64;
  struct Block;
  // The course and speed of a run of fixes that share them (a stretch between two points).
  struct Motion {
    double speedKnots;
    double courseDegrees;
  };

  Kind PlaceOf(const Fix& fix, std::uint32_t& word);
  // The codes of a fix of kind kCoded or kNear.
  std::pair<std::uint32_t, std::uint32_t> CodesOf(std::uint64_t fix) const;
  double ClockOf(std::uint64_t fix) const;
  const Block& BlockOf(std::uint64_t fix) const;
  const Motion& MotionOf(std::uint64_t fix) const;
  // The latitude and longitude texts of a fix's sentences, written into room.
  std::pair<std::string_view, std::string_view> Texts(std::uint64_t fix, char* room) const;

  std::shared_ptr<const PoiList> list_;
  std::optional<CalendarDate> date_;
  double stepMs_ = 0.0;
  std::vector<std::unique_ptr<Block>> blocks_;
  std::uint64_t fixes_ = 0;
  double lastClockMs_ = 0.0;
  std::pair<std::uint32_t, std::uint32_t> lastCodes_;  // of the last fix with codes
  std::uint64_t lastCodedGroup_ = static_cast<std::uint64_t>(-1);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> coded_;
  std::vector<std::pair<std::uint64_t, double>> clocks_;  // fix and clock, in fix order
  std::vector<Motion> motions_;                           // in fix order, a run each
  std::vector<Fix> wide_;
  bool fixRows_ = false;  // rows made from fixes (else kept as text in lines_)
  Table lines_;
  std::size_t rowLimit_ = static_cast<std::size_t>(-1);
};

}  // namespace wayloom
