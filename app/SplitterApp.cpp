#include "app/SplitterApp.h"

#include "app/SkinLibrary.h"
#include "bridge/EngineRunner.h"
#include "ui/main/MainDialog.h"

#include <QApplication>
#include <QFile>
#include <QUrl>

namespace sundrel::app {

SplitterApp::SplitterApp(QApplication* app, SkinLibrary& skinLibrary)
    : application(app), skin(skinLibrary) {}

QString SplitterApp::skinFilePath() {
  return QFile::decodeName(bridge::programFilePath(kSkinFileName).c_str());
}

int SplitterApp::initSkin() {
  skin.init(application);
  skin.loadSkinFile(skinFilePath());
  skin.applyToClass(QStringLiteral("Dialog"));
  skinToolbarHandle = skin.customToolbar(QStringLiteral("SkinCustomToolbar"));
  return 1;
}

void SplitterApp::shutdownSkin() {
  if (skinToolbarHandle != 0) {
    skin.releaseToolbar(skinToolbarHandle);
    skinToolbarHandle = 0;
  }
  skin.exit();
}

bool SplitterApp::initInstance() {
  initSkin();
  {
    ui::MainDialog dialog;
    if (!startFiles.isEmpty()) {
      QList<QUrl> urls;
      for (const QString& file : startFiles)
        urls << QUrl::fromLocalFile(file);
      dialog.onDropFiles(urls);
    }
    if (modalRunner)
      modalRunner(dialog);
    else
      dialog.exec();
  }
  return false;
}

int SplitterApp::exitInstance() {
  shutdownSkin();
  return 0;
}

} // namespace sundrel::app
