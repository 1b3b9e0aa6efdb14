#include "tests/test_support.h"

#include "cli/cli.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace wayloom::test {

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
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
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

bool UseGermanLocale() {
  return std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "German_Germany.1252");
}

bool OpensAsFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file) std::fclose(file);
  return file != nullptr;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

bool ChecksumHolds(std::string_view sentence) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::size_t star = sentence.rfind('*');
  if (sentence.empty() || sentence[0] != '$' || star + 3 != sentence.size()) return false;
  unsigned sum = 0;
  for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  return sentence[star + 1] == kHex[sum >> 4] && sentence[star + 2] == kHex[sum & 0xF];
}

std::vector<std::string> TrackLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "track ends in a line without CR LF: " << bytes.substr(start);
      break;
    }
    const std::string line = bytes.substr(start, end - start);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray line break in " << line;
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

}  // namespace wayloom::test
