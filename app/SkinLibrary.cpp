#include "app/SkinLibrary.h"

#include <QApplication>
#include <QFile>

namespace sundrel::app {

namespace {
// The skin file is a small text file; anything bigger is not one of ours.
constexpr qint64 kMaxSkinFileSize = 1 << 20;
} // namespace

int StyleSheetSkin::init(QApplication* app) {
  application = app;
  if (application)
    originalStyleSheet = application->styleSheet();
  return application ? 1 : 0;
}

int StyleSheetSkin::loadSkinFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSkinFileSize)
    return 0;
  styleSheet = QString::fromUtf8(file.readAll());
  return isLoaded() ? 1 : 0;
}

int StyleSheetSkin::applyToClass(const QString& windowClass) {
  if (!application || !isLoaded() || windowClass != QLatin1String("Dialog"))
    return 0;
  application->setStyleSheet(styleSheet);
  applied = true;
  return 1;
}

std::uintptr_t StyleSheetSkin::customToolbar(const QString& name) {
  // The windows have no tool bars; a handle stands for the skinned state.
  if (!applied || name != QLatin1String("SkinCustomToolbar"))
    return 0;
  toolbar = 1;
  return toolbar;
}

void StyleSheetSkin::releaseToolbar(std::uintptr_t handle) {
  if (handle == toolbar)
    toolbar = 0;
}

void StyleSheetSkin::exit() {
  if (application && applied)
    application->setStyleSheet(originalStyleSheet);
  applied = false;
  styleSheet.clear();
  application = nullptr;
}

} // namespace sundrel::app
