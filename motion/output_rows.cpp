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

// Two bits a fix, the first fix in the low bits.
unsigned TwoBits(const std::uint8_t* bits, std::size_t at) {
  return (static_cast<unsigned>(bits[at / 4]) >> (2 * (at % 4))) & 3u;
}
void SetTwoBits(std::uint8_t* bits, std::size_t at, unsigned value) {
  bits[at / 4] = static_cast<std::uint8_t>(bits[at / 4] | value << (2 * (at % 4)));
}

bool FitsSixteenBits(std::int64_t value) { return value >= -32768 && value <= 32767; }

}  // namespace

struct OutputRows::Block {
  std::uint32_t words[kBlockFixes];
  std::uint8_t kinds[kBlockFixes / 4];  // a Kind in two bits a fix
  std::uint8_t steps[kBlockFixes / 4];  // a Step in two bits a fix
  // A bit a fix, set where a run of another course or speed starts, and the runs before the block.
  std::uint64_t runStarts[kBlockFixes / 64];
  std::uint64_t runsBefore;
};

OutputRows::OutputRows() = default;

OutputRows::OutputRows(std::shared_ptr<const PoiList> list, const std::optional<CalendarDate>& date,
                       double stepMs)
    : list_(std::move(list)), date_(date), stepMs_(stepMs), fixRows_(true) {}

OutputRows::~OutputRows() = default;

OutputRows::Kind OutputRows::PlaceOf(const Fix& fix, std::uint32_t& word) {
  constexpr std::uint64_t kMostWord = 0xFFFFFFFFu;
  std::pair<std::uint32_t, std::uint32_t> codes;
  if (fix.poiIndex != Fix::kNoPoint) {
    if (fix.poiIndex <= kMostWord) {
      word = static_cast<std::uint32_t>(fix.poiIndex);
      return kPoint;
    }
  } else if (CodeOf(fix.latitude, codes.first) && CodeOf(fix.longitude, codes.second)) {
    const std::int64_t up = std::int64_t{codes.first} - lastCodes_.first;
    const std::int64_t east = std::int64_t{codes.second} - lastCodes_.second;
    lastCodes_ = codes;
    if (lastCodedGroup_ == fixes_ / kGroup && FitsSixteenBits(up) && FitsSixteenBits(east)) {
      word = static_cast<std::uint32_t>(static_cast<std::uint16_t>(up)) << 16 |
             static_cast<std::uint16_t>(east);
      return kNear;
    }
    lastCodedGroup_ = fixes_ / kGroup;
    word = static_cast<std::uint32_t>(coded_.size());
    coded_.push_back(codes);
    return kCoded;
  }
  word = static_cast<std::uint32_t>(wide_.size());
  wide_.push_back(fix);
  return kWide;
}

void OutputRows::AddFix(const Fix& fix) {
  const std::size_t at = static_cast<std::size_t>(fixes_ % kBlockFixes);
  if (at == 0) {
    blocks_.push_back(std::make_unique<Block>());
    blocks_.back()->runsBefore = motions_.size();
  }
  Block& block = *blocks_.back();
  SetTwoBits(block.kinds, at, PlaceOf(fix, block.words[at]));
  // The clock is kept unless it follows from the one before exactly as the writers go on.
  unsigned step = kKept;
  if (fixes_ % kGroup != 0) {
    const double oneStep = lastClockMs_ + stepMs_;
    if (SameBits(oneStep, fix.clockMs)) {
      step = kOneStep;
    } else if (SameBits(oneStep + stepMs_, fix.clockMs)) {
      step = kTwoSteps;
    }
  }
  if (step == kKept) clocks_.emplace_back(fixes_, fix.clockMs);
  SetTwoBits(block.steps, at, step);
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

const OutputRows::Block& OutputRows::BlockOf(std::uint64_t fix) const {
  return *blocks_[static_cast<std::size_t>(fix / kBlockFixes)];
}

double OutputRows::ClockOf(std::uint64_t fix) const {
  // The last clock kept at or before the fix (the first fix's always is), then step by step.
  const auto kept = std::upper_bound(clocks_.begin(), clocks_.end(), fix,
                                     [](std::uint64_t f, const auto& c) { return f < c.first; }) -
                    1;
  double clockMs = kept->second;
  for (std::uint64_t next = kept->first + 1; next <= fix; ++next) {
    clockMs = clockMs + stepMs_;
    if (TwoBits(BlockOf(next).steps, next % kBlockFixes) == kTwoSteps) clockMs = clockMs + stepMs_;
  }
  return clockMs;
}

const OutputRows::Motion& OutputRows::MotionOf(std::uint64_t fix) const {
  // The runs that start at or before the fix, counted.
  const Block& block = BlockOf(fix);
  const auto at = static_cast<std::size_t>(fix % kBlockFixes);
  std::uint64_t runs = block.runsBefore;
  for (std::size_t word = 0; word < at / 64; ++word)
    runs += std::bitset<64>(block.runStarts[word]).count();
  const std::uint64_t upToFix = ~std::uint64_t{0} >> (63 - at % 64);
  runs += std::bitset<64>(block.runStarts[at / 64] & upToFix).count();
  return motions_[static_cast<std::size_t>(runs - 1)];
}

std::pair<std::uint32_t, std::uint32_t> OutputRows::CodesOf(std::uint64_t fix) const {
  // Back to the fix coded in full (the first with codes in the group), the differences summed on
  // the way; points and fixes kept whole lie between and change nothing.
  std::uint32_t up = 0;
  std::uint32_t east = 0;
  for (;; --fix) {
    const Block& block = BlockOf(fix);
    const auto at = static_cast<std::size_t>(fix % kBlockFixes);
    const std::uint32_t word = block.words[at];
    const unsigned kind = TwoBits(block.kinds, at);
    if (kind == kCoded) return {coded_[word].first + up, coded_[word].second + east};
    if (kind == kNear) {
      // Sign-extended differences, added modulo 2^32 as they were taken.
      up += static_cast<std::uint32_t>(static_cast<std::int16_t>(word >> 16));
      east += static_cast<std::uint32_t>(static_cast<std::int16_t>(word & 0xFFFFu));
    }
  }
}

std::pair<std::string_view, std::string_view> OutputRows::Texts(std::uint64_t fix,
                                                                char* room) const {
  const Block& block = BlockOf(fix);
  const auto at = static_cast<std::size_t>(fix % kBlockFixes);
  const std::uint32_t word = block.words[at];
  const unsigned kind = TwoBits(block.kinds, at);
  if (kind == kPoint) {
    const PoiView point = (*list_)[word];
    return {point.szLat, point.szLon};
  }
  if (kind == kWide) {
    const FixTexts texts(wide_[word], *list_);
    const std::size_t latitude = texts.latitude.copy(room, kFixedTextCapacity);
    const std::size_t longitude = texts.longitude.copy(room + latitude, kFixedTextCapacity);
    return {std::string_view(room, latitude), std::string_view(room + latitude, longitude)};
  }
  const auto [latitudeCode, longitudeCode] = CodesOf(fix);
  const std::size_t latitude = TextOf(latitudeCode, room);
  const std::size_t longitude = TextOf(longitudeCode, room + latitude);
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
         coded_.capacity() * sizeof(coded_[0]) + wide_.capacity() * sizeof(Fix) +
         lines_.MemoryBytes();
}

}  // namespace wayloom
