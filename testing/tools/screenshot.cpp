// vornix-screenshot <file.png>: saves the whole screen of the current X display, for the demo.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <file.png>\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen || !screen->grabWindow(0).save(argv[1], "PNG")) {
    std::fprintf(stderr, "no screen to save\n");
    return 1;
  }
  return 0;
}
