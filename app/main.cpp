// Sundrel: splits PDF files into parts that each stay below a chosen size.

#include "app/SkinLibrary.h"
#include "bridge/EngineRunner.h"
#include "app/SplitterApp.h"
#include "ui/main/MainDialog.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // An interrupted run leaves neither hidden part files nor temporary files.
  sundrel::bridge::installInterruptCleanup();
  QApplication::setWindowIcon(sundrel::ui::applicationIcon());
  // Lets the desktop match the windows to the installed sundrel.desktop.
  QGuiApplication::setDesktopFileName(QStringLiteral("sundrel"));

  sundrel::app::StyleSheetSkin skin;
  sundrel::app::SplitterApp splitter(&application, skin);
  // Files the desktop hands over ("Open with"); nothing else is read from
  // the command line.
  QStringList files;
  const QStringList arguments = QApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QFileInfo file(arguments[i]);
    if (file.isFile())
      files << file.absoluteFilePath();
  }
  splitter.setStartFiles(files);
  splitter.initInstance();
  return splitter.exitInstance();
}
