// CTrackApp: the program. It shows the Wayloom window and ends when the window closes.
#pragma once

#include <QApplication>

class CTrackApp : public QApplication {
  Q_OBJECT

 public:
  CTrackApp(int& argc, char** argv);

  // Reads the command line (wayloom [FILE]: a file given becomes the source), then runs the window
  // until Exit or its close box ends it. False, with a message on standard error, when the command
  // line holds more than one file; --help and --version end the program at once.
  bool InitInstance();
};
