// The main window: start-up state, size presets, the output-directory choice,
// Begin Split with the Options dialog, control states during and after a run,
// the file list's commands, and one real split.

#include "ui/main/MainDialog.h"
#include "bridge/EngineRunner.h"
#include "engine/SplitEngine.h"
#include "tests/support/PdfFixtures.h"
#include "tests/ui/TestModal.h"
#include "ui/main/FileListText.h"
#include "ui/main/MessageBox.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <map>
#include <set>

using namespace sundrel;
using test::control;
using ui::MainDialog;
namespace ids = ui::ids;

namespace {

// Every control whose enabled state the dialog decides.
const std::set<int> kAllIds = [] {
  using namespace ui::ids;
  return std::set<int>{
      AddDirectory, Add,     Delete, Clear, SizePreset, FolderEdit,        Browse,
      BeginSplit,   Options, Exit,   About, SizeEdit,   OriginalDirectory, AlternativeDirectory,
      FileList,     Progress};
}();

// Identifiers in ascending order, so that QCOMPARE names the first difference.
QList<int> sorted(const std::set<int>& set) {
  return QList<int>(set.begin(), set.end());
}

QList<int> disabledIds(MainDialog& dialog) {
  std::set<int> off;
  for (int id : kAllIds)
    if (!dialog.control(id)->isEnabled())
      off.insert(id);
  return sorted(off);
}

// What a run leaves usable: the list (for scrolling and drops), Exit, About.
QList<int> disabledWhileBusy() {
  std::set<int> rest = kAllIds;
  // Begin Split is Stop while busy.
  for (int id : {ids::FileList, ids::Exit, ids::About, ids::Progress, ids::BeginSplit})
    rest.erase(id);
  return sorted(rest);
}

QStringList columnTexts(QTableWidget* list, int column) {
  QStringList texts;
  for (int row = 0; row < list->rowCount(); ++row)
    texts << list->item(row, column)->text();
  return texts;
}

// Selects rows as a user does: a click on the first, Ctrl+click on the others.
void selectRows(QTableWidget* list, std::initializer_list<int> rows) {
  Qt::KeyboardModifiers modifiers;
  for (int row : rows) {
    const QRect cell = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, cell.center());
    modifiers = Qt::ControlModifier;
  }
}

void choosePreset(MainDialog& dialog, int index) {
  auto* combo = control<QComboBox>(&dialog, ids::SizePreset);
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

// Answers the Options dialog that Begin Split opens with OK or Cancel.
std::shared_ptr<bool> answerOptions(bool ok) {
  return test::onNextModal([ok](QWidget* options) {
    QTest::mouseClick(control<QPushButton>(options, ok ? 1025 : 1026), Qt::LeftButton);
  });
}

void sendDrop(QWidget* target, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
}

} // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir programDir;
  std::unique_ptr<QTemporaryDir> work;
  std::unique_ptr<MainDialog> dialog;
  QList<ui::MessageRequest> messages;

  QTableWidget* list() const { return test::named<QTableWidget>(dialog.get(), "fileList"); }
  QLineEdit* sizeEdit() const { return test::named<QLineEdit>(dialog.get(), "sizeEdit"); }
  void click(int id) { QTest::mouseClick(dialog->control(id), Qt::LeftButton); }
  bool enabled(int id) const { return dialog->control(id)->isEnabled(); }
  QString makePdf(const QString& name, qint64 size = 4096) {
    const QString path = work->filePath(name);
    test::writeFile(path, QByteArray(size, '\0'));
    return path;
  }
  void addRows(int count) {
    for (int i = 1; i <= count; ++i)
      dialog->addFileRow(makePdf(QStringLiteral("%1.pdf").arg(i)), list()->rowCount());
    dialog->updateControlStates();
  }

  static QString builtEngine() {
    const QString engine =
        QDir(qEnvironmentVariable("SUNDREL_BIN_DIR")).filePath(QStringLiteral("tovix.dll"));
    return QFileInfo::exists(engine) ? engine : QString();
  }

  // `program` is the program folder until the returned guard ends.
  auto useProgramDirectory(const QTemporaryDir& program) {
    bridge::setProgramDirectory(program.path().toStdString());
    return qScopeGuard([this] { bridge::setProgramDirectory(programDir.path().toStdString()); });
  }

private slots:
  void initTestCase() {
    // A fresh settings file for the Options dialog, never the build's own
    // nor the user's.
    QVERIFY(programDir.isValid());
    bridge::setProgramDirectory(programDir.path().toStdString());
    qputenv("XDG_CONFIG_HOME", programDir.path().toLocal8Bit());
  }

  void init() {
    work = std::make_unique<QTemporaryDir>();
    messages.clear();
    ui::setMessageBoxHook([this](const ui::MessageRequest& request) {
      messages << request;
      return QMessageBox::Ok;
    });
    dialog = std::make_unique<MainDialog>();
    dialog->setFileOpener([](const QString&) { QFAIL("no file should be opened"); });
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
  }

  void cleanup() {
    dialog.reset();
    ui::setMessageBoxHook({});
    work.reset();
  }

  void startState() {
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Sundrel v2.0"));
    QCOMPARE(control<QComboBox>(dialog.get(), ids::SizePreset)->currentText(),
             QStringLiteral("100K"));
    QCOMPARE(sizeEdit()->text(), QStringLiteral("102400"));
    QVERIFY(control<QRadioButton>(dialog.get(), ids::OriginalDirectory)->isChecked());
    QVERIFY(!dialog->isBusy());
    QCOMPARE(disabledIds(*dialog), sorted({ids::BeginSplit, ids::Browse, ids::Delete, ids::SizeEdit,
                                           ids::Clear, ids::FolderEdit}));
    // Fixed size, a minimise box but no maximise box.
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!dialog->windowIcon().isNull());
  }

  // Every control keeps its numeric identifier as its object name, and a
  // descriptive name beside it.
  void controlsByNumberAndByName() {
    const std::map<const char*, int> names{{"addDirectory", 1001},
                                           {"add", 1002},
                                           {"delete", 1003},
                                           {"clear", 1004},
                                           {"sizePreset", 1005},
                                           {"folderEdit", 1008},
                                           {"browse", 1009},
                                           {"beginSplit", 1010},
                                           {"options", 1011},
                                           {"exit", 1012},
                                           {"about", 1013},
                                           {"listLabel", 1017},
                                           {"sizeLabel", 1018},
                                           {"outputGroup", 1020},
                                           {"sizeEdit", 1052},
                                           {"originalDirectory", 1060},
                                           {"alternativeDirectory", 1061},
                                           {"fileList", 1063},
                                           {"progress", 1072}};
    for (const auto& [name, id] : names) {
      QWidget* byNumber = dialog->findChild<QWidget*>(QString::number(id));
      QVERIFY2(byNumber, name);
      QCOMPARE(test::named(dialog.get(), name), byNumber);
      QCOMPARE(dialog->control(name), byNumber);
    }
  }

  void presetsAndCustomLimit() {
    // "1000K" is 1024000 bytes, not 1048576.
    const QStringList bytes{"102400",  "524288",  "1024000", "2048000",
                            "1048576", "2097152", "3145728", "5242880"};
    for (int index : {7, 0, 1, 2, 3, 4, 5, 6}) {
      choosePreset(*dialog, index);
      QCOMPARE(sizeEdit()->text(), bytes[index]);
      QCOMPARE(QString::number(dialog->currentSizeLimit()), bytes[index]);
      QVERIFY(!sizeEdit()->isEnabled());
    }
    // "Custom" keeps the last number and lets the user type; a preset
    // chosen afterwards replaces the typed number.
    choosePreset(*dialog, ui::kCustomPreset);
    QCOMPARE(sizeEdit()->text(), QStringLiteral("3145728"));
    QVERIFY(sizeEdit()->isEnabled());
    sizeEdit()->setText(QStringLiteral("300000"));
    choosePreset(*dialog, 1);
    QVERIFY(!sizeEdit()->isEnabled());
    QCOMPARE(sizeEdit()->text(), QStringLiteral("524288"));
    // The mail limits follow "Custom": 25 MB of mail holds 18221337 bytes of PDF.
    auto* combo = control<QComboBox>(dialog.get(), ids::SizePreset);
    QCOMPARE(combo->itemText(ui::kCustomPreset + 3), QStringLiteral("E-mail 25 MB"));
    choosePreset(*dialog, ui::kCustomPreset + 3);
    QCOMPARE(sizeEdit()->text(), QStringLiteral("18221338"));
    QVERIFY(!sizeEdit()->isEnabled());
  }

  void browseChoosesTheOutputFolder() {
    std::optional<QString> answer;
    dialog->setFolderChooser([&](QWidget*, const QString&) { return answer; });
    auto* folderEdit = control<QLineEdit>(dialog.get(), ids::FolderEdit);
    click(ids::AlternativeDirectory);
    QVERIFY(enabled(ids::Browse) && enabled(ids::FolderEdit));

    // Cancelled: nothing changes.
    const auto before = disabledIds(*dialog);
    click(ids::Browse);
    QVERIFY(dialog->outputFolderPath().isEmpty());
    QVERIFY(folderEdit->text().isEmpty());
    QCOMPARE(disabledIds(*dialog), before);

    answer = work->path();
    click(ids::Browse);
    QCOMPARE(folderEdit->text(), work->path());
    // The folder survives a trip to "Original directory" and back.
    click(ids::OriginalDirectory);
    QVERIFY(!enabled(ids::Browse) && !enabled(ids::FolderEdit));
    click(ids::AlternativeDirectory);
    QCOMPARE(folderEdit->text(), work->path());
    QVERIFY(!dialog->originalDirectorySelected());
    QCOMPARE(dialog->outputFolder(), work->path().toStdString());

    // The edit only shows the folder; what a run uses comes from Browse.
    QVERIFY(folderEdit->isReadOnly());
    folderEdit->setText(QStringLiteral("/somewhere/else"));
    QCOMPARE(dialog->outputFolder(), work->path().toStdString());
  }

  void beginSplitThenCancelStartsNothing() {
    addRows(1);
    int runs = 0;
    dialog->setSplitRunner([&](engine::SplitHost&, settings::SplitSettings&) { ++runs; });
    const auto before = disabledIds(*dialog);
    auto answered = answerOptions(false);
    click(ids::BeginSplit);
    QVERIFY(*answered);
    QCOMPARE(runs, 0);
    QVERIFY(!dialog->isBusy());
    QCOMPARE(disabledIds(*dialog), before);
  }

  void controlStatesDuringAndAfterRun() {
    addRows(3);
    click(ids::AlternativeDirectory);
    dialog->setFolderChooser([this](QWidget*, const QString&) { return work->path(); });
    click(ids::Browse);
    choosePreset(*dialog, ui::kCustomPreset);
    list()->selectRow(1);
    const auto idle = disabledIds(*dialog);
    QCOMPARE(idle, QList<int>());

    const QString dropped = makePdf(QStringLiteral("dropped.pdf"));
    bool ran = false;
    dialog->setSplitRunner([&](engine::SplitHost& host, settings::SplitSettings&) {
      ran = true;
      QVERIFY(dialog->isBusy());
      QCOMPARE(disabledIds(*dialog), disabledWhileBusy());
      // Handlers run re-entrantly during a run; they keep the busy states.
      host.setProgressRange(0, 4);
      host.setProgressPos(2);
      dialog->updateControlStates();
      QCOMPARE(disabledIds(*dialog), disabledWhileBusy());

      // The Delete key is ignored while busy; dropping still appends.
      list()->setFocus();
      QTest::keyClick(list(), Qt::Key_Delete);
      QCOMPARE(list()->rowCount(), 3);
      sendDrop(dialog.get(), {QUrl::fromLocalFile(dropped)});
      QCOMPARE(host.rowCount(), 4);
      // Enter and Escape do nothing, also during a run.
      QTest::keyClick(list(), Qt::Key_Escape);
      QTest::keyClick(list(), Qt::Key_Return);
      QVERIFY(dialog->isVisible());
    });
    auto answered = answerOptions(true);
    click(ids::BeginSplit);
    QVERIFY(*answered && ran);
    QVERIFY(!dialog->isBusy());
    QCOMPARE(control<QProgressBar>(dialog.get(), ids::Progress)->value(), 0);
    QCOMPARE(disabledIds(*dialog), idle);
    QCOMPARE(columnTexts(list(), 0).last(), dropped);
  }

  void unsavableOptionsAreReportedOnce() {
    test::writeFile(work->filePath(QStringLiteral("plain")), "x");
    qputenv("XDG_CONFIG_HOME", work->filePath(QStringLiteral("plain/config")).toLocal8Bit());
    auto restore =
        qScopeGuard([this] { qputenv("XDG_CONFIG_HOME", programDir.path().toLocal8Bit()); });
    for (int i = 0; i < 2; ++i) {
      auto answered = answerOptions(true);
      click(ids::Options);
      QVERIFY(*answered);
    }
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].icon, ui::MessageIcon::Warning);
    QVERIFY2(messages[0].text.contains(work->filePath(QStringLiteral("plain/config"))),
             qPrintable(messages[0].text));
  }

  void alternativeWithoutFolderAsksForOne() {
    addRows(1);
    click(ids::AlternativeDirectory);
    std::optional<QString> answer;
    int asked = 0;
    dialog->setFolderChooser([&](QWidget*, const QString&) {
      ++asked;
      return answer;
    });
    QStringList runFolders;
    dialog->setSplitRunner([&](engine::SplitHost& host, settings::SplitSettings& run) {
      runFolders << QString::fromStdString(host.outputFolder());
      QCOMPARE(run.outputFolder, host.outputFolder());
      QCOMPARE(run.outputMode, settings::OutputMode::AlternativeDirectory);
    });
    // Cancelled: neither the Options dialog nor a run.
    dialog->onBeginSplit();
    QCOMPARE(asked, 1);
    QVERIFY(runFolders.isEmpty() && !dialog->isBusy());

    answer = work->path();
    for (int run = 1; run <= 2; ++run) { // once chosen, Begin Split asks no more
      auto answered = answerOptions(true);
      dialog->onBeginSplit();
      QVERIFY(*answered);
      QCOMPARE(asked, 2);
      QCOMPARE(runFolders, QStringList(run, work->path()));
    }
  }

  void closeDuringRunWaitsForTheRun() {
    addRows(1);
    bool finished = false;
    dialog->setSplitRunner([&](engine::SplitHost& host, settings::SplitSettings&) {
      click(ids::Exit);
      dialog->close();
      host.pumpDialogMessages();
      QVERIFY(dialog->isVisible()); // the run goes on in a visible window
      finished = true;
    });
    auto answered = answerOptions(true);
    click(ids::BeginSplit);
    QVERIFY(*answered && finished);
    QVERIFY(!dialog->isVisible()); // closed once the run returned
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
  }

  void onlyExitAndTheCloseBoxClose() {
    addRows(1);
    choosePreset(*dialog, ui::kCustomPreset);
    for (int id : {ids::FileList, ids::SizePreset, ids::SizeEdit, 0}) {
      QWidget* focus = id ? dialog->control(id) : dialog.get();
      focus->setFocus();
      for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(focus, Qt::Key(key));
      QVERIFY2(dialog->isVisible(), qPrintable(QString::number(id)));
    }
    QCOMPARE(list()->rowCount(), 1);

    click(ids::Exit);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    QVERIFY(dialog->close());
    QVERIFY(!dialog->isVisible());
  }

  void typedCustomLimitIsUsedByTheRun() {
    // A listed 2 KB file under a 300000-byte limit gets the skip message from
    // the real split driver: it read the typed number.
    const QString small = makePdf(QStringLiteral("small.pdf"), 2048);
    dialog->addFileRow(small, 0);
    choosePreset(*dialog, ui::kCustomPreset);
    sizeEdit()->setText(QStringLiteral("300000"));
    bool busyDuringMessage = false;
    ui::setMessageBoxHook([&](const ui::MessageRequest& request) {
      messages << request;
      busyDuringMessage = busyDuringMessage || dialog->isBusy();
      return QMessageBox::Ok;
    });
    auto answered = answerOptions(true);
    click(ids::BeginSplit);
    QVERIFY(*answered);
    QCOMPARE(messages.size(), 2); // the skip, then the end of the run
    QCOMPARE(messages[1].text, QStringLiteral("No parts were written."));
    QCOMPARE(messages[0].text,
             QStringLiteral("\"%1\" is too small, we will skip this PDF file.").arg(small));
    QCOMPARE(messages[0].caption, ui::applicationName());
    QCOMPARE(messages[0].icon, ui::MessageIcon::None);
    QCOMPARE(messages[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(busyDuringMessage);
    QCOMPARE(dialog->currentSizeLimit(), 300000u);
  }

  void deleteAndClear() {
    addRows(5);
    QVERIFY(!enabled(ids::Delete));
    selectRows(list(), {0, 2, 3});
    click(ids::Delete);
    QCOMPARE(columnTexts(list(), 0),
             QStringList({work->filePath("2.pdf"), work->filePath("5.pdf")}));
    QVERIFY(!enabled(ids::Delete) && enabled(ids::Clear));

    // The Delete key removes the selection too.
    list()->setFocus();
    list()->selectRow(0);
    QTest::keyClick(list(), Qt::Key_Delete);
    QCOMPARE(columnTexts(list(), 0), QStringList({work->filePath("5.pdf")}));
    // The last row gone, nothing is left to split, delete or clear.
    list()->selectRow(0);
    dialog->onDelete();
    for (int id : {ids::BeginSplit, ids::Delete, ids::Clear})
      QVERIFY2(!enabled(id), qPrintable(QString::number(id)));

    addRows(2);
    click(ids::Clear);
    QCOMPARE(list()->rowCount(), 0);
    QVERIFY(!enabled(ids::Clear) && !enabled(ids::BeginSplit));
  }

  void addAppendsEveryChosenFile() {
    const auto before = disabledIds(*dialog);
    dialog->setFilesChooser([](QWidget*) { return std::optional<QStringList>(); });
    dialog->setFolderChooser([](QWidget*, const QString&) { return std::optional<QString>(); });
    click(ids::Add);
    click(ids::AddDirectory);
    QCOMPARE(list()->rowCount(), 0);
    QCOMPARE(disabledIds(*dialog), before);

    // No extension test here, no duplicate check, appended in order.
    const QString first = makePdf(QStringLiteral("first.pdf"));
    const QString a = makePdf(QStringLiteral("a.pdf"));
    const QString notes = makePdf(QStringLiteral("notes.txt"), 10);
    dialog->addFileRow(first, 0);
    dialog->setFilesChooser([&](QWidget*) { return std::optional(QStringList{a, notes, a}); });
    click(ids::Add);
    QCOMPARE(columnTexts(list(), 0), QStringList({first, a, notes, a}));
    QCOMPARE(columnTexts(list(), 1), QStringList(4, QStringLiteral("None")));
    QVERIFY(enabled(ids::BeginSplit));
  }

  void addDirectoryPutsPdfsOnTop() {
    const QString a = makePdf(QStringLiteral("A.pdf"));
    const QString b = makePdf(QStringLiteral("B.pdf"));
    dialog->addFileRow(a, 0);
    dialog->addFileRow(b, 1);
    QDir folder(work->path());
    QVERIFY(folder.mkpath(QStringLiteral("batch/sub")));
    QVERIFY(folder.mkpath(QStringLiteral("batch/folder.pdf"))); // a folder is never listed
    QVERIFY(folder.cd(QStringLiteral("batch")));
    // "scanpdf": no dot needed; sub/z.pdf: one level only.
    for (const char* name : {"y.PDF", "x.pdf", "readme.txt", "scanpdf", "sub/z.pdf"})
      test::writeFile(folder.filePath(QLatin1String(name)), "%PDF");
    dialog->setFolderChooser(
        [&](QWidget*, const QString&) { return std::optional(folder.path() + QLatin1Char('/')); });
    click(ids::AddDirectory);
    QCOMPARE(columnTexts(list(), 0),
             QStringList({folder.filePath("scanpdf"), folder.filePath("x.pdf"),
                          folder.filePath("y.PDF"), a, b}));
  }

  void dropAppendsOnlyPdfs() {
    const QString first = makePdf(QStringLiteral("first.pdf"));
    dialog->addFileRow(first, 0);
    const QString a = makePdf(QStringLiteral("a.pdf"));
    const QString c = makePdf(QStringLiteral("c.Pdf"));
    QVERIFY(QDir(work->path()).mkdir(QStringLiteral("d.pdf")));
    sendDrop(dialog.get(),
             {QUrl::fromLocalFile(a), QUrl::fromLocalFile(makePdf(QStringLiteral("b.txt"))),
              QUrl::fromLocalFile(c), QUrl::fromLocalFile(work->filePath("d.pdf")),
              QUrl(QStringLiteral("https://example.org/remote.pdf"))});
    QCOMPARE(columnTexts(list(), 0), QStringList({first, a, c}));
    QVERIFY(enabled(ids::Clear));
  }

  void sizeTexts_data() {
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << qint64(0) << "0KB";
    QTest::newRow("1023 bytes") << qint64(1023) << "0KB";
    QTest::newRow("1536 bytes") << qint64(1536) << "1KB";
    QTest::newRow("5000000 bytes") << qint64(5000000) << "4882KB";
    QTest::newRow("above 4 GiB keeps every bit") << qint64(5) * 1024 * 1024 * 1024 << "5242880KB";
  }

  void sizeTexts() {
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(ui::formatSizeText(bytes), text);
    if (bytes > 100000000)
      return; // no 5 GiB file on disk
    const QString path = makePdf(QStringLiteral("sized.pdf"), bytes);
    dialog->addFileRow(path, 0);
    QCOMPARE(list()->item(0, 2)->text(), text);
    QCOMPARE(dialog->rowSizeText(0), text.toStdString());
    QCOMPARE(dialog->rowPath(0), path.toStdString());
  }

  void modifiedTimeIsUtc() {
    const QString path = makePdf(QStringLiteral("dated.pdf"));
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::ReadWrite));
      QVERIFY(file.setFileTime(QDateTime(QDate(2010, 3, 4), QTime(5, 6, 7), Qt::UTC),
                               QFileDevice::FileModificationTime));
    }
    test::ScopedEnv zone("TZ", "Asia/Kolkata");
    dialog->addFileRow(path, 0);
    QCOMPARE(list()->item(0, 3)->text(), QStringLiteral("2010/03/04 05:06:07"));
  }

  void doubleClickOpensSelectedFiles() {
    QStringList opened;
    dialog->setFileOpener([&](const QString& path) { opened << path; });
    addRows(4);
    dialog->onListDoubleClick();
    QVERIFY(opened.isEmpty()); // nothing selected
    selectRows(list(), {3, 1});
    dialog->onListDoubleClick();
    QCOMPARE(opened, QStringList({work->filePath("2.pdf"), work->filePath("4.pdf")}));
  }

  void headerClickNeitherSortsNorSelects() {
    const QString b = makePdf(QStringLiteral("b.pdf"));
    const QString a = makePdf(QStringLiteral("a.pdf"));
    dialog->addFileRow(b, 0);
    dialog->addFileRow(a, 1);
    QHeaderView* header = list()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    QCOMPARE(columnTexts(list(), 0), QStringList({b, a}));
    QCOMPARE(list()->selectionModel()->selectedRows().size(), 0);
    QCOMPARE(list()->editTriggers(), QAbstractItemView::NoEditTriggers);
  }

  void accessibleNames() {
    // Buttons and radios under their captions; the other controls under
    // their labels.
    const std::map<int, QString> names{{ids::AddDirectory, "Add Directory"},
                                       {ids::Add, "Add"},
                                       {ids::Delete, "Delete"},
                                       {ids::Clear, "Clear"},
                                       {ids::BeginSplit, "Begin Split"},
                                       {ids::Options, "Options..."},
                                       {ids::Exit, "Exit"},
                                       {ids::About, "About"},
                                       {ids::Browse, "Browse"},
                                       {ids::OriginalDirectory, "Original directory"},
                                       {ids::AlternativeDirectory, "Alternative directory"},
                                       {ids::SizeEdit, {}},
                                       {ids::FolderEdit, {}},
                                       {ids::SizePreset, {}},
                                       {ids::FileList, {}},
                                       {ids::Progress, {}}};
    for (const auto& [id, name] : names) {
      QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(dialog->control(id));
      QVERIFY(iface);
      const QString spoken = iface->text(QAccessible::Name);
      QVERIFY2(name.isEmpty() ? !spoken.isEmpty() : spoken == name, qPrintable(spoken));
    }
    dialog->addFileRow(makePdf(QStringLiteral("a.pdf")), 0);
    QAccessibleTableInterface* cells =
        QAccessible::queryAccessibleInterface(list())->tableInterface();
    QVERIFY(cells);
    QCOMPARE(cells->columnDescription(2), QStringLiteral("Size"));
    QCOMPARE(cells->cellAt(0, 1)->text(QAccessible::Name), QStringLiteral("None"));
  }

  void endToEndSplit() {
    const QString engine = builtEngine();
    if (engine.isEmpty())
      QSKIP("the engine is not built");
    // The program directory holds the engine and a fresh settings file.
    QTemporaryDir program;
    QVERIFY(QFile::link(engine, program.filePath(QStringLiteral("tovix.dll"))));
    auto restore = useProgramDirectory(program);
    // Eight pages of about 20 KB each: two parts or more at 100K.
    const QString copy = work->filePath(QStringLiteral("report.pdf"));
    test::writePdf(copy.toStdString(), test::PdfShape{}.withPages(8).withPageImages(20000));
    const int pages = bridge::getPageCount(copy.toStdString());
    QVERIFY(pages > 0);

    dialog->setSplitRunner(engine::runSplit);
    dialog->setFilesChooser([&](QWidget*) { return std::optional(QStringList{copy}); });
    click(ids::Add);
    choosePreset(*dialog, 0); // 100K
    auto answered = answerOptions(true);
    click(ids::BeginSplit);
    QVERIFY(*answered && !dialog->isBusy());
    // One message ends the run: parts, files, folder, and Open Folder.
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].text.startsWith(QStringLiteral("Split 1 file. ")) &&
                 messages[0].text.endsWith(
                     QStringLiteral("parts were written to \"%1\".").arg(work->path())),
             qPrintable(messages[0].text));
    QCOMPARE(messages[0].openText, QStringLiteral("Open Folder"));
    QVERIFY(messages[0].buttons.testFlag(QMessageBox::Open));

    const QStringList parts =
        QDir(work->path()).entryList({"report part *.pdf"}, QDir::Files, QDir::Name);
    QVERIFY2(parts.size() >= 2, qPrintable(parts.join(QLatin1Char(','))));
    QCOMPARE(parts.first(), QStringLiteral("report part 0001.pdf"));
    int pageSum = 0;
    for (const QString& part : parts) {
      const QString path = work->filePath(part);
      const int partPages = bridge::getPageCount(path.toStdString());
      QVERIFY2(partPages > 0, qPrintable(part));
      QVERIFY2(partPages == 1 || QFileInfo(path).size() < 102400, qPrintable(part));
      pageSum += partPages;
    }
    QCOMPARE(pageSum, pages);
    QCOMPARE(columnTexts(list(), 0), QStringList({copy})); // the list is unchanged by a run
  }
  void stopEndsTheRunWithWholePartsOnly_data() {
    QTest::addColumn<bool>("byClick");
    QTest::newRow("accessibility") << false;
    QTest::newRow("click") << true;
  }
  // Stop, pressed through the accessibility interface or clicked once the
  // first part is there, ends the real run within a second: whole parts only,
  // no hidden engine file, the status shown while it ran, the end message says so.
  void stopEndsTheRunWithWholePartsOnly() {
    QFETCH(bool, byClick);
    const QString engine = builtEngine();
    if (engine.isEmpty())
      QSKIP("the engine is not built");
    QTemporaryDir program;
    QVERIFY(QFile::link(engine, program.filePath(QStringLiteral("tovix.dll"))));
    auto restore = useProgramDirectory(program);
    const QString copy = work->filePath(QStringLiteral("long.pdf"));
    test::writePdf(copy.toStdString(), test::PdfShape{}.withPages(400).withPageImages(20000));
    dialog->setSplitRunner(engine::runSplit);
    dialog->addFileRow(copy, 0);
    dialog->addFileRow(makePdf(QStringLiteral("later.pdf"), 300000), 1);
    choosePreset(*dialog, 0); // 100K

    QElapsedTimer sinceStop;
    QString status;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      if (sinceStop.isValid() || QDir(work->path()).entryList({"long part *.pdf"}).isEmpty())
        return;
      status = dialog->findChild<QLabel*>(QStringLiteral("runStatus"))->text();
      auto* stop = control<QPushButton>(dialog.get(), ids::BeginSplit);
      QCOMPARE(stop->accessibleName(), QStringLiteral("Stop"));
      sinceStop.start();
      if (byClick)
        QTest::mouseClick(stop, Qt::LeftButton);
      else
        QAccessible::queryAccessibleInterface(stop)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
    });
    poll.start(20);
    auto answered = answerOptions(true);
    click(ids::BeginSplit);
    const qint64 stopMs = sinceStop.isValid() ? sinceStop.elapsed() : -1;
    QVERIFY(*answered && !dialog->isBusy());
    QVERIFY2(stopMs >= 0 && stopMs < 1000, qPrintable(QString::number(stopMs)));
    QVERIFY2(status.startsWith(QStringLiteral("1 of 2: long.pdf \u2013 page ")),
             qPrintable(status));
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].text.contains(
                 QStringLiteral("The run was stopped; 2 files were not finished:")),
             qPrintable(messages[0].text));
    // Every part on disk is whole, and the engine left nothing hidden.
    QDir folder(work->path());
    QCOMPARE(folder.entryList({".tovix-*"}, QDir::Files | QDir::Hidden), QStringList());
    for (const QString& part : folder.entryList({"long part *.pdf"}, QDir::Files)) {
      QProcess check;
      check.start(QStringLiteral("qpdf"), {QStringLiteral("--check"), folder.filePath(part)});
      QVERIFY(check.waitForFinished(30000));
      QVERIFY2(check.exitCode() == 0, qPrintable(part));
    }
    QCOMPARE(folder.entryList({"later part *.pdf"}), QStringList());
  }
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
