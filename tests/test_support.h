// Shared helpers for the engine and command-line tests: a scripted message box, fixed option
// states, and a temporary folder with small file utilities.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "track/host.h"

namespace wayloom::test {

// Records every message and question; answers questions from a script (No when it runs out).
class ScriptedPrompter : public Prompter {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::deque<bool> answers;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
};

class FixedOptionStates : public OptionStates {
 public:
  bool ReorderTicked() const override { return reorder; }
  bool ExtraPointsTicked() const override { return extraPoints; }

  bool reorder = false;
  bool extraPoints = false;
};

// The command line run in this process, with a standard input that is no terminal.
struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};
CliRun InvokeCli(std::vector<std::string> arguments);

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Switches the process to a German locale, which writes and reads decimal commas (its Linux or its
// Windows name); false when none is installed.
bool UseGermanLocale();
// Whether fopen takes path for reading: a folder does on Linux, not on Windows.
bool OpensAsFile(const std::string& path);
// Whether sentence ends in '*' and the right checksum, as two upper-case hex digits.
bool ChecksumHolds(std::string_view sentence);
// Splits a track into its lines, each without its CR LF; fails the test on a line without CR LF.
std::vector<std::string> TrackLines(const std::string& bytes);

}  // namespace wayloom::test
