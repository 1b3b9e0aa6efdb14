#include "dialog/window_words.h"

#include <string_view>

#include "platform/platform.h"

namespace {

// What to do after each of the engine's messages, by the message's start.
struct Advice {
  std::string_view start;
  const char* advice;
};
constexpr Advice kAdvice[] = {
    {"Error can't open the input file",
     "Check the path in 'Source file', or choose the file with its Browse."},
    {"Error reading the input file",
     "'Source file' must be a text file of points that you may read."},
    {"Error can't open output file",
     "Choose another 'Destination file', in a folder you may write to."},
    {"Error writing output file",
     "The file holds the lines written before the failure, each complete. Make room on the disk, "
     "or choose another 'Destination file'."},
    {"Error the output file is the input file", "Choose another 'Destination file'."},
    {"Argh", "Close other programs, or choose a smaller 'Source file'."},
    {"point ", "Correct that line of 'Source file', or leave it out."},
};

}  // namespace

std::string WindowMessage(const std::string& text, std::error_code reason) {
  std::string message = text;
  if (reason) message += "\n" + wayloom::ReasonText(reason);
  for (const Advice& advice : kAdvice) {
    if (std::string_view(text).substr(0, advice.start.size()) == advice.start) {
      return message + "\n" + advice.advice;
    }
  }
  return message;
}

std::string LiveStartMessage(const std::string& error) {
  return "Live output could not start: " + error +
         "\nChange the outputs ticked under 'Send to' or their 'Address or link' on the Live "
         "output tab (port 0 takes any free port), or end the program that holds the address or "
         "the port.";
}

std::string NoTrackMessage(const wayloom::JobSummary& track, const std::string& source) {
  std::string line = wayloom::NoTrackLine(track, source);
  line[0] = 'N';
  return line +
         "\nA track needs two points or more: lines of longitude,latitude,description in "
         "'Source file'.";
}
