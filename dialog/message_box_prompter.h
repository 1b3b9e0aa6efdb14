// The window's message boxes: the engine's messages with an OK button, its question with Yes and
// No.
#pragma once

#include "base/host.h"

class QWidget;

class MessageBoxPrompter : public wayloom::Prompter {
 public:
  // The boxes are centred on parent and block it while they are open.
  explicit MessageBoxPrompter(QWidget* parent) : m_parent(parent) {}

  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;

 private:
  QWidget* m_parent;
};
