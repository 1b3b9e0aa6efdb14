#include "app/track_app.h"

#include <QSettings>

#include "dialog/about_dlg.h"
#include "dialog/track_dlg.h"

CTrackApp::CTrackApp(int& argc, char** argv) : QApplication(argc, argv) {
  setOrganizationName(QStringLiteral("Wayloom"));
  setApplicationName(QStringLiteral("Wayloom"));
  setApplicationVersion(QStringLiteral(WAYLOOM_VERSION));
  setDesktopFileName(QStringLiteral("wayloom"));
  setWindowIcon(WayloomIcon());
}

bool CTrackApp::InitInstance() {
  CTrackDlg dialog;
  // The paths, options and size of the last run; the very first run shows the defaults.
  QSettings settings;
  dialog.RestoreSettings(settings);
  // Exit, Esc and the close box all end the program the same way.
  dialog.exec();
  dialog.SaveSettings(settings);
  return false;
}
