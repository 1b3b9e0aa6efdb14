// wayloom: the desktop window.
#include "app/track_app.h"

int main(int argc, char* argv[]) {
  CTrackApp app(argc, argv);
  return app.InitInstance() ? 0 : 2;
}
