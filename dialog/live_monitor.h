// The live monitor, under the map while live output runs: the fix sent last (time, position,
// speed, course, satellites used), the TCP clients connected with their addresses, and the last
// sentences sent, as many as the session keeps. Freeze view stops the view, never the sending;
// once thawed it goes on from what the session still keeps, saying how many it has left out.
// Each refresh appends only the lines sent since the one before, so that ten fixes a second cost
// little.
#pragma once

#include <QWidget>
#include <cstdint>

#include "job/live_session.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;

class LiveMonitor : public QWidget {
  Q_OBJECT

 public:
  explicit LiveMonitor(QWidget* parent = nullptr);

  // A new session: the view starts empty.
  void Restart();
  // Shows status and takes the lines session has sent since the last refresh.
  void Refresh(const wayloom::LiveStatus& status, wayloom::LiveSession& session);

  // The fix as the monitor words it: "01:00:05.000 UTC, 55.95330 N 3.18830 W, 35.0 kn, course
  // 12.0, 7 satellites".
  static QString FixText(const wayloom::LiveStatus& status);

 private:
  QLabel* fix_;
  QLabel* clients_;
  QCheckBox* freeze_;
  QPlainTextEdit* sentences_;
  std::uint64_t seen_ = 0;  // of the session's sentences, those the view has taken
};
