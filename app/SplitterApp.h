#pragma once
// The application: puts the skin on, runs the main window modally, takes the
// skin off. All of the user's work happens inside that one modal run.

#include <QStringList>

#include <cstdint>
#include <functional>

class QApplication;

namespace sundrel::ui {
class MainDialog;
}

namespace sundrel::app {

class SkinLibrary;

inline constexpr const char* kSkinFileName = "xpblue.smf";

class SplitterApp {
public:
  SplitterApp(QApplication* application, SkinLibrary& skin);

  // Start-up, the modal run of the main window and its teardown. Always
  // false: there is no further message loop to enter.
  bool initInstance();
  // Takes the skin off; the value is the process's exit status.
  int exitInstance();

  int initSkin();
  void shutdownSkin();

  // The skin file beside the executable, whatever the working directory.
  static QString skinFilePath();

  // PDF files handed over by the desktop ("Open with"), put in the list.
  void setStartFiles(QStringList files) { startFiles = std::move(files); }
  // Test seam: runs the main window; the default is its modal run.
  void setModalRunner(std::function<void(ui::MainDialog&)> runner) {
    modalRunner = std::move(runner);
  }

  std::uintptr_t skinToolbarHandle = 0;

private:
  QApplication* application;
  SkinLibrary& skin;
  QStringList startFiles;
  std::function<void(ui::MainDialog&)> modalRunner;
};

} // namespace sundrel::app
