// A prompter for the window's benchmarks and pictures: every question answered Yes, every message
// printed on standard error, so that a headless run never waits for a click.
#pragma once

#include <cstdio>
#include <string>

#include "base/host.h"

class AnswerYes : public wayloom::Prompter {
 public:
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
  }
  bool AskYesNo(const std::string&) override { return true; }
};
