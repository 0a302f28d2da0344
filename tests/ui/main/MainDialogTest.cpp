// The main window: start-up state, size presets, the output-directory choice,
// Begin Split with the Options dialog, control states during and after a run,
// and the file list's commands.

#include "ui/main/MainDialog.h"
#include "bridge/EngineRunner.h"
#include "engine/SplitEngine.h"
#include "tests/ui/TestModal.h"
#include "ui/main/FileListText.h"
#include "ui/main/MessageBox.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <map>

using namespace sundrel;
using ui::MainDialog;
namespace ids = ui::ids;

namespace {

void writeFile(const QString& path, qint64 size) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  QVERIFY(file.resize(size));
}

QStringList columnTexts(QTableWidget* list, int column) {
  QStringList texts;
  for (int row = 0; row < list->rowCount(); ++row)
    texts << list->item(row, column)->text();
  return texts;
}

// Every control whose enabled state the dialog decides, with its state.
std::map<int, bool> enabledStates(MainDialog& dialog) {
  std::map<int, bool> states;
  for (int id :
       {ids::BeginSplit, ids::Browse, ids::OriginalDirectory, ids::AlternativeDirectory,
        ids::AddDirectory, ids::Add, ids::Delete, ids::Options, ids::SizePreset, ids::SizeEdit,
        ids::Clear, ids::FolderEdit, ids::FileList, ids::Exit, ids::About, ids::Progress})
    states[id] = dialog.control(id)->isEnabled();
  return states;
}

void choosePreset(MainDialog& dialog, int index) {
  auto* combo = test::control<QComboBox>(&dialog, ids::SizePreset);
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

// Answers the Options dialog that Begin Split opens with OK or Cancel.
std::shared_ptr<bool> answerOptions(bool ok) {
  return test::onNextModal([ok](QWidget* options) {
    QTest::mouseClick(test::control<QPushButton>(options, ok ? 1025 : 1026), Qt::LeftButton);
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

private slots:
  void initTestCase();
  void init();
  void cleanup();

  void startState();
  void presetsSetTheEdit_data();
  void presetsSetTheEdit();
  void customKeepsNumberUntilPresetChosen();
  void browsedFolderSurvivesRadioChanges();
  void cancelledBrowseChangesNothing();
  void beginSplitThenCancelStartsNothing();
  void controlStatesDuringAndAfterRun();
  void alternativeWithoutFolderAsksForOne();
  void closeDuringRunWaitsForTheRun();
  void enterAndEscapeDoNotClose();
  void exitAndCloseBoxClose();
  void typedCustomLimitIsUsedByTheRun();
  void deleteSelectedRows();
  void deleteKeyRemovesSelectedRows();
  void deletingLastRowDisablesCommands();
  void addAppendsEveryChosenFile();
  void cancelledAddChangesNothing();
  void addDirectoryPutsPdfsOnTop();
  void dropAppendsOnlyPdfs();
  void sizeAndDateTexts_data();
  void sizeAndDateTexts();
  void modifiedTimeIsUtc();
  void doubleClickOpensSelectedFiles();
  void listPresentation();
  void accessibleNames();
  void endToEndSplit();

private:
  QTemporaryDir programDir;
  std::unique_ptr<QTemporaryDir> work;
  std::unique_ptr<MainDialog> dialog;
  QList<ui::MessageRequest> messages;

  QTableWidget* list() const { return test::control<QTableWidget>(dialog.get(), ids::FileList); }
  QString makePdf(const QString& name, qint64 size = 4096) {
    const QString path = work->filePath(name);
    writeFile(path, size);
    return path;
  }
};

void MainDialogTest::initTestCase() {
  // A fresh settings file for the Options dialog, never the build's own.
  QVERIFY(programDir.isValid());
  bridge::setProgramDirectory(programDir.path().toStdString());
}

void MainDialogTest::init() {
  work = std::make_unique<QTemporaryDir>();
  QVERIFY(work->isValid());
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

void MainDialogTest::cleanup() {
  dialog.reset();
  ui::setMessageBoxHook({});
  work.reset();
}

void MainDialogTest::startState() {
  QCOMPARE(dialog->windowTitle(), QStringLiteral("Sundrel v2.0"));
  QCOMPARE(test::control<QComboBox>(dialog.get(), ids::SizePreset)->currentText(),
           QStringLiteral("100K"));
  QCOMPARE(test::control<QLineEdit>(dialog.get(), ids::SizeEdit)->text(), QStringLiteral("102400"));
  QCOMPARE(dialog->currentSizeLimit(), 102400u);
  QVERIFY(test::control<QRadioButton>(dialog.get(), ids::OriginalDirectory)->isChecked());
  QVERIFY(!test::control<QRadioButton>(dialog.get(), ids::AlternativeDirectory)->isChecked());
  QCOMPARE(test::control<QProgressBar>(dialog.get(), ids::Progress)->value(), 0);
  QVERIFY(!dialog->isBusy());
  QVERIFY(dialog->outputFolderPath().isEmpty());

  const std::map<int, bool> expected{{ids::BeginSplit, false},
                                     {ids::Browse, false},
                                     {ids::OriginalDirectory, true},
                                     {ids::AlternativeDirectory, true},
                                     {ids::AddDirectory, true},
                                     {ids::Add, true},
                                     {ids::Delete, false},
                                     {ids::Options, true},
                                     {ids::SizePreset, true},
                                     {ids::SizeEdit, false},
                                     {ids::Clear, false},
                                     {ids::FolderEdit, false},
                                     {ids::FileList, true},
                                     {ids::Exit, true},
                                     {ids::About, true},
                                     {ids::Progress, true}};
  QCOMPARE(enabledStates(*dialog), expected);

  // Fixed size, no maximise box.
  QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
  QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
  QVERIFY(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
  QVERIFY(!dialog->windowIcon().isNull());
}

void MainDialogTest::presetsSetTheEdit_data() {
  QTest::addColumn<int>("index");
  QTest::addColumn<QString>("text");
  QTest::newRow("100K") << 0 << "102400";
  QTest::newRow("512K") << 1 << "524288";
  QTest::newRow("1000K is 1024000, not 1048576") << 2 << "1024000";
  QTest::newRow("2000K") << 3 << "2048000";
  QTest::newRow("1M") << 4 << "1048576";
  QTest::newRow("2M") << 5 << "2097152";
  QTest::newRow("3M") << 6 << "3145728";
  QTest::newRow("5M") << 7 << "5242880";
}

void MainDialogTest::presetsSetTheEdit() {
  QFETCH(int, index);
  QFETCH(QString, text);
  // From another preset, so the edit really changes.
  choosePreset(*dialog, index == 7 ? 0 : 7);
  choosePreset(*dialog, index);
  auto* edit = test::control<QLineEdit>(dialog.get(), ids::SizeEdit);
  QCOMPARE(edit->text(), text);
  QCOMPARE(QString::number(dialog->currentSizeLimit()), text);
  QVERIFY(!edit->isEnabled());
}

void MainDialogTest::customKeepsNumberUntilPresetChosen() {
  auto* edit = test::control<QLineEdit>(dialog.get(), ids::SizeEdit);
  choosePreset(*dialog, 4);
  choosePreset(*dialog, ui::kCustomPreset);
  QCOMPARE(edit->text(), QStringLiteral("1048576"));
  QVERIFY(edit->isEnabled());

  edit->setText(QStringLiteral("300000"));
  choosePreset(*dialog, 1);
  QVERIFY(!edit->isEnabled());
  QCOMPARE(edit->text(), QStringLiteral("524288"));
}

void MainDialogTest::browsedFolderSurvivesRadioChanges() {
  const QString folder = work->path();
  dialog->setFolderChooser([&](QWidget*, const QString&) { return std::optional(folder); });
  auto* original = test::control<QRadioButton>(dialog.get(), ids::OriginalDirectory);
  auto* alternative = test::control<QRadioButton>(dialog.get(), ids::AlternativeDirectory);
  auto* folderEdit = test::control<QLineEdit>(dialog.get(), ids::FolderEdit);
  auto* browse = test::control<QPushButton>(dialog.get(), ids::Browse);

  QTest::mouseClick(alternative, Qt::LeftButton);
  QVERIFY(browse->isEnabled());
  QVERIFY(folderEdit->isEnabled());
  QTest::mouseClick(browse, Qt::LeftButton);
  QCOMPARE(folderEdit->text(), folder);
  QCOMPARE(dialog->outputFolderPath(), folder);

  QTest::mouseClick(original, Qt::LeftButton);
  QVERIFY(!browse->isEnabled());
  QVERIFY(!folderEdit->isEnabled());
  QTest::mouseClick(alternative, Qt::LeftButton);
  QCOMPARE(folderEdit->text(), folder);
  QCOMPARE(dialog->outputFolderPath(), folder);
  QVERIFY(!dialog->originalDirectorySelected());
  QCOMPARE(dialog->outputFolder(), folder.toStdString());

  // The edit only shows the folder; what a run uses comes from Browse.
  QVERIFY(folderEdit->isReadOnly());
  folderEdit->setText(QStringLiteral("/somewhere/else"));
  QCOMPARE(dialog->outputFolder(), folder.toStdString());
}

void MainDialogTest::cancelledBrowseChangesNothing() {
  dialog->setFolderChooser([](QWidget*, const QString&) { return std::optional<QString>(); });
  QTest::mouseClick(test::control(dialog.get(), ids::AlternativeDirectory), Qt::LeftButton);
  const auto before = enabledStates(*dialog);
  dialog->onBrowse();
  QVERIFY(dialog->outputFolderPath().isEmpty());
  QVERIFY(test::control<QLineEdit>(dialog.get(), ids::FolderEdit)->text().isEmpty());
  QCOMPARE(enabledStates(*dialog), before);
}

void MainDialogTest::beginSplitThenCancelStartsNothing() {
  dialog->addFileRow(makePdf(QStringLiteral("a.pdf")), 0);
  dialog->updateControlStates();
  int runs = 0;
  dialog->setSplitRunner([&](engine::SplitHost&, settings::SplitSettings&) { ++runs; });
  const auto before = enabledStates(*dialog);

  auto answered = answerOptions(false);
  QTest::mouseClick(test::control(dialog.get(), ids::BeginSplit), Qt::LeftButton);
  QVERIFY(*answered);
  QCOMPARE(runs, 0);
  QVERIFY(!dialog->isBusy());
  QCOMPARE(enabledStates(*dialog), before);
}

void MainDialogTest::controlStatesDuringAndAfterRun() {
  for (const char* name : {"1.pdf", "2.pdf", "3.pdf"})
    dialog->addFileRow(makePdf(QLatin1String(name)), list()->rowCount());
  QTest::mouseClick(test::control(dialog.get(), ids::AlternativeDirectory), Qt::LeftButton);
  dialog->setFolderChooser(
      [this](QWidget*, const QString&) { return std::optional(work->path()); });
  dialog->onBrowse();
  choosePreset(*dialog, ui::kCustomPreset);
  list()->selectRow(1);
  const auto idle = enabledStates(*dialog);
  QVERIFY(idle.at(ids::Delete));
  QVERIFY(idle.at(ids::Browse));
  QVERIFY(idle.at(ids::SizeEdit));

  const QString dropped = makePdf(QStringLiteral("dropped.pdf"));
  bool ran = false;
  dialog->setSplitRunner([&](engine::SplitHost& host, settings::SplitSettings&) {
    ran = true;
    QVERIFY(dialog->isBusy());
    auto during = enabledStates(*dialog);
    const std::map<int, bool> expected{{ids::BeginSplit, false},
                                       {ids::Browse, false},
                                       {ids::OriginalDirectory, false},
                                       {ids::AlternativeDirectory, false},
                                       {ids::AddDirectory, false},
                                       {ids::Add, false},
                                       {ids::Delete, false},
                                       {ids::Options, false},
                                       {ids::SizePreset, false},
                                       {ids::SizeEdit, false},
                                       {ids::Clear, false},
                                       {ids::FolderEdit, false},
                                       {ids::FileList, true},
                                       {ids::Exit, true},
                                       {ids::About, true},
                                       {ids::Progress, true}};
    QCOMPARE(during, expected);

    // Handlers run re-entrantly during a run; they keep the busy states.
    host.setProgressRange(0, 4);
    host.setProgressPos(2);
    dialog->updateControlStates();
    QCOMPARE(enabledStates(*dialog), expected);

    // The Delete key is ignored while busy; dropping still appends.
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Delete);
    QCOMPARE(list()->rowCount(), 3);
    sendDrop(dialog.get(), {QUrl::fromLocalFile(dropped)});
    QCOMPARE(list()->rowCount(), 4);
    QCOMPARE(host.rowCount(), 4);

    // Enter and Escape do nothing, also during a run.
    QTest::keyClick(list(), Qt::Key_Escape);
    QTest::keyClick(list(), Qt::Key_Return);
    QVERIFY(dialog->isVisible());
    host.setProgressPos(5);
  });

  auto answered = answerOptions(true);
  QTest::mouseClick(test::control(dialog.get(), ids::BeginSplit), Qt::LeftButton);
  QVERIFY(*answered);
  QVERIFY(ran);
  QVERIFY(!dialog->isBusy());
  QCOMPARE(test::control<QProgressBar>(dialog.get(), ids::Progress)->value(), 0);
  QCOMPARE(enabledStates(*dialog), idle);
  QCOMPARE(columnTexts(list(), 0).last(), dropped);
}

void MainDialogTest::alternativeWithoutFolderAsksForOne() {
  dialog->addFileRow(makePdf(QStringLiteral("a.pdf")), 0);
  QTest::mouseClick(test::control(dialog.get(), ids::AlternativeDirectory), Qt::LeftButton);
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
  QVERIFY(runFolders.isEmpty());
  QVERIFY(!dialog->isBusy());

  answer = work->path();
  auto answered = answerOptions(true);
  dialog->onBeginSplit();
  QVERIFY(*answered);
  QCOMPARE(asked, 2);
  QCOMPARE(runFolders, QStringList({work->path()}));

  // Once chosen, Begin Split asks no more.
  answered = answerOptions(true);
  dialog->onBeginSplit();
  QVERIFY(*answered);
  QCOMPARE(asked, 2);
  QCOMPARE(runFolders.size(), 2);
}

void MainDialogTest::closeDuringRunWaitsForTheRun() {
  dialog->addFileRow(makePdf(QStringLiteral("a.pdf")), 0);
  dialog->updateControlStates();
  bool finished = false;
  dialog->setSplitRunner([&](engine::SplitHost& host, settings::SplitSettings&) {
    QTest::mouseClick(test::control(dialog.get(), ids::Exit), Qt::LeftButton);
    dialog->close();
    host.pumpDialogMessages();
    QVERIFY(dialog->isVisible()); // the run goes on in a visible window
    finished = true;
  });
  auto answered = answerOptions(true);
  QTest::mouseClick(test::control(dialog.get(), ids::BeginSplit), Qt::LeftButton);
  QVERIFY(*answered);
  QVERIFY(finished);
  QVERIFY(!dialog->isVisible()); // closed once the run returned
  QCOMPARE(dialog->result(), int(QDialog::Rejected));
}

void MainDialogTest::enterAndEscapeDoNotClose() {
  dialog->addFileRow(makePdf(QStringLiteral("a.pdf")), 0);
  for (QWidget* focus :
       {test::control(dialog.get(), ids::FileList), test::control(dialog.get(), ids::SizePreset),
        static_cast<QWidget*>(dialog.get())}) {
    focus->setFocus();
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
      QTest::keyClick(focus, Qt::Key(key));
    QVERIFY(dialog->isVisible());
  }
  // Enter on the size edit while "Custom" lets the user type.
  choosePreset(*dialog, ui::kCustomPreset);
  auto* edit = test::control<QLineEdit>(dialog.get(), ids::SizeEdit);
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClick(edit, Qt::Key_Escape);
  QVERIFY(dialog->isVisible());
  QCOMPARE(list()->rowCount(), 1);
}

void MainDialogTest::exitAndCloseBoxClose() {
  QTest::mouseClick(test::control(dialog.get(), ids::Exit), Qt::LeftButton);
  QVERIFY(!dialog->isVisible());
  QCOMPARE(dialog->result(), int(QDialog::Rejected));

  dialog->show();
  QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
  QVERIFY(dialog->close());
  QVERIFY(!dialog->isVisible());
}

void MainDialogTest::typedCustomLimitIsUsedByTheRun() {
  // A listed 1 KB file under a 300000-byte limit gets the skip message from
  // the real split driver: it read the typed number.
  const QString small = makePdf(QStringLiteral("small.pdf"), 2048);
  dialog->addFileRow(small, 0);
  choosePreset(*dialog, ui::kCustomPreset);
  test::control<QLineEdit>(dialog.get(), ids::SizeEdit)->setText(QStringLiteral("300000"));

  std::map<int, bool> statesDuringMessage;
  bool busyDuringMessage = false;
  ui::setMessageBoxHook([&](const ui::MessageRequest& request) {
    messages << request;
    busyDuringMessage = dialog->isBusy();
    statesDuringMessage = enabledStates(*dialog);
    return QMessageBox::Ok;
  });
  auto answered = answerOptions(true);
  QTest::mouseClick(test::control(dialog.get(), ids::BeginSplit), Qt::LeftButton);
  QVERIFY(*answered);

  QCOMPARE(messages.size(), 1);
  QCOMPARE(messages[0].text,
           QStringLiteral("\"%1\" is too small, we will skip this PDF file.").arg(small));
  QCOMPARE(messages[0].caption, ui::applicationName());
  QCOMPARE(messages[0].icon, ui::MessageIcon::None);
  QCOMPARE(messages[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QVERIFY(busyDuringMessage);
  QVERIFY(!statesDuringMessage.at(ids::BeginSplit));
  QVERIFY(statesDuringMessage.at(ids::FileList));
  QCOMPARE(dialog->currentSizeLimit(), 300000u);

  // A preset chosen afterwards replaces the typed number.
  choosePreset(*dialog, 0);
  QCOMPARE(test::control<QLineEdit>(dialog.get(), ids::SizeEdit)->text(), QStringLiteral("102400"));
}

void MainDialogTest::deleteSelectedRows() {
  for (int i = 1; i <= 5; ++i)
    dialog->addFileRow(makePdf(QStringLiteral("%1.pdf").arg(i)), list()->rowCount());
  dialog->updateControlStates();
  QVERIFY(!test::control(dialog.get(), ids::Delete)->isEnabled());
  for (int row : {0, 2, 3})
    list()->selectionModel()->select(list()->model()->index(row, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QVERIFY(test::control(dialog.get(), ids::Delete)->isEnabled());
  QTest::mouseClick(test::control(dialog.get(), ids::Delete), Qt::LeftButton);
  QCOMPARE(columnTexts(list(), 0), QStringList({work->filePath(QStringLiteral("2.pdf")),
                                                work->filePath(QStringLiteral("5.pdf"))}));
  QVERIFY(!test::control(dialog.get(), ids::Delete)->isEnabled());
  QVERIFY(test::control(dialog.get(), ids::Clear)->isEnabled());
}

void MainDialogTest::deleteKeyRemovesSelectedRows() {
  for (int i = 1; i <= 3; ++i)
    dialog->addFileRow(makePdf(QStringLiteral("%1.pdf").arg(i)), list()->rowCount());
  list()->setFocus();
  list()->selectRow(1);
  QTest::keyClick(list(), Qt::Key_Delete);
  QCOMPARE(list()->rowCount(), 2);
  QCOMPARE(list()->item(1, 0)->text(), work->filePath(QStringLiteral("3.pdf")));
}

void MainDialogTest::deletingLastRowDisablesCommands() {
  dialog->addFileRow(makePdf(QStringLiteral("only.pdf")), 0);
  dialog->updateControlStates();
  QVERIFY(test::control(dialog.get(), ids::BeginSplit)->isEnabled());
  list()->selectRow(0);
  dialog->onDelete();
  for (int id : {ids::BeginSplit, ids::Delete, ids::Clear})
    QVERIFY2(!test::control(dialog.get(), id)->isEnabled(), qPrintable(QString::number(id)));

  dialog->addFileRow(makePdf(QStringLiteral("x.pdf")), 0);
  dialog->addFileRow(makePdf(QStringLiteral("y.pdf")), 0);
  dialog->updateControlStates();
  QTest::mouseClick(test::control(dialog.get(), ids::Clear), Qt::LeftButton);
  QCOMPARE(list()->rowCount(), 0);
  QVERIFY(!test::control(dialog.get(), ids::Clear)->isEnabled());
  QVERIFY(!test::control(dialog.get(), ids::BeginSplit)->isEnabled());
}

void MainDialogTest::addAppendsEveryChosenFile() {
  const QString a = makePdf(QStringLiteral("a.pdf"));
  const QString notes = work->filePath(QStringLiteral("notes.txt"));
  writeFile(notes, 10);
  dialog->addFileRow(makePdf(QStringLiteral("first.pdf")), 0);
  dialog->setFilesChooser([&](QWidget*) { return std::optional(QStringList{a, notes, a}); });
  QTest::mouseClick(test::control(dialog.get(), ids::Add), Qt::LeftButton);
  // No extension test here, no duplicate check, appended in order.
  QCOMPARE(columnTexts(list(), 0),
           QStringList({work->filePath(QStringLiteral("first.pdf")), a, notes, a}));
  QVERIFY(test::control(dialog.get(), ids::BeginSplit)->isEnabled());
  QCOMPARE(columnTexts(list(), 1), QStringList(4, QStringLiteral("None")));
}

void MainDialogTest::cancelledAddChangesNothing() {
  dialog->setFilesChooser([](QWidget*) { return std::optional<QStringList>(); });
  dialog->setFolderChooser([](QWidget*, const QString&) { return std::optional<QString>(); });
  const auto before = enabledStates(*dialog);
  dialog->onAdd();
  dialog->onAddDirectory();
  QCOMPARE(list()->rowCount(), 0);
  QCOMPARE(enabledStates(*dialog), before);
}

void MainDialogTest::addDirectoryPutsPdfsOnTop() {
  const QString a = makePdf(QStringLiteral("A.pdf"));
  const QString b = makePdf(QStringLiteral("B.pdf"));
  dialog->addFileRow(a, 0);
  dialog->addFileRow(b, 1);

  QDir folder(work->path());
  QVERIFY(folder.mkdir(QStringLiteral("batch")));
  QVERIFY(folder.cd(QStringLiteral("batch")));
  writeFile(folder.filePath(QStringLiteral("y.PDF")), 100);
  writeFile(folder.filePath(QStringLiteral("x.pdf")), 100);
  writeFile(folder.filePath(QStringLiteral("readme.txt")), 100);
  writeFile(folder.filePath(QStringLiteral("scanpdf")), 100); // no dot needed
  QVERIFY(folder.mkdir(QStringLiteral("sub")));
  writeFile(folder.filePath(QStringLiteral("sub/z.pdf")), 100);
  QVERIFY(folder.mkdir(QStringLiteral("folder.pdf"))); // a folder is never listed

  dialog->setFolderChooser(
      [&](QWidget*, const QString&) { return std::optional(folder.path() + QLatin1Char('/')); });
  QTest::mouseClick(test::control(dialog.get(), ids::AddDirectory), Qt::LeftButton);
  QCOMPARE(columnTexts(list(), 0), QStringList({folder.filePath(QStringLiteral("scanpdf")),
                                                folder.filePath(QStringLiteral("x.pdf")),
                                                folder.filePath(QStringLiteral("y.PDF")), a, b}));
}

void MainDialogTest::dropAppendsOnlyPdfs() {
  const QString first = makePdf(QStringLiteral("first.pdf"));
  dialog->addFileRow(first, 0);
  const QString a = makePdf(QStringLiteral("a.pdf"));
  const QString b = work->filePath(QStringLiteral("b.txt"));
  writeFile(b, 10);
  const QString c = makePdf(QStringLiteral("c.Pdf"));
  QVERIFY(QDir(work->path()).mkdir(QStringLiteral("d.pdf")));
  sendDrop(dialog.get(), {QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(c),
                          QUrl::fromLocalFile(work->filePath(QStringLiteral("d.pdf"))),
                          QUrl(QStringLiteral("https://example.org/remote.pdf"))});
  QCOMPARE(columnTexts(list(), 0), QStringList({first, a, c}));
  QVERIFY(test::control(dialog.get(), ids::Clear)->isEnabled());
}

void MainDialogTest::sizeAndDateTexts_data() {
  QTest::addColumn<qint64>("bytes");
  QTest::addColumn<QString>("text");
  QTest::newRow("empty") << qint64(0) << "0KB";
  QTest::newRow("1023 bytes") << qint64(1023) << "0KB";
  QTest::newRow("1536 bytes") << qint64(1536) << "1KB";
  QTest::newRow("2048 bytes") << qint64(2048) << "2KB";
  QTest::newRow("5000000 bytes") << qint64(5000000) << "4882KB";
  QTest::newRow("above 4 GiB keeps every bit") << qint64(5) * 1024 * 1024 * 1024 << "5242880KB";
}

void MainDialogTest::sizeAndDateTexts() {
  QFETCH(qint64, bytes);
  QFETCH(QString, text);
  QCOMPARE(ui::formatSizeText(bytes), text);
  if (bytes > 100000000)
    return; // no need for a sparse 5 GiB file on disk
  const QString path = makePdf(QStringLiteral("sized.pdf"), bytes);
  dialog->addFileRow(path, 0);
  QCOMPARE(list()->item(0, 2)->text(), text);
  QCOMPARE(dialog->rowSizeText(0), text.toStdString());
  QCOMPARE(dialog->rowPath(0), path.toStdString());
}

void MainDialogTest::modifiedTimeIsUtc() {
  const QByteArray oldTz = qgetenv("TZ");
  qputenv("TZ", "Asia/Kolkata");
  tzset();
  const QString path = makePdf(QStringLiteral("dated.pdf"));
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime(QDate(2010, 3, 4), QTime(5, 6, 7), Qt::UTC),
                             QFileDevice::FileModificationTime));
  }
  dialog->addFileRow(path, 0);
  const QString shown = list()->item(0, 3)->text();
  if (oldTz.isNull())
    qunsetenv("TZ");
  else
    qputenv("TZ", oldTz);
  tzset();
  QCOMPARE(shown, QStringLiteral("2010/03/04 05:06:07"));
}

void MainDialogTest::doubleClickOpensSelectedFiles() {
  QStringList opened;
  dialog->setFileOpener([&](const QString& path) { opened << path; });
  QStringList paths;
  for (int i = 1; i <= 4; ++i) {
    paths << makePdf(QStringLiteral("%1.pdf").arg(i));
    dialog->addFileRow(paths.last(), list()->rowCount());
  }
  dialog->onListDoubleClick();
  QVERIFY(opened.isEmpty()); // nothing selected
  for (int row : {3, 1})
    list()->selectionModel()->select(list()->model()->index(row, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
  dialog->onListDoubleClick();
  QCOMPARE(opened, QStringList({paths[1], paths[3]}));
}

void MainDialogTest::listPresentation() {
  QTableWidget* table = list();
  QCOMPARE(table->columnCount(), 4);
  QCOMPARE(table->columnWidth(0), 250);
  QCOMPARE(table->selectionMode(), QAbstractItemView::ExtendedSelection);
  QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);

  // Clicking a header neither sorts nor selects; double-clicking a cell
  // edits nothing.
  const QString b = makePdf(QStringLiteral("b.pdf"));
  const QString a = makePdf(QStringLiteral("a.pdf"));
  dialog->addFileRow(b, 0);
  dialog->addFileRow(a, 1);
  QHeaderView* header = table->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
  QCOMPARE(columnTexts(table, 0), QStringList({b, a}));
  QCOMPARE(table->selectionModel()->selectedRows().size(), 0);
}

void MainDialogTest::accessibleNames() {
  const std::map<int, QString> names{
      {ids::AddDirectory, "Add Directory"},
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
  };
  for (const auto& [id, name] : names) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(dialog->control(id));
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), name);
  }
  // Edits, the combo, the list and the progress bar carry their labels' names.
  for (int id : {ids::SizeEdit, ids::FolderEdit, ids::SizePreset, ids::FileList, ids::Progress}) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(dialog->control(id));
    QVERIFY(iface);
    QVERIFY2(!iface->text(QAccessible::Name).isEmpty(), qPrintable(QString::number(id)));
  }

  dialog->addFileRow(makePdf(QStringLiteral("a.pdf")), 0);
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(list());
  QCOMPARE(table->role(), QAccessible::Table);
  QAccessibleTableInterface* cells = table->tableInterface();
  QVERIFY(cells);
  QCOMPARE(cells->columnCount(), 4);
  QCOMPARE(cells->rowCount(), 1);
  QCOMPARE(cells->columnDescription(2), QStringLiteral("Size"));
  QAccessibleInterface* cell = cells->cellAt(0, 1);
  QVERIFY(cell);
  QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("None"));
}

void MainDialogTest::endToEndSplit() {
  const QDir bin(qEnvironmentVariable("SUNDREL_BIN_DIR"));
  const QDir corpus(qEnvironmentVariable("SUNDREL_CORPUS_DIR"));
  const QString engine = bin.filePath(QStringLiteral("tovix.dll"));
  const QString source =
      corpus.filePath(QStringLiteral("pypdf__Seige_of_Vicksburg_Sample_OCR.pdf"));
  if (!QFileInfo::exists(engine) || !QFileInfo::exists(source))
    QSKIP("the engine or the corpus file is not there");

  // The program directory holds the engine and a fresh settings file.
  QTemporaryDir program;
  QVERIFY(QFile::link(engine, program.filePath(QStringLiteral("tovix.dll"))));
  bridge::setProgramDirectory(program.path().toStdString());
  auto restore =
      qScopeGuard([this] { bridge::setProgramDirectory(programDir.path().toStdString()); });

  const QString copy = work->filePath(QStringLiteral("vicksburg.pdf"));
  QVERIFY(QFile::copy(source, copy));
  const int pages = bridge::getPageCount(copy.toStdString());
  if (pages <= 0)
    QSKIP("the engine cannot split yet (no page count)");

  dialog->setSplitRunner(engine::runSplit);
  dialog->setFilesChooser([&](QWidget*) { return std::optional(QStringList{copy}); });
  QTest::mouseClick(test::control(dialog.get(), ids::Add), Qt::LeftButton);
  choosePreset(*dialog, 0); // 100K
  auto answered = answerOptions(true);
  QTest::mouseClick(test::control(dialog.get(), ids::BeginSplit), Qt::LeftButton);
  QVERIFY(*answered);
  QVERIFY(!dialog->isBusy());
  QVERIFY2(messages.isEmpty(), messages.isEmpty() ? "" : qPrintable(messages[0].text));

  const QStringList parts =
      QDir(work->path())
          .entryList({QStringLiteral("vicksburg part *.pdf")}, QDir::Files, QDir::Name);
  QVERIFY2(parts.size() >= 2, qPrintable(parts.join(QLatin1Char(','))));
  int pageSum = 0;
  for (const QString& part : parts) {
    const QString path = work->filePath(part);
    const int partPages = bridge::getPageCount(path.toStdString());
    QVERIFY2(partPages > 0, qPrintable(part));
    pageSum += partPages;
    QVERIFY2(partPages == 1 || QFileInfo(path).size() < 102400, qPrintable(part));
  }
  QCOMPARE(pageSum, pages);
  QCOMPARE(parts.first(), QStringLiteral("vicksburg part 0001.pdf"));
  // The list is unchanged by a run.
  QCOMPARE(columnTexts(list(), 0), QStringList({copy}));
}

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
