#include "sources/csv.h"

#include <deque>
#include <string>
#include <vector>

#include "sources/reading.h"

namespace wayloom::source_reading {
namespace {

enum class Column {
  kOther,
  kLatitude,
  kLongitude,
  kName,
  kDescription,
  kElevation,
  kTime,
  kSpeed,
  kDwell,
};

Column ColumnNamed(std::string_view text) {
  std::string name(Trim(text));
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  const struct {
    std::string_view name;
    Column column;
  } kNames[] = {
      {"lat", Column::kLatitude},        {"latitude", Column::kLatitude},
      {"lon", Column::kLongitude},       {"lng", Column::kLongitude},
      {"longitude", Column::kLongitude}, {"name", Column::kName},
      {"desc", Column::kDescription},    {"description", Column::kDescription},
      {"ele", Column::kElevation},       {"alt", Column::kElevation},
      {"time", Column::kTime},           {"speed", Column::kSpeed},
      {"dwell", Column::kDwell},
  };
  for (const auto& known : kNames) {
    if (name == known.name) return known.column;
  }
  return Column::kOther;
}

// The records of a CSV text, RFC 4180 style. A field's text is a view into the file unless it
// had doubled quotes, which are undone in storage of its own.
class CsvRecords {
 public:
  CsvRecords(std::string_view text, char separator) : text_(text), separator_(separator) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
  }

  // The next record that is not a blank line; false at the end.
  bool Next(std::vector<std::string_view>& fields) {
    for (;;) {
      if (at_ >= text_.size()) return false;
      recordStart_ = at_;
      fields.clear();
      unquoted_.clear();
      bool lineEnd = false;
      while (!lineEnd) fields.push_back(Field(lineEnd));
      if (fields.size() > 1 || !Trim(fields[0]).empty()) return true;
    }
  }
  std::size_t RecordStart() const { return recordStart_; }

 private:
  // One field from at_ on, and past its separator or line end (which sets lineEnd).
  std::string_view Field(bool& lineEnd) {
    if (at_ < text_.size() && text_[at_] == '"') return QuotedField(lineEnd);
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] != separator_ && text_[at_] != '\n') ++at_;
    const std::string_view field = text_.substr(start, at_ - start);
    lineEnd = at_ >= text_.size() || text_[at_] == '\n';
    ++at_;
    return field;
  }

  std::string_view QuotedField(bool& lineEnd) {
    const std::size_t open = at_++;
    std::size_t start = at_;
    std::string* storage = nullptr;
    for (;;) {
      const std::size_t quote = text_.find('"', at_);
      if (quote == std::string_view::npos) throw SourceError{open, "a quoted field is not closed"};
      if (quote + 1 < text_.size() && text_[quote + 1] == '"') {  // a doubled quote: one quote
        if (!storage) storage = &unquoted_.emplace_back();
        storage->append(text_.substr(start, quote + 1 - start));
        at_ = start = quote + 2;
        continue;
      }
      std::string_view field = text_.substr(start, quote - start);
      if (storage) field = storage->append(field);
      at_ = quote + 1;
      while (at_ < text_.size() &&
             (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r')) {
        ++at_;
      }
      if (at_ < text_.size() && text_[at_] != separator_ && text_[at_] != '\n') {
        throw SourceError{at_, "text after a quoted field's closing quote"};
      }
      lineEnd = at_ >= text_.size() || text_[at_] == '\n';
      ++at_;
      return field;
    }
  }

  std::string_view text_;
  char separator_;
  std::size_t at_ = 0;
  std::size_t recordStart_ = 0;
  std::deque<std::string> unquoted_;
};

struct Header {
  char separator = ',';
  std::vector<Column> columns;
};

// The header as read with this separator; true when it names latitude and longitude columns.
bool ReadHeader(std::string_view text, char separator, Header& header) {
  header.separator = separator;
  header.columns.clear();
  std::vector<std::string_view> names;
  CsvRecords records(text, separator);  // holds the names that had doubled quotes
  try {
    if (!records.Next(names)) return false;
  } catch (const SourceError&) {
    return false;
  }
  bool latitude = false;
  bool longitude = false;
  for (const std::string_view name : names) {
    header.columns.push_back(ColumnNamed(name));
    latitude = latitude || header.columns.back() == Column::kLatitude;
    longitude = longitude || header.columns.back() == Column::kLongitude;
  }
  return latitude && longitude;
}

bool FindHeader(std::string_view text, Header& header) {
  return ReadHeader(text, ',', header) || ReadHeader(text, ';', header);
}

// A number field of a semicolon file with a decimal comma, with a point instead.
std::string_view WithDecimalPoint(std::string_view field, char separator, std::string& storage) {
  if (separator != ';' || field.find(',') == std::string_view::npos) return field;
  storage.assign(field);
  for (char& c : storage) c = c == ',' ? '.' : c;
  return storage;
}

}  // namespace

bool IsCsvHeader(std::string_view head) {
  Header header;
  if (!FindHeader(head.substr(0, head.find('\n')), header)) return false;
  if (header.separator == ';') return true;
  std::size_t latitude = header.columns.size();
  std::size_t longitude = header.columns.size();
  for (std::size_t i = header.columns.size(); i-- > 0;) {
    switch (header.columns[i]) {
      case Column::kLatitude:
        latitude = i;
        break;
      case Column::kLongitude:
        longitude = i;
        break;
      case Column::kName:
      case Column::kElevation:
      case Column::kTime:
      case Column::kSpeed:
      case Column::kDwell:
        return true;
      case Column::kDescription:
      case Column::kOther:
        break;
    }
  }
  return latitude < longitude;
}

void ReadCsv(ReadContext& context) {
  const std::string_view text = context.bytes.View();
  Header header;
  if (!FindHeader(text.substr(0, text.find('\n')), header)) {
    throw SourceError{0,
                      "a CSV header names a latitude column (lat, latitude) and a longitude "
                      "column (lon, lng, longitude)"};
  }
  PointSink sink(context.list, context.read.details, context.places, text, 0);
  CsvRecords records(text, header.separator);
  std::vector<std::string_view> fields;
  records.Next(fields);  // the header
  std::string numbers[5];
  while (records.Next(fields)) {
    PointTexts point;
    point.offset = records.RecordStart();
    for (std::size_t i = 0; i < fields.size() && i < header.columns.size(); ++i) {
      const std::string_view field = fields[i];
      switch (header.columns[i]) {
        case Column::kLatitude:
          point.latitude = WithDecimalPoint(field, header.separator, numbers[0]);
          break;
        case Column::kLongitude:
          point.longitude = WithDecimalPoint(field, header.separator, numbers[1]);
          break;
        case Column::kElevation:
          point.elevation = WithDecimalPoint(field, header.separator, numbers[2]);
          break;
        case Column::kSpeed:
          point.speed = WithDecimalPoint(field, header.separator, numbers[3]);
          break;
        case Column::kDwell:
          point.dwell = WithDecimalPoint(field, header.separator, numbers[4]);
          break;
        case Column::kName:
          point.name = field;
          break;
        case Column::kDescription:
          point.description = field;
          break;
        case Column::kTime:
          point.time = field;
          break;
        case Column::kOther:
          break;
      }
    }
    sink.Add(point);
  }
  sink.Finish();
  context.read.paths.push_back(SourcePath{"", PathKind::kPoints, sink.Count()});
  ChooseOrRefuse(context);
}

}  // namespace wayloom::source_reading
