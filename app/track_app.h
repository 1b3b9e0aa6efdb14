// CTrackApp: the program. It shows the Wayloom window and ends when the window closes.
#pragma once

#include <QApplication>

class CTrackApp : public QApplication {
  Q_OBJECT

 public:
  CTrackApp(int& argc, char** argv);

  // Runs the window until Exit, Esc or its close box ends it. Returns false: once the window is
  // closed there is nothing left to run.
  bool InitInstance();
};
