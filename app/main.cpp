// wayloom: the desktop window.
#include "app/track_app.h"
#include "platform/platform.h"

int main(int argc, char* argv[]) {
  // Tracks of millions of fixes come and go: their large blocks go back to the system when freed.
  wayloom::KeepLargeBlocksMapped();
  CTrackApp app(argc, argv);
  return app.InitInstance() ? 0 : 2;
}
