#include "app/track_app.h"

#include <QCommandLineParser>
#include <QSettings>
#include <cstdio>

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
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Turns a POI file into an NMEA 0183 GPS track, in a window."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(
      QStringLiteral("FILE"),
      QStringLiteral("A POI file to open as the source; the destination proposed is beside it."),
      QStringLiteral("[FILE]"));
  parser.process(*this);
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    std::fprintf(stderr, "wayloom: one FILE at most, not %lld (see wayloom --help)\n",
                 static_cast<long long>(files.size()));
    return false;
  }

  CTrackDlg dialog;
  // The paths, options and size of the last run; the very first run shows the defaults. A file
  // given on the command line takes the place of the remembered paths.
  QSettings settings;
  dialog.RestoreSettings(settings);
  if (!files.isEmpty()) dialog.OpenSource(files.first());
  // Exit and the close box end the program the same way.
  dialog.exec();
  dialog.SaveSettings(settings);
  return true;
}
