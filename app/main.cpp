// Sundrel: splits PDF files into parts that each stay below a chosen size.

#include "app/SkinLibrary.h"
#include "app/SplitterApp.h"
#include "app/Translations.h"
#include "bridge/EngineRunner.h"
#include "ui/main/MainDialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kHelp =
    "Usage: sundrel [FILE]...\n"
    "Open the Sundrel window with the PDF FILEs in its list.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "sundrel-split splits without the window; see sundrel-split --help.\n";

} // namespace

int main(int argc, char** argv) {
  // Answered before the window system is touched, so they work without a display.
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--")
      break;
    if (argument == "--version") {
      std::fputs("sundrel (Sundrel) " SUNDREL_VERSION "\n", stdout);
      return 0;
    }
    if (argument == "--help" || argument == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
  }
  QApplication application(argc, argv);
  // An interrupted run leaves neither hidden part files nor temporary files.
  sundrel::bridge::installInterruptCleanup();
  sundrel::app::installTranslations(application, QLocale());
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
