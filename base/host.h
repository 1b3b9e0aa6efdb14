// What the track code needs from whoever drives it: a place to show messages, someone to answer a
// Yes/No question, the states of the two option boxes, and (for long tracks) a way to show progress
// and to ask for a stop. The window and the command line each supply one; tests supply scripted
// ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace wayloom {

// The message box: a text with an OK button, or a Yes/No question. A line feed starts a new line.
class Prompter {
 public:
  virtual ~Prompter() = default;
  virtual void ShowMessage(const std::string& text) = 0;
  // True for Yes; every other answer counts as No.
  virtual bool AskYesNo(const std::string& question) = 0;
  // A file could not be opened, read or written: the message, and the system's reason for it. A
  // message box shows the message alone; a terminal can add the reason on a line of its own.
  virtual void ShowFailure(const std::string& text, std::error_code /*reason*/) {
    ShowMessage(text);
  }
  // A line for the person's information, not a failure: where live output goes, a track that
  // came out empty. A message box shows none; a terminal prints it.
  virtual void ShowNote(const std::string& /*text*/) {}
};

// The two option boxes, read when a track is created.
class OptionStates {
 public:
  virtual ~OptionStates() = default;
  virtual bool ReorderTicked() const = 0;      // "Re-order points in closest order."
  virtual bool ExtraPointsTicked() const = 0;  // "Create extra points."
};

// The two boxes as set once, for a front end without them (the command line, a live feed).
class FixedOptions : public OptionStates {
 public:
  FixedOptions(bool reorder, bool extraPoints) : reorder_(reorder), extraPoints_(extraPoints) {}
  bool ReorderTicked() const override { return reorder_; }
  bool ExtraPointsTicked() const override { return extraPoints_; }

 private:
  bool reorder_;
  bool extraPoints_;
};

// How far a track has come.
struct TrackProgress {
  std::uint64_t pointsDone = 0;   // points of the POI file written so far
  std::uint64_t pointsTotal = 0;  // points of the POI file in this track
  std::uint64_t sentencesWritten = 0;
};

// Progress reports and the stop request of a long track. Both are optional.
class ProgressMonitor {
 public:
  virtual ~ProgressMonitor() = default;
  // Called now and then while a track is written (not after every sentence).
  virtual void Report(const TrackProgress& progress) = 0;
  // Polled after every sentence pair; true ends the track there, with every line written complete.
  virtual bool StopRequested() = 0;
};

}  // namespace wayloom
