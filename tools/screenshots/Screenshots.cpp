// Takes screenshots of the main window (idle, during a run, after it), of the
// message that ends a run, of the
// skip and problem messages, of a protected file with the list's menu and the
// password prompt, and of the About box, with or without the skin. Run under
// a real X server (Xvfb): scripts/screenshots does that.
//
//   sundrel_main_screenshots <output dir> <bin dir> <corpus dir> [--skin] [--german]

#include "app/SkinLibrary.h"
#include "app/Translations.h"
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
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProcess>
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

// A protected copy of source (open password "secret"), made with qpdf.
QString protectedCopy(const QString& source, const QString& target) {
  QProcess qpdf;
  qpdf.start(QStringLiteral("qpdf"),
             {QStringLiteral("--encrypt"), QStringLiteral("secret"), QStringLiteral("owner"),
              QStringLiteral("128"), QStringLiteral("--use-aes=y"), QStringLiteral("--"), source,
              target});
  if (!qpdf.waitForFinished(30000) || qpdf.exitCode() != 0) {
    std::fprintf(stderr, "qpdf could not make %s\n", qPrintable(target));
    return {};
  }
  return target;
}

// The list with a protected file, its menu, and the prompt of Begin Split.
void protectedSources(ui::MainDialog& dialog, const QStringList& files, const QString& folder) {
  const QString locked = protectedCopy(files.value(1), folder + QStringLiteral("/statement.pdf"));
  if (locked.isEmpty())
    return;
  dialog.onClear();
  dialog.setFilesChooser([&](QWidget*) {
    return std::optional(QStringList{files.value(0), locked});
  });
  dialog.onAdd();
  auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("1063"));
  (void)QTest::qWaitFor(
      [table] { return table->item(1, 1)->text() != QLatin1String("Checking..."); }, 20000);
  table->setFocus();
  table->selectRow(1);
  grab(&dialog, QStringLiteral("main-protected"));

  QTimer::singleShot(500, [&dialog] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      grab(&dialog, QStringLiteral("list-menu"));
      menu->close();
    }
  });
  const QRect row = table->visualRect(table->model()->index(1, 0));
  QMenu::exec(table->actions(), table->viewport()->mapToGlobal(row.center()), nullptr, table);

  dialog.setSplitRunner([](engine::SplitHost&, settings::SplitSettings&) {});
  test::onNextModal([](QWidget* options) {
    if (auto* ok = options->findChild<QPushButton*>(QStringLiteral("1025")))
      ok->click();
    test::onNextModal([](QWidget* prompt) {
      QTest::keyClicks(prompt->findChild<QLineEdit*>(QStringLiteral("password")),
                       QStringLiteral("secret"));
      grab(prompt, QStringLiteral("password-prompt"));
      prompt->findChild<QPushButton*>(QStringLiteral("skip"))->click();
    });
  });
  dialog.onBeginSplit();
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
  if (args.contains(QStringLiteral("--german"))) {
    app::installTranslations(application, QLocale(QStringLiteral("de_DE")));
    suffix += QStringLiteral("-de");
  }
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
  // The last one is long enough to be seen at work.
  for (const char* name :
       {"pdfjs__tracemonkey_with_annotations.pdf", "pypdf__Seige_of_Vicksburg_Sample_OCR.pdf",
        "opf__195981.pdf", "opf__027613.pdf"}) {
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
    QTimer::singleShot(700, &dialog, [&] {
      if (dialog.isBusy()) {
        grab(&dialog, QStringLiteral("main-running"));
        grabbedDuringRun = true;
      }
    });
    return engine::runSplit(host, settings);
  });
  // The message at the end of the run is shown and grabbed; any other box
  // (a file too small to split) is answered unseen.
  ui::setMessageBoxHook([&dialog](const ui::MessageRequest& request) {
    if (request.openText.isEmpty())
      return QMessageBox::Ok;
    QMessageBox box(request.icon == ui::MessageIcon::Warning ? QMessageBox::Warning
                                                             : QMessageBox::Information,
                    request.caption, request.text, request.buttons, &dialog);
    box.setTextFormat(Qt::PlainText);
    if (QAbstractButton* open = box.button(QMessageBox::Open))
      open->setText(request.openText);
    test::onNextModal([&box](QWidget* shown) {
      grab(shown, QStringLiteral("end-message"));
      box.button(QMessageBox::Ok)->click(); // a box with no Escape button ignores close()
    });
    box.exec();
    return QMessageBox::Ok;
  });
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

  protectedSources(dialog, files, work.path());

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
