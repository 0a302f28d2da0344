// Takes screenshots of the main window (idle, during a run, after it), of the
// skip and problem messages and of the About box, with or without the skin. Run under a real X
// server (Xvfb): scripts/screenshots does that.
//
//   sundrel_main_screenshots <output dir> <bin dir> <corpus dir> [--skin]

#include "app/SkinLibrary.h"
#include "bridge/EngineRunner.h"
#include "engine/SplitEngine.h"
#include "tests/ui/TestModal.h"
#include "ui/main/AboutDialog.h"
#include "ui/main/HyperlinkStatic.h"
#include "ui/main/MainDialog.h"
#include "ui/main/MessageBox.h"
#include "ui/main/ProblemMessage.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <cstdio>

using namespace sundrel;

namespace {

QString outputDir;
QString suffix;

void grab(QWidget* window, const QString& name) {
  QCoreApplication::processEvents();
  QTest::qWait(200);
  const QRect frame = window->frameGeometry().adjusted(-8, -8, 8, 8);
  const QPixmap shot =
      window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  const QString path = QDir(outputDir).filePath(name + suffix + QStringLiteral(".png"));
  if (!shot.save(path))
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  else
    std::printf("%s\n", qPrintable(path));
}

// A run with one problem of each kind over the listed files.
engine::SplitReport sampleReport(const QStringList& files) {
  engine::SplitReport report;
  report.limit = 102400;
  report.stoppedEarly = true;
  const auto source = [&](int index) { return files.value(index).toStdString(); };
  const auto partPath = [&](int index, int part) {
    return (files.value(index).chopped(4) +
            QStringLiteral(" part %1.pdf").arg(part, 4, 10, QLatin1Char('0')))
        .toStdString();
  };
  engine::FileReport first;
  first.source = source(0);
  first.outcome = engine::FileOutcome::Split;
  for (int part = 1; part <= 4; ++part)
    first.parts.push_back({partPath(0, part), part * 3 - 2, part * 3, 90000});
  first.oversizePages = {{7, 181233}, {11, 140012}};
  first.warnings = {"the document properties were not applied to part 3"};
  engine::FileReport second;
  second.source = source(1);
  second.outcome = engine::FileOutcome::Failed;
  second.failure = engine::FailureKind::StageFailed;
  second.reason = "the engine could not encrypt pages 5-9";
  second.parts.push_back({partPath(1, 1), 1, 4, 98000});
  engine::FileReport third;
  third.source = source(2);
  report.files = {first, second, third};
  return report;
}

} // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() < 4) {
    std::fprintf(stderr, "usage: %s <output dir> <bin dir> <corpus dir> [--skin]\n", argv[0]);
    return 2;
  }
  outputDir = args[1];
  const QDir bin(QDir(args[2]).absolutePath());
  const QDir corpus(args[3]);
  const bool skinned = args.contains(QStringLiteral("--skin"));
  suffix = skinned ? QStringLiteral("-skin") : QStringLiteral("-plain");
  QDir().mkpath(outputDir);

  app::StyleSheetSkin skin;
  if (skinned) {
    skin.init(&application);
    skin.loadSkinFile(bin.filePath(QStringLiteral("xpblue.smf")));
    skin.applyToClass(QStringLiteral("Dialog"));
  }

  // A program directory of its own: the engine, and a fresh settings file.
  QTemporaryDir program;
  QFile::link(bin.filePath(QStringLiteral("tovix.dll")),
              program.filePath(QStringLiteral("tovix.dll")));
  bridge::setProgramDirectory(program.path().toStdString());
  qputenv("XDG_CONFIG_HOME", program.path().toLocal8Bit());
  QTemporaryDir work;
  QStringList files;
  for (const char* name : {"pdfjs__tracemonkey_with_annotations.pdf",
                           "pypdf__Seige_of_Vicksburg_Sample_OCR.pdf", "opf__195981.pdf"}) {
    const QString target = work.filePath(QLatin1String(name));
    if (QFile::copy(corpus.filePath(QLatin1String(name)), target))
      files << target;
  }

  ui::MainDialog dialog;
  dialog.move(40, 40);
  dialog.show();
  (void)QTest::qWaitForWindowExposed(&dialog);
  grab(&dialog, QStringLiteral("main-idle"));

  dialog.setFilesChooser([&](QWidget*) { return std::optional(files); });
  dialog.onAdd();
  auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("1063"));
  table->selectRow(1);
  grab(&dialog, QStringLiteral("main-listed"));

  // During a run: grabbed from inside the run, while the engine works.
  bool grabbedDuringRun = false;
  dialog.setSplitRunner([&](engine::SplitHost& host, settings::SplitSettings& settings) {
    QTimer::singleShot(2500, &dialog, [&] {
      if (dialog.isBusy()) {
        grab(&dialog, QStringLiteral("main-running"));
        grabbedDuringRun = true;
      }
    });
    engine::runSplit(host, settings);
  });
  ui::setMessageBoxHook([](const ui::MessageRequest&) { return QMessageBox::Ok; });
  test::onNextModal([](QWidget* options) {
    QTest::qWait(300);
    grab(options, QStringLiteral("options-over-main"));
    if (auto* ok = options->findChild<QPushButton*>(QStringLiteral("1025")))
      ok->click();
  });
  dialog.onBeginSplit();
  if (!grabbedDuringRun)
    std::fprintf(stderr, "the run ended before the during-run screenshot\n");
  grab(&dialog, QStringLiteral("main-after-run"));

  ui::setMessageBoxHook({});
  test::onNextModal([](QWidget* box) {
    grab(box, QStringLiteral("skip-message"));
    box->close();
  });
  dialog.showSkipMessage("\"" + files.value(0).toStdString() +
                         "\" is too small, we will skip this PDF file.");

  test::onNextModal([](QWidget* box) {
    grab(box, QStringLiteral("problem-message"));
    box->close();
  });
  ui::showMessageBox(&dialog, ui::problemMessage(sampleReport(files)), ui::MessageIcon::Warning);

  ui::AboutDialog about(&dialog);
  about.show();
  (void)QTest::qWaitForWindowExposed(&about);
  grab(&about, QStringLiteral("about"));
  // The pointer over the web link: hover colour, tooltip with the target.
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
  QCoreApplication::sendEvent(about.webLink(), &enter);
  QToolTip::showText(about.webLink()->mapToGlobal(QPoint(4, about.webLink()->height() + 4)),
                     about.webLink()->toolTip(), about.webLink());
  grab(&about, QStringLiteral("about-hover"));
  QToolTip::hideText();
  about.close();

  if (skinned)
    skin.exit();
  return 0;
}
