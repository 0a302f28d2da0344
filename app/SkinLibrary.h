#pragma once
// The window skin. The application calls exactly six entry points, always in
// the same order (see SplitterApp), and relies on none of their results: the
// program works the same when the skin file is missing or any call fails.

#include <QString>

#include <cstdint>

class QApplication;

namespace sundrel::app {

class SkinLibrary {
public:
  virtual ~SkinLibrary() = default;
  virtual int init(QApplication* application) = 0;               // 1: initialise
  virtual int loadSkinFile(const QString& path) = 0;             // 3: load the skin file
  virtual int applyToClass(const QString& windowClass) = 0;      // 8: skin that window class
  virtual std::uintptr_t customToolbar(const QString& name) = 0; // 16: 0 when none
  virtual void releaseToolbar(std::uintptr_t handle) = 0;        // 17
  virtual void exit() = 0;                                       // 2: end, undo the skin
};

// The skin as a Qt style sheet: the skin file is a style sheet that is set
// on the whole application for the "Dialog" class.
class StyleSheetSkin : public SkinLibrary {
public:
  int init(QApplication* application) override;
  int loadSkinFile(const QString& path) override;
  int applyToClass(const QString& windowClass) override;
  std::uintptr_t customToolbar(const QString& name) override;
  void releaseToolbar(std::uintptr_t handle) override;
  void exit() override;

  bool isLoaded() const { return !styleSheet.isEmpty(); }

private:
  QApplication* application = nullptr;
  QString originalStyleSheet;
  QString styleSheet;
  bool applied = false;
  std::uintptr_t toolbar = 0;
};

} // namespace sundrel::app
