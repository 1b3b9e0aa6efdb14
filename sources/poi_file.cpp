#include "sources/poi_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "base/number_text.h"
#include "base/short_copy.h"

namespace wayloom {
namespace {

// Reads a file character by character through a block buffer, turning CR LF into LF (a lone CR
// stays), and hands out line pieces the way fgets with a 299-character buffer would. A reader that
// starts at a line start within the file, and one that ends at a line feed, hand out the pieces of
// their lines as a reader of the whole file would.
class LinePieceReader {
 public:
  LinePieceReader(std::FILE* file, const std::function<bool()>& stopRequested,
                  bool fileStart = true, std::size_t limitBytes = SIZE_MAX)
      : file_(file),
        stopRequested_(stopRequested),
        firstBlock_(fileStart),
        remaining_(limitBytes) {}

  bool AtEnd() const { return atEnd_; }
  bool Failed() const { return failed_; }
  bool Stopped() const { return stopped_; }
  std::error_code Error() const { return error_; }
  bool Utf16ByteOrderMark() const { return utf16ByteOrderMark_; }

  // The next piece as ReadPiece gives it: a view of the block when the whole piece lies there and
  // holds no carriage return (most lines), else piece itself. Valid until the next call.
  std::string_view NextPiece(std::string& piece) {
    if (position_ < length_) {
      const char* start = buffer_ + position_;
      const char* stop = FindLineBreak(start, std::min(length_ - position_, kLinePieceLimit));
      if (stop != nullptr && *stop == '\n') {
        const auto size = static_cast<std::size_t>(stop - start) + 1;
        position_ += size;
        return std::string_view(start, size);
      }
    }
    ReadPiece(piece);
    return piece;
  }

  // Replaces piece with up to kLinePieceLimit characters, ending after a line feed. Reaching the
  // end of the file sets AtEnd(); a read error sets Failed(); a stop request sets Stopped().
  void ReadPiece(std::string& piece) {
    piece.clear();
    while (piece.size() < kLinePieceLimit) {
      if (position_ == length_ && !Refill()) return;
      // Copy up to the next line feed or carriage return in one go.
      const char* start = buffer_ + position_;
      const std::size_t room = std::min(length_ - position_, kLinePieceLimit - piece.size());
      const char* stop = FindLineBreak(start, room);
      if (stop == nullptr) {
        piece.append(start, room);
        position_ += room;
        continue;
      }
      piece.append(start, static_cast<std::size_t>(stop - start));
      position_ += static_cast<std::size_t>(stop - start) + 1;
      if (*stop == '\n') {
        piece.push_back('\n');
        return;
      }
      if (Peek() == '\n') {  // CR LF reads as LF
        ++position_;
        piece.push_back('\n');
        return;
      }
      piece.push_back('\r');  // a lone CR is an ordinary character
    }
  }

 private:
  static const char* FindLineBreak(const char* start, std::size_t size) {
    const void* lineFeed = std::memchr(start, '\n', size);
    const std::size_t searchCr =
        lineFeed ? static_cast<std::size_t>(static_cast<const char*>(lineFeed) - start) : size;
    const void* carriageReturn = std::memchr(start, '\r', searchCr);
    return static_cast<const char*>(carriageReturn ? carriageReturn : lineFeed);
  }

  int Peek() {
    if (position_ == length_ && !Refill()) return EOF;
    return static_cast<unsigned char>(buffer_[position_]);
  }

  bool Refill() {
    if (atEnd_ || failed_ || stopped_) return false;
    if (remaining_ == 0) {
      atEnd_ = true;
      return false;
    }
    // Checked per block, so that a huge file or an endless device stops at once.
    if (stopRequested_ && stopRequested_()) {
      stopped_ = true;
      return false;
    }
    errno = 0;
    length_ = std::fread(buffer_, 1, std::min(sizeof buffer_, remaining_), file_);
    remaining_ -= length_;
    position_ = 0;
    if (length_ > 0) {
      if (firstBlock_) {
        firstBlock_ = false;
        SkipByteOrderMark();
        if (position_ == length_) return Refill();
      }
      return true;
    }
    if (std::ferror(file_)) {
      failed_ = true;
      error_ = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
    } else {
      atEnd_ = true;
    }
    return false;
  }

  // A UTF-8 mark is no text of the first line; a UTF-16 one is only noted (its file reads as no
  // points, and whoever reports that can say why).
  void SkipByteOrderMark() {
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_);
    if (length_ >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) position_ = 3;
    utf16ByteOrderMark_ = length_ >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) ||
                                           (bytes[0] == 0xFE && bytes[1] == 0xFF));
  }

  std::FILE* file_;
  const std::function<bool()>& stopRequested_;
  bool firstBlock_;
  std::size_t remaining_;  // bytes this reader may still read
  bool stopped_ = false;
  bool utf16ByteOrderMark_ = false;
  std::error_code error_;
  char buffer_[64 * 1024];
  std::size_t length_ = 0;
  std::size_t position_ = 0;
  bool atEnd_ = false;
  bool failed_ = false;
};

// The size of a regular file in bytes; 0 when it cannot be told (a pipe, a device). Paths are UTF-8
// on every platform, as the file functions take them.
std::size_t FileSize(const std::string& path) {
  try {
    const std::filesystem::path name = std::filesystem::u8path(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) return 0;
    const std::uintmax_t size = std::filesystem::file_size(name, error);
    return error ? 0 : static_cast<std::size_t>(size);
  } catch (const std::exception&) {  // a name that is no UTF-8
    return 0;
  }
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Whether the second handle holds the bytes the size was told for: a file replaced between the two
// openings (almost surely of another size) is then read the plain way. Standard C only, so the
// engine builds on every platform.
bool HoldsBytes(std::FILE* file, std::size_t bytes) {
  if (bytes > static_cast<std::size_t>(LONG_MAX) || std::fseek(file, 0, SEEK_END) != 0)
    return false;
  const long end = std::ftell(file);
  return end >= 0 && static_cast<std::size_t>(end) == bytes && std::fseek(file, 0, SEEK_SET) == 0;
}

// Where the first line that starts after byte from begins, searched in the next mebibyte; 0 when
// none starts there.
std::size_t NextLineStart(std::FILE* file, std::size_t from) {
  if (from > static_cast<std::size_t>(LONG_MAX) ||
      std::fseek(file, static_cast<long>(from), SEEK_SET) != 0) {
    return 0;
  }
  char block[4096];
  for (std::size_t searched = 0; searched < (std::size_t{1} << 20); searched += sizeof block) {
    const std::size_t length = std::fread(block, 1, sizeof block, file);
    if (const void* lineFeed = std::memchr(block, '\n', length)) {
      return from + searched +
             static_cast<std::size_t>(static_cast<const char*>(lineFeed) - block) + 1;
    }
    if (length < sizeof block) return 0;
  }
  return 0;
}

// Reads the pieces of reader and hands the points among them to append, in file order.
template <typename Append>
PoiReadStatus ReadPoints(LinePieceReader& reader, std::error_code& error, const Append& append) {
  std::string room;
  PoiView point;
  while (!reader.AtEnd()) {
    const std::string_view piece = reader.NextPiece(room);
    if (reader.Failed()) {
      error = reader.Error();
      return PoiReadStatus::kReadError;
    }
    if (reader.Stopped()) return PoiReadStatus::kStopped;
    if (ParsePoiLine(piece, point)) append(point);
  }
  return PoiReadStatus::kOk;
}

// The next strtok-style token: skips commas, then runs to the next comma. Empty when none is left.
std::string_view NextToken(std::string_view line, std::size_t& position) {
  while (position < line.size() && line[position] == ',') ++position;
  const std::size_t start = position;
  while (position < line.size() && line[position] != ',') ++position;
  return line.substr(start, position - start);
}

// A coordinate counts when its value (as atof reads it) is finite and not 0. A plain decimal of
// fewer than 300 characters (a sign, digits, a point) lies between 1e-299 and 1e300 unless it is
// 0, so its digits tell without converting it; anything else is converted.
// How a plain decimal (a sign, digits, at most one point) that starts at text[at] runs: where it
// stops, and whether it has a digit and a digit that is not 0.
struct PlainDecimal {
  std::size_t end = 0;
  bool anyDigit = false;
  bool nonZero = false;
};

PlainDecimal ScanPlainDecimal(std::string_view text, std::size_t at) {
  PlainDecimal scan;
  std::size_t i = at < text.size() && (text[at] == '-' || text[at] == '+') ? at + 1 : at;
  bool point = false;
  char digits = 0;  // the bitwise OR of the digits' values
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c - '0') <= 9) {
      digits = static_cast<char>(digits | (c - '0'));
      scan.anyDigit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  scan.end = i;
  scan.nonZero = digits != 0;
  return scan;
}

// A plain decimal this short lies between 1e-299 and 1e300 unless it is 0.
constexpr std::size_t kShortPlainDecimal = 300;

bool IsUsableCoordinate(std::string_view token) {
  if (token.size() < kShortPlainDecimal) {
    const PlainDecimal scan = ScanPlainDecimal(token, 0);
    if (scan.end == token.size()) return scan.anyDigit && scan.nonZero;
  }
  const double value = ParseDecimal(token);
  return value != 0.0 && std::isfinite(value);
}

// Most lines end in a line feed and start with two plain decimals, a comma after each (or the
// line's end after the second), and have no NUL byte: their fields are found in one pass over the
// coordinates. False, having decided nothing, for any other line.
bool ParseUsualLine(std::string_view piece, bool& usable, PoiView& node) {
  if (piece.size() <= 2 || piece.back() != '\n') return false;
  const std::size_t length = piece.size() - 1;  // without the line feed
  const PlainDecimal longitude = ScanPlainDecimal(piece, 0);
  if (!longitude.anyDigit || longitude.end >= kShortPlainDecimal || piece[longitude.end] != ',') {
    return false;
  }
  const std::size_t latitudeStart = longitude.end + 1;
  const PlainDecimal latitude = ScanPlainDecimal(piece, latitudeStart);
  if (!latitude.anyDigit || latitude.end - latitudeStart >= kShortPlainDecimal ||
      (latitude.end != length && piece[latitude.end] != ',') ||
      std::memchr(piece.data() + latitude.end, '\0', piece.size() - latitude.end) != nullptr) {
    return false;
  }
  usable = longitude.nonZero && latitude.nonZero;
  if (!usable) return true;

  const std::string_view line = piece.substr(0, length);
  node.szLon = line.substr(0, std::min(longitude.end, PoiNode::kCoordinateWidth));
  node.szLat =
      line.substr(latitudeStart, std::min(latitude.end - latitudeStart, PoiNode::kCoordinateWidth));
  node.szDescription = std::string_view();
  node.szExtra = std::string_view();
  if (latitude.end == length) return true;
  std::size_t start = latitude.end + 1;
  std::size_t end = line.find(',', start);
  if (end == std::string_view::npos) end = length;
  node.szDescription = line.substr(start, std::min(end - start, PoiNode::kTextWidth));
  if (end == length) return true;
  start = end + 1;
  end = line.find(',', start);
  if (end == std::string_view::npos) end = length;
  node.szExtra = line.substr(start, std::min(end - start, PoiNode::kTextWidth));
  return true;
}

}  // namespace

namespace {

std::size_t TextBytes(const PoiView& texts) {
  return texts.szLon.size() + texts.szLat.size() + texts.szDescription.size() +
         texts.szExtra.size();
}

// Writes the four texts one after another at out.
void CopyTexts(const PoiView& texts, char* out) {
  for (std::string_view text : {texts.szLon, texts.szLat, texts.szDescription, texts.szExtra}) {
    out = CopyShort(out, text.data(), text.size());
  }
}

}  // namespace

void TextBuffer::Reserve(std::size_t bytes) {
  if (bytes > capacity_) Grow(bytes);
}

void TextBuffer::Grow(std::size_t needed) {
  const std::size_t capacity = std::max({needed, 2 * capacity_, std::size_t{4096}});
  std::unique_ptr<char[]> data(new char[capacity]);  // not zero-filled: every byte is written
  if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
  data_ = std::move(data);
  capacity_ = capacity;
}

// The points of the second half of a file read in two halves, before they join the list. Their
// texts stay where they are: the list takes them over as its second text buffer.
struct PoiHalf {
  void Reserve(std::size_t bytes) {
    try {
      text.Reserve(bytes);
      nodes.reserve(bytes / 4 + 1);
    } catch (const std::bad_alloc&) {
      // Then the half grows as it is read.
    }
  }

  void Append(const PoiView& node) {
    const PoiView cut = PoiList::Cut(node);
    const std::size_t textSize = text.size();
    const std::size_t textBytes = TextBytes(cut);
    if (((textSize + textBytes) & ~PoiList::kStartMask) != 0) throw std::bad_alloc();
    nodes.push_back(PoiList::MakeNode(textSize, cut) | PoiList::kSecondText);
    try {
      CopyTexts(cut, text.Extend(textBytes));
    } catch (const std::bad_alloc&) {
      nodes.pop_back();
      throw;
    }
  }

  // Moves the points to the end of list, leaving this empty. Throws std::bad_alloc, the list
  // unchanged, when memory runs out.
  void JoinTo(PoiList& list) { list.AppendHalf(*this); }

  TextBuffer text;
  std::vector<PoiList::Node> nodes;
};

PoiList::Node PoiList::MakeNode(std::uint64_t start, const PoiView& texts) {
  const std::string_view* const fields[] = {&texts.szLon, &texts.szLat, &texts.szDescription,
                                            &texts.szExtra};
  Node node = start;
  int shift = kStartBits;
  for (int k = 0; k < 4; ++k) {
    node |= std::uint64_t{fields[k]->size()} << shift;
    shift += kLengthBits[k];
  }
  return node;
}

void PoiList::StartWithBlankTail() {
  nodes_.clear();
  text_.Clear();
  secondText_.Clear();
  nodes_.push_back(MakeNode(0, PoiView{}));
}

PoiView PoiList::Cut(const PoiView& node) {
  return PoiView{node.szLon.substr(0, PoiNode::kCoordinateWidth),
                 node.szLat.substr(0, PoiNode::kCoordinateWidth),
                 node.szDescription.substr(0, PoiNode::kTextWidth),
                 node.szExtra.substr(0, PoiNode::kTextWidth)};
}

void PoiList::AppendPoint(const PoiView& node) {
  const PoiView cut = Cut(node);
  const std::size_t textSize = text_.size();
  const std::uint64_t end = textSize + TextBytes(cut);
  if ((end & ~kStartMask) != 0) throw std::bad_alloc();  // more text than a node can point into
  nodes_.push_back(MakeNode(end, PoiView{}));
  try {
    CopyTexts(cut, text_.Extend(TextBytes(cut)));
  } catch (const std::bad_alloc&) {
    nodes_.pop_back();
    throw;
  }
  nodes_[nodes_.size() - 2] = MakeNode(textSize, cut);
}

void PoiList::AppendHalf(PoiHalf& half) {
  nodes_.reserve(nodes_.size() + half.nodes.size());
  nodes_.pop_back();  // the blank tail, made again after the new points
  nodes_.insert(nodes_.end(), half.nodes.begin(), half.nodes.end());
  nodes_.push_back(MakeNode(text_.size(), PoiView{}));
  secondText_ = std::move(half.text);
  half = PoiHalf{};
}

void PoiList::ReserveForFile(std::size_t fileBytes) {
  // Every point takes at least four bytes of the file ("1,1" and its line end) and never more text
  // than the file holds. Capacity that is never written costs address space, not memory.
  try {
    text_.Reserve(fileBytes);
    nodes_.reserve(fileBytes / 4 + 2);
  } catch (const std::bad_alloc&) {
    // Then the list grows as it is read.
  }
}

PoiView PoiList::operator[](std::size_t index) const {
  const Node node = nodes_[index];
  const std::string_view text(Texts(node));
  std::size_t at = node & kStartMask;
  std::string_view PoiView::*const fields[] = {&PoiView::szLon, &PoiView::szLat,
                                               &PoiView::szDescription, &PoiView::szExtra};
  PoiView view;
  int shift = kStartBits;
  for (int k = 0; k < 4; ++k) {
    const std::size_t length = (node >> shift) & ((std::uint64_t{1} << kLengthBits[k]) - 1);
    view.*fields[k] = text.substr(at, length);
    at += length;
    shift += kLengthBits[k];
  }
  return view;
}

bool PoiList::operator==(const PoiList& other) const {
  if (size() != other.size()) return false;
  for (std::size_t i = 0; i < size(); ++i) {
    if (!((*this)[i] == other[i])) return false;
  }
  return true;
}

bool ParsePoiLine(std::string_view piece, PoiView& node) {
  bool usable = false;
  if (ParseUsualLine(piece, usable, node)) return usable;

  // Line texts are C strings: a NUL byte ends the line.
  std::string_view line = piece.substr(0, piece.find('\0'));
  if (line.size() > 2) line.remove_suffix(1);  // the line feed, or the last character of the file

  // Fields count every comma, empty pieces included.
  std::string_view fields[4];
  std::size_t start = 0;
  for (std::string_view& field : fields) {
    if (start > line.size()) break;
    std::size_t end = line.find(',', start);
    if (end == std::string_view::npos) end = line.size();
    field = line.substr(start, end - start);
    start = end + 1;
  }

  // The coordinates are the first two strtok-style tokens, which are the first two fields unless
  // either of those is empty.
  std::string_view first = fields[0];
  std::string_view second = fields[1];
  if (first.empty() || second.empty()) {
    std::size_t position = 0;
    first = NextToken(line, position);
    second = NextToken(line, position);
    if (second.empty()) return false;
  }
  if (!IsUsableCoordinate(first) || !IsUsableCoordinate(second)) return false;

  node.szLon = fields[0].substr(0, PoiNode::kCoordinateWidth);
  node.szLat = fields[1].substr(0, PoiNode::kCoordinateWidth);
  node.szDescription = fields[2].substr(0, PoiNode::kTextWidth);
  node.szExtra = fields[3].substr(0, PoiNode::kTextWidth);
  return true;
}

namespace {

// Reads a large regular file on two threads: this one reads up to a line feed near the middle,
// another the rest into a PoiHalf, which joins the list when both are done. The stop request is
// asked on this thread alone, also while it waits for the other. False, having read nothing, when
// the file is not to be read so.
bool ReadInHalves(const std::string& path, std::FILE* file, std::size_t fileBytes, PoiList& list,
                  PoiReadDetails& details, PoiReadStatus& status) {
  if (fileBytes < 2 || fileBytes < details.halvesFromBytes ||
      std::thread::hardware_concurrency() == 1) {
    return false;
  }
  std::unique_ptr<std::FILE, FileCloser> second(std::fopen(path.c_str(), "rb"));
  if (!second || !HoldsBytes(second.get(), fileBytes)) return false;
  const std::size_t split = NextLineStart(second.get(), fileBytes / 2);
  if (split == 0 || split >= fileBytes || split > static_cast<std::size_t>(LONG_MAX) ||
      std::fseek(second.get(), static_cast<long>(split), SEEK_SET) != 0) {
    return false;
  }

  PoiHalf half;
  half.Reserve(fileBytes - split);
  PoiReadStatus halfStatus = PoiReadStatus::kOk;
  std::error_code halfError;
  std::atomic<bool> stopHalf{false};
  const std::function<bool()> halfStopRequested = [&stopHalf] { return stopHalf.load(); };
  std::mutex mutex;
  std::condition_variable halfDone;
  bool done = false;
  std::thread worker;
  try {
    worker = std::thread([&] {
      try {
        auto reader = std::make_unique<LinePieceReader>(second.get(), halfStopRequested, false);
        halfStatus =
            ReadPoints(*reader, halfError, [&half](const PoiView& point) { half.Append(point); });
      } catch (const std::bad_alloc&) {
        halfStatus = PoiReadStatus::kOutOfMemory;
      }
      const std::lock_guard<std::mutex> lock(mutex);
      done = true;
      halfDone.notify_one();
    });
  } catch (const std::system_error&) {
    return false;  // no thread to be had: the file is read on this one
  }
  // However this half ends, the other thread ends before what it uses goes.
  struct Joiner {
    std::thread& worker;
    std::atomic<bool>& stop;
    ~Joiner() {
      stop = true;
      worker.join();
    }
  } joiner{worker, stopHalf};

  auto reader = std::make_unique<LinePieceReader>(file, details.stopRequested, true, split);
  status = ReadPoints(*reader, details.error,
                      [&list](const PoiView& point) { list.AppendPoint(point); });
  details.utf16ByteOrderMark = reader->Utf16ByteOrderMark();
  if (status != PoiReadStatus::kOk) return true;  // the second half is dropped

  std::unique_lock<std::mutex> lock(mutex);
  while (!halfDone.wait_for(lock, std::chrono::milliseconds(20), [&done] { return done; })) {
    if (details.stopRequested && details.stopRequested()) stopHalf = true;
  }
  status = halfStatus;
  if (status == PoiReadStatus::kReadError) details.error = halfError;
  half.JoinTo(list);
  return true;
}

}  // namespace

std::size_t PoiLineNumber(const std::string& path, std::size_t pointIndex) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return 0;
  const std::function<bool()> noStop;
  auto reader = std::make_unique<LinePieceReader>(file.get(), noStop);
  std::string room;
  PoiView point;
  std::size_t line = 1;
  std::size_t points = 0;
  while (!reader->AtEnd()) {
    const std::string_view piece = reader->NextPiece(room);
    if (reader->Failed()) return 0;
    if (ParsePoiLine(piece, point) && points++ == pointIndex) return line;
    if (!piece.empty() && piece.back() == '\n') ++line;
  }
  return 0;
}

PoiReadStatus ReadPoiFile(const std::string& path, PoiList& list) {
  PoiReadDetails details;
  return ReadPoiFile(path, list, details);
}

PoiReadStatus ReadPoiFile(const std::string& path, PoiList& list, PoiReadDetails& details) {
  details.error.clear();
  details.utf16ByteOrderMark = false;
  try {
    list.StartWithBlankTail();
  } catch (const std::bad_alloc&) {
    return PoiReadStatus::kNoMemoryForList;
  }

  const auto stopped = [&details] { return details.stopRequested && details.stopRequested(); };
  if (stopped()) return PoiReadStatus::kStopped;
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    // Opening a pipe waits for its writer; a stop signal ends that wait with EINTR.
    if (stopped()) return PoiReadStatus::kStopped;
    details.error = std::error_code(errno != 0 ? errno : ENOENT, std::generic_category());
    return PoiReadStatus::kCannotOpen;
  }
  const std::size_t fileBytes = FileSize(path);
  list.ReserveForFile(fileBytes);

  try {
    PoiReadStatus status = PoiReadStatus::kOk;
    if (!ReadInHalves(path, file.get(), fileBytes, list, details, status)) {
      auto reader = std::make_unique<LinePieceReader>(file.get(), details.stopRequested);
      status = ReadPoints(*reader, details.error,
                          [&list](const PoiView& point) { list.AppendPoint(point); });
      details.utf16ByteOrderMark = reader->Utf16ByteOrderMark();
    }
    return status;
  } catch (const std::bad_alloc&) {
    return PoiReadStatus::kOutOfMemory;  // the list still ends in its blank tail
  }
}

}  // namespace wayloom
