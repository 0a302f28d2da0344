#include "ui/main/MainDialog.h"

#include "bridge/EngineRunner.h"
#include "ui/main/AboutDialog.h"
#include "ui/main/FileList.h"
#include "ui/main/FileListText.h"
#include "ui/main/MessageBox.h"
#include "ui/main/PasswordColumn.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

Q_LOGGING_CATEGORY(lcEngine, "sundrel.engine", QtWarningMsg)

// The icons are compiled into this static library; its resources need an
// explicit start, outside any namespace.
static void initMainResources() {
  Q_INIT_RESOURCE(sundrel_main);
}

namespace sundrel::ui {

namespace {

constexpr const char* kCaption = "Sundrel v2.0";

std::optional<QStringList> chooseFilesWithDialog(QWidget* parent) {
  QFileDialog dialog(parent, MainDialog::tr("Add PDF Files"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilters({MainDialog::tr("All Supported Formats (*.pdf)"),
                         MainDialog::tr("PDF Files (*.pdf)"), MainDialog::tr("All Files (*)")});
  dialog.setDefaultSuffix(QStringLiteral("PDF"));
  if (dialog.exec() != QDialog::Accepted)
    return std::nullopt;
  return dialog.selectedFiles();
}

std::optional<QString> chooseFolderWithDialog(QWidget* parent, const QString& title) {
  const QString folder =
      QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty())
    return std::nullopt;
  return QDir::toNativeSeparators(folder);
}

} // namespace

QIcon applicationIcon() {
  static const bool resourcesReady = [] {
    initMainResources();
    return true;
  }();
  (void)resourcesReady;
  QIcon result;
  for (int size : {16, 32, 48, 256})
    result.addFile(QStringLiteral(":/sundrel/icons/sundrel-%1.png").arg(size), QSize(size, size));
  return result;
}

MainDialog::MainDialog(QWidget* parent)
    : QDialog(parent), icon(applicationIcon()), filesChooser(chooseFilesWithDialog),
      folderChooser(chooseFolderWithDialog), fileOpener([](const QString& path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
      }) {
  setObjectName(QStringLiteral("102"));
  // A top-level window of its own (task-bar button, minimise box) that is not
  // resizable and has no maximise box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setAcceptDrops(true);
  setSplitRunner(engine::runSplit);

  createControls();
  setWindowIcon(icon);

  sizePresetCombo->setCurrentIndex(0);
  sizeLimit = settings::kSizePresets[0].bytes;
  sizeEdit->setText(QString::number(sizeLimit));

  originalRadio->setChecked(true);
  progressBar->setRange(0, 100);
  progressBar->setValue(0);
  setWindowTitle(QString::fromLatin1(kCaption));
  updateControlStates();
  options.setSaveFailureHandler(
      [](QWidget* over, const QString& text) { showMessageBox(over, text, MessageIcon::Warning); });

  // The engine waits for its child processes with this pump, so the window
  // repaints and takes drops and clicks during a run.
  bridge::setThreadPumpHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
  bridge::setTraceHook([](std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.remove_suffix(1);
    qCDebug(lcEngine).noquote() << QString::fromUtf8(line.data(), qsizetype(line.size()));
  });
}

MainDialog::~MainDialog() {
  bridge::setThreadPumpHook({});
  bridge::setTraceHook({});
}

bool MainDialog::isBusy() const {
  return progressBar->value() != 0;
}

void MainDialog::updateControlStates() {
  const int rows = fileList->rowCount();
  const int selected = fileList->selectedCount();
  const bool busy = isBusy();
  const bool original = originalRadio->isChecked();
  const int preset = sizePresetCombo->currentIndex();

  // During a run Begin Split is Stop, until the stop is asked for.
  const QString begin = busy ? tr("Stop") : tr("Begin Split");
  beginSplitButton->setText(begin);
  beginSplitButton->setAccessibleName(begin);
  beginSplitButton->setEnabled(busy ? !stopFlag_.load() : rows > 0);
  browseButton->setEnabled(!original && !busy);
  originalRadio->setEnabled(!busy);
  alternativeRadio->setEnabled(!busy);
  control(ids::AddDirectory)->setEnabled(!busy);
  control(ids::Add)->setEnabled(!busy);
  deleteButton->setEnabled(selected > 0 && !busy);
  fileList->passwords().setPasswordAction()->setEnabled(selected > 0 && !busy);
  control(ids::Options)->setEnabled(!busy);
  sizePresetCombo->setEnabled(!busy);
  sizeEdit->setEnabled(preset == kCustomPreset && !busy);
  clearButton->setEnabled(rows > 0 && !busy);
  folderEdit->setEnabled(!original && !busy);
}

// ---- Commands ---------------------------------------------------------------

void MainDialog::onOptions() {
  options.doModal(this);
}

void MainDialog::onSizePresetChange() {
  const int preset = sizePresetCombo->currentIndex();
  updateControlStates();
  if (preset == kCustomPreset)
    return;
  if (preset >= 0 && std::size_t(preset) < settings::kSizePresets.size())
    sizeLimit = settings::kSizePresets[std::size_t(preset)].bytes;
  sizeEdit->setText(QString::number(sizeLimit));
}

void MainDialog::onOriginalDirectory() {
  updateControlStates();
}

void MainDialog::onAlternativeDirectory() {
  updateControlStates();
}

void MainDialog::onBrowse() {
  const std::optional<QString> folder = folderChooser(this, tr("Output directory"));
  if (!folder)
    return;
  folderEdit->setText(*folder);
  chosenFolder = *folder;
  updateControlStates();
}

void MainDialog::onExit() {
  if (isBusy()) {
    // Stopped as Stop does: finished parts stay, the part being made goes;
    // the window closes as soon as the run returns.
    closeRequested = true;
    stopFlag_.store(true);
    updateControlStates();
    return;
  }
  QDialog::reject();
}

void MainDialog::onAbout() {
  AboutDialog about(this);
  about.exec();
}

// ---- File list --------------------------------------------------------------

void MainDialog::addFileRow(const QString& path, int index) {
  fileList->addRow(path, index);
}

PasswordColumn& MainDialog::passwords() {
  return fileList->passwords();
}

void MainDialog::onAdd() {
  const std::optional<QStringList> files = filesChooser(this);
  if (!files)
    return;
  for (const QString& file : *files)
    addFileRow(file, fileList->rowCount());
  updateControlStates();
}

void MainDialog::onAddDirectory() {
  const std::optional<QString> folder = folderChooser(this, tr("Add Directory"));
  if (!folder)
    return;
  // One level only; folders (also one named like a PDF) are skipped. Sorted
  // by name: the plain enumeration order of a Linux file system looks random.
  const QDir dir(*folder);
  const QStringList names =
      dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
  int added = 0;
  for (const QString& entry : names) {
    const QString path = QDir::toNativeSeparators(dir.filePath(entry));
    if (hasPdfEnding(path))
      addFileRow(path, added++);
  }
  updateControlStates();
}

void MainDialog::deleteSelectedRows() {
  fileList->removeSelected();
}

void MainDialog::onDelete() {
  deleteSelectedRows();
  updateControlStates();
}

void MainDialog::onClear() {
  fileList->clear();
  updateControlStates();
}

void MainDialog::onListDoubleClick() {
  for (int row : fileList->selectedRows())
    fileOpener(fileList->path(row));
}

void MainDialog::onListItemChanged() {
  updateControlStates();
}

bool MainDialog::onListKeyDown(int key) {
  // While a run is going the rows it walks must stay where they are.
  if (isBusy())
    return false;
  bool handled = false;
  if (key == Qt::Key_Delete) {
    deleteSelectedRows();
    handled = true;
  }
  updateControlStates();
  return handled;
}

void MainDialog::onDropFiles(const QList<QUrl>& urls) {
  for (const QUrl& url : urls) {
    if (!url.isLocalFile())
      continue;
    const QString path = QDir::toNativeSeparators(url.toLocalFile());
    if (hasPdfEnding(path) && !QFileInfo(path).isDir())
      addFileRow(path, fileList->rowCount());
  }
  updateControlStates();
}

// ---- Window events ----------------------------------------------------------

void MainDialog::keyPressEvent(QKeyEvent* event) {
  // Enter and Escape never close this window; only Exit and the close box do.
  // Enter still presses a push button that has the focus.
  switch (event->key()) {
  case Qt::Key_Escape:
    event->accept();
    return;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    if (!qobject_cast<QPushButton*>(focusWidget())) {
      event->accept();
      return;
    }
    break;
  default:
    break;
  }
  QDialog::keyPressEvent(event);
}

void MainDialog::closeEvent(QCloseEvent* event) {
  onExit();
  // Still shown while a run goes on: the close waits for the run.
  if (isVisible())
    event->ignore();
  else
    event->accept();
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls())
    event->acceptProposedAction();
}

void MainDialog::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls())
    event->acceptProposedAction();
}

void MainDialog::dropEvent(QDropEvent* event) {
  onDropFiles(event->mimeData()->urls());
  event->acceptProposedAction();
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == fileTable && event->type() == QEvent::KeyPress)
    return onListKeyDown(static_cast<QKeyEvent*>(event)->key());
  return QDialog::eventFilter(watched, event);
}

void MainDialog::setFilesChooser(FilesChooser chooser) {
  filesChooser = std::move(chooser);
}
void MainDialog::setFolderChooser(FolderChooser chooser) {
  folderChooser = std::move(chooser);
}
void MainDialog::setFileOpener(FileOpener opener) {
  fileOpener = std::move(opener);
}

} // namespace sundrel::ui
