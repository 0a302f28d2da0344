#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel label("Sundrel: the main window is not built yet.");
  label.setMargin(24);
  label.show();
  return app.exec();
}
