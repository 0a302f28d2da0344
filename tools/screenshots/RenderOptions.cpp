// Renders the Options dialog on each of its pages, and the tab control in each
// orientation, to PNG files for a look by eye:
//   sundrel_render_options <output directory> [--classic]
// --classic renders with the themed tab drawing switched off.

#include "bridge/EngineRunner.h"
#include "tests/ui/TestModal.h"
#include "ui/options/OptionsDialog.h"
#include "ui/options/PageTabCtrl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

using sundrel::ui::OptionsDialog;
using sundrel::ui::PageTabCtrl;

namespace {

bool save(const QPixmap& image, const QString& path) {
  const bool saved = image.save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  return saved;
}

} // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: sundrel_render_options <output directory> [--classic]\n");
    return 2;
  }
  const QString out = args[1];
  const bool classic = args.contains(QStringLiteral("--classic"));
  PageTabCtrl::setThemesActive(!classic);
  QDir().mkpath(out);
  const QString suffix = classic ? QStringLiteral("-classic") : QString();

  // A program and a configuration directory of their own, so no settings file
  // of a real install or of the user is read.
  QTemporaryDir programDir;
  sundrel::bridge::setProgramDirectory(programDir.path().toStdString() + "/");
  qputenv("XDG_CONFIG_HOME", programDir.path().toLocal8Bit());

  bool ok = true;
  OptionsDialog options;
  // The security page with every control enabled, to show the enabled look.
  options.settings().keepEncryption = 0;
  options.settings().addSecurity = 1;
  for (int page = 0; page < 3; ++page) {
    sundrel::test::onNextModal([&](QWidget* window) {
      auto* tabs = window->findChild<PageTabCtrl*>(QStringLiteral("1024"));
      tabs->tabBar()->setCurrentIndex(page);
      QApplication::processEvents();
      ok &= save(window->grab(),
                 QStringLiteral("%1/options-page%2%3.png").arg(out).arg(page).arg(suffix));
      if (page == 1) {
        for (const char* id : {"1037", "1039"})
          window->findChild<QAbstractButton*>(QLatin1String(id))->click();
        QApplication::processEvents();
        ok &= save(window->grab(),
                   QStringLiteral("%1/options-page1-enabled%2.png").arg(out).arg(suffix));
      }
      qobject_cast<QDialog*>(window)->reject();
    });
    options.doModal();
  }

  // The tab control alone in each orientation, a long label and a hot tab.
  const char* names[] = {"top", "bottom", "left", "right"};
  for (int side = 0; side < 4; ++side) {
    QWidget frame;
    frame.resize(420, 260);
    auto* tabs = new PageTabCtrl(&frame);
    tabs->setGeometry(10, 10, 400, 240);
    tabs->setTabPosition(static_cast<PageTabCtrl::Orientation>(side));
    tabs->insertItem(0, QStringLiteral("First"));
    tabs->insertItem(1, QStringLiteral("Second tab"));
    tabs->insertItem(2, QStringLiteral("Third"));
    tabs->setCurrentIndex(1);
    frame.show();
    QApplication::processEvents();
    const QPixmap shot = frame.grab();
    ok &= save(shot, QStringLiteral("%1/tabs-%2%3.png").arg(out, names[side], suffix));
    // Four times larger, the corner where the selected tab meets the pane.
    const QRect corner = side == 0   ? QRect(0, 0, 220, 60)
                         : side == 1 ? QRect(0, 200, 220, 60)
                         : side == 2 ? QRect(0, 0, 60, 220)
                                     : QRect(360, 0, 60, 220);
    ok &= save(shot.copy(corner).scaled(corner.size() * 4),
               QStringLiteral("%1/tabs-%2-zoom%3.png").arg(out, names[side], suffix));
  }
  return ok ? 0 : 1;
}
