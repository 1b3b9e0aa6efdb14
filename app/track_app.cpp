#include "app/track_app.h"

#include "dialog/about_dlg.h"
#include "dialog/track_dlg.h"

CTrackApp::CTrackApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Wayloom"));
  setApplicationVersion(QStringLiteral(WAYLOOM_VERSION));
  setDesktopFileName(QStringLiteral("wayloom"));
  setWindowIcon(WayloomIcon());
}

bool CTrackApp::InitInstance() {
  CTrackDlg dialog;
  // Exit, Esc and the close box all end the program the same way.
  dialog.exec();
  return false;
}
