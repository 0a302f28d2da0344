// What the window says after a run with problems: the message text for each
// kind of problem and their order, and that the window shows it once, as the
// last thing of a run, and only when something went wrong.

#include "ui/main/ProblemMessage.h"
#include "bridge/EngineRunner.h"
#include "engine/SplitReport.h"
#include "tests/ui/TestModal.h"
#include "ui/main/MainDialog.h"
#include "ui/main/MessageBox.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace sundrel;
using engine::FailureKind;
using engine::FileOutcome;
using engine::FileReport;
using engine::SplitReport;

Q_DECLARE_METATYPE(sundrel::engine::SplitReport)

namespace {

FileReport fileReport(const std::string& source, FileOutcome outcome) {
  FileReport file;
  file.source = source;
  file.outcome = outcome;
  return file;
}

FileReport splitInto(const std::string& source, const std::vector<std::string>& parts) {
  FileReport file = fileReport(source, FileOutcome::Split);
  int page = 1;
  for (const std::string& part : parts) {
    file.parts.push_back({part, page, page, 50000});
    ++page;
  }
  return file;
}

FileReport failed(const std::string& source, FailureKind kind, const std::string& reason = {}) {
  FileReport file = fileReport(source, FileOutcome::Failed);
  file.failure = kind;
  file.reason = reason;
  return file;
}

FileReport notReached(const std::string& source) {
  return fileReport(source, FileOutcome::NotReached);
}

SplitReport report(std::vector<FileReport> files, bool stoppedEarly = false) {
  return SplitReport{102400, stoppedEarly, std::move(files)};
}

} // namespace

class ProblemMessageTest : public QObject {
  Q_OBJECT

  QTemporaryDir programDir;
  QList<ui::MessageRequest> messages;
  ui::MainDialog* window = nullptr;
  bool busyAtMessage = false;

  // Runs Begin Split with OK in the Options dialog; the run returns result.
  void runReturning(ui::MainDialog& dialog, const SplitReport& result,
                    const std::function<void(engine::SplitHost&)>& during = {}) {
    window = &dialog;
    dialog.addFileRow(QStringLiteral("/in/a.pdf"), 0);
    dialog.updateControlStates();
    dialog.setSplitRunner([&](engine::SplitHost& host, settings::SplitSettings&) {
      if (during)
        during(host);
      return result;
    });
    auto answered = test::onNextModal([](QWidget* options) {
      QTest::mouseClick(test::control<QPushButton>(options, 1025), Qt::LeftButton);
    });
    dialog.onBeginSplit();
    QVERIFY(*answered);
  }

private slots:
  void initTestCase() {
    QVERIFY(programDir.isValid());
    bridge::setProgramDirectory(programDir.path().toStdString());
  }

  void init() {
    messages.clear();
    ui::setMessageBoxHook([this](const ui::MessageRequest& request) {
      messages << request;
      busyAtMessage = window && window->isBusy();
      return QMessageBox::Ok;
    });
  }

  void cleanup() {
    ui::setMessageBoxHook({});
    window = nullptr;
  }

  void messageText_data() {
    QTest::addColumn<SplitReport>("report");
    QTest::addColumn<QString>("text");

    QTest::newRow("failures only")
        << report({splitInto("/in/a.pdf", {"/in/a part 0001.pdf", "/in/a part 0002.pdf"}),
                   failed("/in/b.pdf", FailureKind::Protected, "the engine found no pages"),
                   [] {
                     FileReport c = failed("/in/c.pdf", FailureKind::PartNotWritten,
                                           "the engine could not write /in/c part 0002.pdf");
                     c.parts.push_back({"/in/c part 0001.pdf", 1, 4, 90000});
                     return c;
                   }()})
        << "2 files could not be split:\n"
           "• \"/in/b.pdf\": it is password-protected.\n"
           "• \"/in/c.pdf\": a part could not be written (the engine could not write "
           "/in/c part 0002.pdf).\n\n"
           "3 parts were written to \"/in\".";

    QTest::newRow("wrong password")
        << report({failed("/in/b.pdf", FailureKind::Protected,
                          "Failed to open PDF file: /in/b.pdf: the given input_pw password is "
                          "incorrect")})
        << "1 file could not be split:\n"
           "• \"/in/b.pdf\": the password given for it is wrong.\n\n"
           "No parts were written.";

    QTest::newRow("early stop")
        << report({splitInto("/in/a.pdf", {"/out/a part 0001.pdf"}),
                   failed("/in/b.pdf", FailureKind::ProbeFailed, "the engine ended with status 3"),
                   notReached("/in/c.pdf"), notReached("/in/d.pdf")},
                  true)
        << "1 file could not be split:\n"
           "• \"/in/b.pdf\": the engine failed while measuring its pages (the engine ended with "
           "status 3).\n\n"
           "The run stopped early; 2 files were not reached:\n• \"/in/c.pdf\"\n• \"/in/d.pdf\"\n\n"
           "1 part was written to \"/out\".";

    FileReport manual = splitInto("/in/manual.pdf", {"/in/m 1.pdf", "/in/m 2.pdf", "/in/m 3.pdf"});
    for (int page = 2; page <= 8; ++page)
      manual.oversizePages.push_back({page, std::uint64_t(100000 + page * 10000)});
    QTest::newRow("oversize pages, five named per file")
        << report({manual})
        << "Some pages alone are larger than the limit of 102400 bytes; each was written as a "
           "part by itself:\n"
           "• \"/in/manual.pdf\": page 2 (120000 bytes), page 3 (130000 bytes), page 4 (140000 "
           "bytes), page 5 (150000 bytes), page 6 (160000 bytes), and 2 more pages.\n\n"
           "3 parts were written to \"/in\".";

    FileReport a = splitInto("/in/a.pdf", {"/1/a.pdf", "/2/a.pdf", "/3/a.pdf", "/4/a.pdf"});
    a.warnings = {"the document properties were not applied to part 2"};
    FileReport b = splitInto("/in/b.pdf", {"/5/b.pdf"});
    b.warnings = {"the document properties were not applied to part 1."};
    QTest::newRow("warnings, parts in many folders")
        << report({a, b})
        << "2 warnings:\n"
           "• \"/in/a.pdf\": the document properties were not applied to part 2.\n"
           "• \"/in/b.pdf\": the document properties were not applied to part 1.\n\n"
           "5 parts were written to \"/1\", \"/2\", \"/3\" and 2 other folders.";

    // Listed in the reverse of their weight: the message reorders them.
    FileReport warned = splitInto("/in/w.pdf", {"/x/w 1.pdf"});
    warned.warnings = {"the document properties were not applied to part 1"};
    FileReport big = splitInto("/in/o.pdf", {"/y/o 1.pdf"});
    big.oversizePages = {{1, 300000}};
    QTest::newRow("mixed, most important first")
        << report(
               {warned, big, failed("/in/n.pdf", FailureKind::Unreadable), notReached("/in/r.pdf")},
               true)
        << "1 file could not be split:\n"
           "• \"/in/n.pdf\": it could not be read; it may be damaged or not a PDF file.\n\n"
           "The run stopped early; 1 file was not reached:\n• \"/in/r.pdf\"\n\n"
           "Some pages alone are larger than the limit of 102400 bytes; each was written as a "
           "part by itself:\n• \"/in/o.pdf\": page 1 (300000 bytes).\n\n"
           "1 warning:\n"
           "• \"/in/w.pdf\": the document properties were not applied to part 1.\n\n"
           "2 parts were written to \"/x\" and \"/y\".";

    std::vector<FileReport> files{failed("/in/0.pdf", FailureKind::EngineMissing,
                                         "tovix.dll was not found in /opt/sundrel/")};
    for (int i = 1; i <= 10; ++i)
      files.push_back(notReached("/in/" + std::to_string(i) + ".pdf"));
    QTest::newRow("nothing written, a long list cut")
        << report(files, true)
        << "1 file could not be split:\n"
           "• \"/in/0.pdf\": the PDF engine was not found (tovix.dll was not found in "
           "/opt/sundrel/).\n\n"
           "The run stopped early; 10 files were not reached:\n"
           "• \"/in/1.pdf\"\n• \"/in/2.pdf\"\n• \"/in/3.pdf\"\n• \"/in/4.pdf\"\n"
           "• \"/in/5.pdf\"\n• \"/in/6.pdf\"\n• \"/in/7.pdf\"\n• \"/in/8.pdf\"\nand 2 more.\n\n"
           "No parts were written.";
  }

  void messageText() {
    QFETCH(SplitReport, report);
    QFETCH(QString, text);
    QVERIFY(report.hasProblems());
    QCOMPARE(ui::problemMessage(report), text);
  }

  void windowShowsProblemsOnceAfterTheRun() {
    ui::MainDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const SplitReport problems =
        report({failed("/in/a.pdf", FailureKind::Protected), notReached("/in/b.pdf")}, true);
    runReturning(dialog, problems);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].caption, ui::applicationName());
    QCOMPARE(messages[0].text, ui::problemMessage(problems));
    QCOMPARE(messages[0].icon, ui::MessageIcon::Warning);
    QCOMPARE(messages[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!busyAtMessage); // over the idle window

    // A close asked for during the run still lets the user read it first.
    messages.clear();
    // Exit during a run stops it as Stop does, then closes.
    bool stopped = false;
    runReturning(dialog, problems, [&](engine::SplitHost& host) {
      dialog.onExit();
      stopped = host.stopRequested() && host.stopFlag()->load();
    });
    QVERIFY(stopped);
    QCOMPARE(messages.size(), 1);
    QVERIFY(!dialog.isVisible());
  }

  void runWithoutProblemsEndsAsBefore() {
    ui::MainDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const std::string skip = "\"/in/b.pdf\" is too small, we will skip this PDF file.";
    const SplitReport clean = report({splitInto("/in/a.pdf", {"/in/a part 0001.pdf"}),
                                      fileReport("/in/b.pdf", FileOutcome::SkippedTooSmall)});
    QVERIFY(!clean.hasProblems());
    QCOMPARE(clean.partCount(), 1);
    runReturning(dialog, clean, [&](engine::SplitHost& host) { host.showSkipMessage(skip); });
    QCOMPARE(messages.size(), 2); // the skip message, then how the run ended
    QCOMPARE(messages[0].text, QString::fromStdString(skip));
    QCOMPARE(messages[1].text, QStringLiteral("Split 1 file. 1 part was written to \"/in\"."));
    QCOMPARE(messages[1].icon, ui::MessageIcon::Information);
    // Open Folder opens the parts' folder with the desktop's file manager.
    QStringList opened;
    dialog.setFileOpener([&](const QString& path) { opened << path; });
    ui::setMessageBoxHook([](const ui::MessageRequest& request) {
      return request.buttons.testFlag(QMessageBox::Open) ? QMessageBox::Open : QMessageBox::Ok;
    });
    runReturning(dialog, clean);
    QCOMPARE(opened, QStringList{QStringLiteral("/in")});
  }
};

QTEST_MAIN(ProblemMessageTest)
#include "ProblemMessageTest.moc"
