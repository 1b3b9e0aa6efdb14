#include "motion/output_rows.h"

#include <algorithm>
#include <bitset>
#include <cstring>

#include "base/number_text.h"
#include "motion/fix_batches.h"
#include "sentences/nmea.h"

namespace wayloom {
namespace {

const TableColumn kColumn{"NMEA strings"};
constexpr std::uint32_t kUnitsPerDegree = 100000;  // five decimals
// The largest count of hundred-thousandths a code holds; far beyond any coordinate on the Earth.
constexpr std::uint64_t kMostUnits = 0x7FFFFFFDu;

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The text a code was read from, written at out; returns its length.
std::size_t TextOf(std::uint32_t code, char* out) {
  char* at = out;
  if ((code & 1u) != 0) *at++ = '-';
  const std::uint32_t units = code >> 1;
  char digits[16];
  std::size_t count = 0;
  for (std::uint32_t whole = units / kUnitsPerDegree; count == 0 || whole > 0; whole /= 10) {
    digits[count++] = static_cast<char>('0' + whole % 10);
  }
  while (count > 0) *at++ = digits[--count];
  *at++ = '.';
  std::uint32_t fraction = units % kUnitsPerDegree;
  for (std::uint32_t scale = kUnitsPerDegree / 10; scale > 0; scale /= 10) {
    *at++ = static_cast<char>('0' + fraction / scale);
    fraction %= scale;
  }
  return static_cast<std::size_t>(at - out);
}

// A coordinate as its sentences print it ("%.5f", as FixTexts writes it), coded in a word: false
// when its text is not one that TextOf writes back.
bool CodeOf(double degrees, std::uint32_t& code) {
  char text[kFixedTextCapacity];
  const std::string_view printed(text, WriteFixed(text, degrees, 5));
  const bool negative = !printed.empty() && printed[0] == '-';
  std::uint64_t units = 0;
  for (std::size_t i = negative ? 1 : 0; i < printed.size() && units <= kMostUnits; ++i) {
    if (printed[i] >= '0' && printed[i] <= '9') {
      units = units * 10 + static_cast<std::uint64_t>(printed[i] - '0');
    }
  }
  if (units > kMostUnits) return false;
  code = static_cast<std::uint32_t>(units * 2 + (negative ? 1 : 0));
  char back[32];
  return std::string_view(back, TextOf(code, back)) == printed;
}

}  // namespace

struct OutputRows::Block {
  Place places[kBlockFixes];
  std::uint8_t steps[kBlockFixes / 4];  // a Step in two bits a fix, the first in the low bits
  // A bit a fix, set where a run of another course or speed starts, and the runs before the block.
  std::uint64_t runStarts[kBlockFixes / 64];
  std::uint64_t runsBefore;
};

OutputRows::OutputRows() = default;

OutputRows::OutputRows(std::shared_ptr<const PoiList> list, const std::optional<CalendarDate>& date,
                       double stepMs)
    : list_(std::move(list)), date_(date), stepMs_(stepMs), fixRows_(true) {}

OutputRows::~OutputRows() = default;

OutputRows::Place OutputRows::PlaceOf(const Fix& fix) {
  Place place{kPoint, 0};
  if (fix.poiIndex != Fix::kNoPoint) {
    if (fix.poiIndex < kWide) {
      place.longitude = static_cast<std::uint32_t>(fix.poiIndex);
      return place;
    }
  } else if (CodeOf(fix.latitude, place.latitude) && CodeOf(fix.longitude, place.longitude)) {
    return place;
  }
  wide_.push_back(fix);
  return Place{kWide, static_cast<std::uint32_t>(wide_.size() - 1)};
}

void OutputRows::AddFix(const Fix& fix) {
  const std::size_t at = static_cast<std::size_t>(fixes_ % kBlockFixes);
  if (at == 0) {
    blocks_.push_back(std::make_unique<Block>());
    blocks_.back()->runsBefore = motions_.size();
  }
  Block& block = *blocks_.back();
  block.places[at] = PlaceOf(fix);
  // The clock is kept unless it follows from the one before exactly as the writers go on.
  unsigned step = kKept;
  if (fixes_ % kClockEvery != 0) {
    const double oneStep = lastClockMs_ + stepMs_;
    if (SameBits(oneStep, fix.clockMs)) {
      step = kOneStep;
    } else if (SameBits(oneStep + stepMs_, fix.clockMs)) {
      step = kTwoSteps;
    }
  }
  if (step == kKept) clocks_.emplace_back(fixes_, fix.clockMs);
  block.steps[at / 4] = static_cast<std::uint8_t>(block.steps[at / 4] | step << (2 * (at % 4)));
  if (motions_.empty() || !SameBits(motions_.back().speedKnots, fix.speedKnots) ||
      !SameBits(motions_.back().courseDegrees, fix.courseDegrees)) {
    motions_.push_back(Motion{fix.speedKnots, fix.courseDegrees});
    block.runStarts[at / 64] |= std::uint64_t{1} << (at % 64);
  }
  lastClockMs_ = fix.clockMs;
  ++fixes_;
}

void OutputRows::AddLine(std::string_view line) { lines_.AppendRow(line); }

void OutputRows::KeepFirstRows(std::size_t rows) { rowLimit_ = std::min(rowLimit_, rows); }

std::size_t OutputRows::RowCount() const {
  const std::size_t rows = fixRows_ ? static_cast<std::size_t>(2 * fixes_) : lines_.RowCount();
  return std::min(rows, rowLimit_);
}

const TableColumn& OutputRows::Column(std::size_t) const { return kColumn; }

OutputRows::Step OutputRows::StepOf(std::uint64_t fix) const {
  const auto at = static_cast<std::size_t>(fix % kBlockFixes);
  const std::uint8_t steps = blocks_[static_cast<std::size_t>(fix / kBlockFixes)]->steps[at / 4];
  return static_cast<Step>((steps >> (2 * (at % 4))) & 3u);
}

double OutputRows::ClockOf(std::uint64_t fix) const {
  // The last clock kept at or before the fix (the first fix's always is), then step by step.
  const auto kept = std::upper_bound(clocks_.begin(), clocks_.end(), fix,
                                     [](std::uint64_t f, const auto& c) { return f < c.first; }) -
                    1;
  double clockMs = kept->second;
  for (std::uint64_t next = kept->first + 1; next <= fix; ++next) {
    clockMs = clockMs + stepMs_;
    if (StepOf(next) == kTwoSteps) clockMs = clockMs + stepMs_;
  }
  return clockMs;
}

const OutputRows::Motion& OutputRows::MotionOf(std::uint64_t fix) const {
  // The runs that start at or before the fix, counted.
  const Block& block = *blocks_[static_cast<std::size_t>(fix / kBlockFixes)];
  const auto at = static_cast<std::size_t>(fix % kBlockFixes);
  std::uint64_t runs = block.runsBefore;
  for (std::size_t word = 0; word < at / 64; ++word)
    runs += std::bitset<64>(block.runStarts[word]).count();
  const std::uint64_t upToFix = ~std::uint64_t{0} >> (63 - at % 64);
  runs += std::bitset<64>(block.runStarts[at / 64] & upToFix).count();
  return motions_[static_cast<std::size_t>(runs - 1)];
}

std::pair<std::string_view, std::string_view> OutputRows::Texts(std::uint64_t fix,
                                                                char* room) const {
  const Place place =
      blocks_[static_cast<std::size_t>(fix / kBlockFixes)]->places[fix % kBlockFixes];
  if (place.latitude == kPoint) {
    const PoiView point = (*list_)[place.longitude];
    return {point.szLat, point.szLon};
  }
  if (place.latitude == kWide) {
    const FixTexts texts(wide_[place.longitude], *list_);
    const std::size_t latitude = texts.latitude.copy(room, kFixedTextCapacity);
    const std::size_t longitude = texts.longitude.copy(room + latitude, kFixedTextCapacity);
    return {std::string_view(room, latitude), std::string_view(room + latitude, longitude)};
  }
  const std::size_t latitude = TextOf(place.latitude, room);
  const std::size_t longitude = TextOf(place.longitude, room + latitude);
  return {std::string_view(room, latitude), std::string_view(room + latitude, longitude)};
}

std::string OutputRows::Cell(std::size_t row, std::size_t column) const {
  if (column != 0 || row >= RowCount()) return {};
  if (!fixRows_) return lines_.Cell(row, 0);
  const std::uint64_t fix = row / 2;
  char room[2 * kFixedTextCapacity];
  const auto [latitude, longitude] = Texts(fix, room);
  const double clockMs = ClockOf(fix);
  char sentence[kSentenceCapacity];
  const char* end = nullptr;
  if (row % 2 == 0) {
    end = BuildGga(clockMs, latitude, longitude, sentence);
  } else {
    const Motion& motion = MotionOf(fix);
    end = BuildRmc(clockMs, latitude, longitude, motion.speedKnots, motion.courseDegrees,
                   date_ ? &*date_ : nullptr, sentence);
  }
  return std::string(static_cast<const char*>(sentence), end);
}

std::size_t OutputRows::MemoryBytes() const {
  return blocks_.size() * sizeof(Block) + blocks_.capacity() * sizeof(blocks_[0]) +
         clocks_.capacity() * sizeof(clocks_[0]) + motions_.capacity() * sizeof(Motion) +
         wide_.capacity() * sizeof(Fix) + lines_.MemoryBytes();
}

}  // namespace wayloom
