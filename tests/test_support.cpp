#include "tests/test_support.h"

#include "sentences/nmea.h"

#include <chrono>
#include <random>
#include <thread>

namespace wayloom::test {

namespace {
constexpr double kDegree = 3.14159265358979323846 / 180.0;
}  // namespace

// The textbook dilutions of precision (HDOP, VDOP, PDOP; empty when there is no solution): G has
// a row (-cos el sin az, -cos el cos az, -sin el, 1) per satellite, Q = (G^T G)^-1 by Gauss-Jordan
// elimination, HDOP = sqrt(Q11 + Q22), VDOP = sqrt(Q33), PDOP = sqrt(Q11 + Q22 + Q33).
std::vector<double> TextbookDops(const std::vector<std::array<double, 2>>& directions) {
  double m[4][8] = {
      {0, 0, 0, 0, 1}, {0, 0, 0, 0, 0, 1}, {0, 0, 0, 0, 0, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 1}};
  for (const auto& [el, az] : directions) {
    const double g[4] = {-std::cos(el * kDegree) * std::sin(az * kDegree),
                         -std::cos(el * kDegree) * std::cos(az * kDegree), -std::sin(el * kDegree),
                         1};
    for (int i = 0; i < 16; ++i) m[i / 4][i % 4] += g[i / 4] * g[i % 4];
  }
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r) pivot = std::fabs(m[r][c]) > std::fabs(m[pivot][c]) ? r : pivot;
    if (std::fabs(m[pivot][c]) < 1e-9) return {};
    std::swap(m[c], m[pivot]);
    for (int r = 0; r < 4; ++r) {
      const double factor = r == c ? 0.0 : m[r][c] / m[c][c];
      for (int k = 0; k < 8; ++k) m[r][k] -= factor * m[c][k];
    }
  }
  const double q[3] = {m[0][4] / m[0][0], m[1][5] / m[1][1], m[2][6] / m[2][2]};
  return {std::sqrt(q[0] + q[1]), std::sqrt(q[2]), std::sqrt(q[0] + q[1] + q[2])};
}

TempDir::TempDir() {
  // A folder no other test process has: create_directory is false where one exists already.
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = "wayloom-test-" + std::to_string(random());
    path_ = (std::filesystem::temp_directory_path() / name).string();
    if (std::filesystem::create_directory(path_)) return;
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

std::string Drain(std::FILE* stream) {
  std::string text;
  std::rewind(stream);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stream)) > 0;)
    text.append(buffer, n);
  std::fclose(stream);
  return text;
}

}  // namespace

CliRun InvokeCli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "wayloom-cli");
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CliRun run;
  run.status = RunCli(static_cast<int>(argv.size()), argv.data(), in, out, err);
  std::fclose(in);
  run.out = Drain(out);
  run.err = Drain(err);
  return run;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool OpensAsFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file) std::fclose(file);
  return file != nullptr;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Framed(std::string_view body, char start) {
  std::string sentence(1, start);
  sentence.append(body);
  CloseSentence(sentence, 0);
  return sentence;
}

std::string JoinLines(const std::vector<std::string>& lines, std::string_view end) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append(end);
  return text;
}

std::string TimeField(double clockMs) {
  char field[kSentenceCapacity];
  return std::string(field, FormatGgaTime(clockMs, field)).substr(7);
}

std::string LatitudeField(std::string_view text) {
  char field[kCoordinateFieldCapacity];
  return std::string(field, FormatLatitude(text, field));
}

std::string LongitudeField(std::string_view text) {
  char field[kCoordinateFieldCapacity];
  return std::string(field, FormatLongitude(text, field));
}

bool ChecksumHolds(std::string_view sentence) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::size_t star = sentence.rfind('*');
  if (sentence.empty() || sentence[0] != '$' || star + 3 != sentence.size()) return false;
  unsigned sum = 0;
  for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  return sentence[star + 1] == kHex[sum >> 4] && sentence[star + 2] == kHex[sum & 0xF];
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  for (std::size_t start = 0, end = 0; end != std::string_view::npos;
       start = end + separator.size()) {
    end = text.find(separator, start);
    pieces.emplace_back(text.substr(start, end - start));
  }
  return pieces;
}

std::vector<std::string> TrackLines(const std::string& bytes) {
  std::vector<std::string> lines = Split(bytes, "\r\n");
  EXPECT_EQ(lines.back(), "") << "the track ends in a line without CR LF";
  lines.pop_back();
  for (const std::string& line : lines) EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  return lines;
}

}  // namespace wayloom::test
