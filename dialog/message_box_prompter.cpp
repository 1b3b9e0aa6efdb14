#include "dialog/message_box_prompter.h"

#include <QMessageBox>

#include "dialog/table_model.h"

namespace {

// Every box carries the program's name as its title and shows its text as plain text, so a path
// with
// "<" or "&" in it shows as typed and a line feed starts a new line.
void PrepareBox(QMessageBox& box, QMessageBox::Icon icon, const std::string& text) {
  box.setWindowTitle(QStringLiteral("Wayloom"));
  box.setIcon(icon);
  box.setTextFormat(Qt::PlainText);
  box.setText(TextFromBytes(text));
}

}  // namespace

void MessageBoxPrompter::ShowMessage(const std::string& text) {
  QMessageBox box(m_parent);
  PrepareBox(box, QMessageBox::Warning, text);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

bool MessageBoxPrompter::AskYesNo(const std::string& question) {
  QMessageBox box(m_parent);
  PrepareBox(box, QMessageBox::Question, question);
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::Yes);
  // Esc and the close box answer No.
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}
