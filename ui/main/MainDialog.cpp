#include "ui/main/MainDialog.h"

#include "bridge/EngineRunner.h"
#include "engine/SplitEngine.h"
#include "ui/main/AboutDialog.h"
#include "ui/main/FileListText.h"
#include "ui/main/MessageBox.h"
#include "ui/main/PasswordColumn.h"
#include "ui/main/ProblemMessage.h"
#include "ui/options/DialogUnits.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>

#include <algorithm>

Q_LOGGING_CATEGORY(lcEngine, "sundrel.engine", QtWarningMsg)

// The icons are compiled into this static library; its resources need an
// explicit start, outside any namespace.
static void initMainResources() {
  Q_INIT_RESOURCE(sundrel_main);
}

namespace sundrel::ui {

namespace {

constexpr const char* kCaption = "Sundrel v2.0";

struct ColumnSpec {
  const char* header;
  int width; // pixels
};
constexpr std::array<ColumnSpec, 4> kColumns{{
    {QT_TRANSLATE_NOOP("sundrel::ui::MainDialog", "File name"), 250},
    {QT_TRANSLATE_NOOP("sundrel::ui::MainDialog", "Password"), 100},
    {QT_TRANSLATE_NOOP("sundrel::ui::MainDialog", "Size"), 90},
    {QT_TRANSLATE_NOOP("sundrel::ui::MainDialog", "Modified"), 170},
}};

void pumpEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

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

std::string toLocalPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// The engine words its skip message in English around the file's path; the
// window shows it in the user's language.
QString translatedSkipMessage(const QString& text) {
  static const QString prefix = QStringLiteral("\"");
  static const QString suffix = QStringLiteral("\" is too small, we will skip this PDF file.");
  if (!text.startsWith(prefix) || !text.endsWith(suffix) ||
      text.size() < prefix.size() + suffix.size())
    return text;
  const QString path = text.mid(prefix.size(), text.size() - prefix.size() - suffix.size());
  return MainDialog::tr("\"%1\" is too small, we will skip this PDF file.").arg(path);
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
  setUpFileList();

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

  // The engine waits for its child processes and probes between these pumps,
  // so the window repaints and takes drops and clicks during a run.
  bridge::setThreadPumpHook(pumpEvents);
  bridge::setDialogPumpHook(pumpEvents);
  bridge::setTraceHook([](std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.remove_suffix(1);
    qCDebug(lcEngine).noquote() << QString::fromUtf8(line.data(), qsizetype(line.size()));
  });
}

MainDialog::~MainDialog() {
  bridge::setThreadPumpHook({});
  bridge::setDialogPumpHook({});
  bridge::setTraceHook({});
}

void MainDialog::createControls() {
  const DialogUnits du(font());
  setFixedSize(du.size(424, 319));

  auto name = [](QWidget* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
  };
  auto button = [&](int id, const QString& text, int x, int y, int w, int h) {
    auto* b = new QPushButton(text, this);
    name(b, id);
    b->setAccessibleName(b->text());
    du.place(b, x, y, w, h);
    return b;
  };
  auto label = [&](int id, const QString& text, int x, int y, int w, int h) {
    auto* l = new QLabel(text, this);
    if (id != 0)
      name(l, id);
    l->setTextFormat(Qt::PlainText);
    du.place(l, x, y, w, h);
    return l;
  };

  // The group box first, so the controls inside it stack above it.
  auto* group = new QGroupBox(tr("Output directory"), this);
  name(group, ids::OutputGroup);
  du.place(group, 6, 207, 411, 66);

  QLabel* listLabel = label(ids::ListLabel, tr("PDF File List:"), 9, 19, 57, 8);
  // Wide enough for the caption in any font; the template's width is for
  // the original 8-point font.
  listLabel->resize(std::max(listLabel->width(), listLabel->sizeHint().width()),
                    listLabel->height());
  button(ids::AddDirectory, tr("Add Directory"), 105, 7, 64, 14);
  button(ids::Add, tr("Add"), 184, 7, 64, 14);
  deleteButton = button(ids::Delete, tr("Delete"), 263, 7, 64, 14);
  clearButton = button(ids::Clear, tr("Clear"), 342, 7, 64, 14);

  fileList = new QTableWidget(this);
  name(fileList, ids::FileList);
  du.place(fileList, 6, 29, 412, 150);
  listLabel->setBuddy(fileList);
  fileList->setAccessibleName(tr("PDF File List"));

  QLabel* sizeLabel = label(ids::SizeLabel, tr("Split by file size:"), 19, 192, 85, 8);
  sizeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  sizePresetCombo = new QComboBox(this);
  name(sizePresetCombo, ids::SizePreset);
  // The sizes read alike in every language; only "Custom" is a word.
  for (const auto& preset : settings::kSizePresets)
    sizePresetCombo->addItem(
        preset.bytes == 0
            ? tr("Custom")
            : QString::fromLatin1(preset.itemText.data(), qsizetype(preset.itemText.size())));
  du.place(sizePresetCombo, 109, 190, 94, 12);
  sizePresetCombo->setAccessibleName(tr("Split by file size"));
  sizeLabel->setBuddy(sizePresetCombo);

  sizeEdit = new QLineEdit(this);
  name(sizeEdit, ids::SizeEdit);
  sizeEdit->setAlignment(Qt::AlignRight);
  du.place(sizeEdit, 209, 190, 66, 12);
  sizeEdit->setAccessibleName(tr("Size limit in bytes"));
  // The run reads the edit's leading digits: "10MB" would be a limit of 10
  // bytes. Typed or pasted text with anything but digits is refused whole.
  sizeEdit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), sizeEdit));
  // As tall as the edit beside it, so both texts share one baseline.
  QLabel* bytesLabel = label(0, tr("Bytes"), 280, 190, 21, 12);
  bytesLabel->setObjectName(QStringLiteral("bytesLabel"));
  bytesLabel->resize(std::max(bytesLabel->width(), bytesLabel->sizeHint().width()),
                     bytesLabel->height());
  bytesLabel->setBuddy(sizeEdit);

  originalRadio = new QRadioButton(tr("Original directory"), this);
  name(originalRadio, ids::OriginalDirectory);
  du.place(originalRadio, 16, 227, 103, 10);
  originalRadio->setAccessibleName(originalRadio->text());

  progressBar = new QProgressBar(this);
  name(progressBar, ids::Progress);
  progressBar->setTextVisible(false);
  progressBar->setAccessibleName(tr("Split progress"));
  du.place(progressBar, 126, 223, 283, 14);

  alternativeRadio = new QRadioButton(tr("Alternative directory"), this);
  name(alternativeRadio, ids::AlternativeDirectory);
  du.place(alternativeRadio, 16, 247, 103, 10);
  alternativeRadio->setAccessibleName(alternativeRadio->text());

  folderEdit = new QLineEdit(this);
  name(folderEdit, ids::FolderEdit);
  du.place(folderEdit, 126, 245, 229, 14);
  // Shows the folder chosen with Browse; a typed path would not be used.
  folderEdit->setReadOnly(true);
  folderEdit->setAccessibleName(tr("Alternative directory folder"));

  browseButton = button(ids::Browse, tr("Browse"), 359, 245, 50, 14);
  beginSplitButton = button(ids::BeginSplit, tr("Begin Split"), 93, 289, 74, 14);
  QPushButton* optionsButton = button(ids::Options, tr("Options..."), 176, 289, 74, 14);
  QPushButton* exitButton = button(ids::Exit, tr("Exit"), 342, 289, 74, 14);
  QPushButton* aboutButton = button(ids::About, tr("About"), 259, 289, 74, 14);

  // Tab order follows the template's control order.
  setTabOrder(control(ids::AddDirectory), control(ids::Add));
  setTabOrder(control(ids::Add), deleteButton);
  setTabOrder(deleteButton, clearButton);
  setTabOrder(clearButton, fileList);
  setTabOrder(fileList, sizePresetCombo);
  setTabOrder(sizePresetCombo, sizeEdit);
  setTabOrder(sizeEdit, originalRadio);
  setTabOrder(originalRadio, alternativeRadio);
  setTabOrder(alternativeRadio, folderEdit);
  setTabOrder(folderEdit, browseButton);
  setTabOrder(browseButton, beginSplitButton);
  setTabOrder(beginSplitButton, optionsButton);
  setTabOrder(optionsButton, aboutButton);
  setTabOrder(aboutButton, exitButton);

  connect(beginSplitButton, &QPushButton::clicked, this, &MainDialog::onBeginSplit);
  connect(optionsButton, &QPushButton::clicked, this, &MainDialog::onOptions);
  connect(sizePresetCombo, &QComboBox::activated, this, &MainDialog::onSizePresetChange);
  connect(originalRadio, &QRadioButton::clicked, this, &MainDialog::onOriginalDirectory);
  connect(alternativeRadio, &QRadioButton::clicked, this, &MainDialog::onAlternativeDirectory);
  // Browse and the folder edit follow the radios' state however it changes:
  // an assistive technology's toggle or a program sends no click.
  for (QRadioButton* radio : {originalRadio, alternativeRadio})
    connect(radio, &QRadioButton::toggled, this, &MainDialog::updateControlStates);
  connect(browseButton, &QPushButton::clicked, this, &MainDialog::onBrowse);
  connect(exitButton, &QPushButton::clicked, this, &MainDialog::onExit);
  connect(aboutButton, &QPushButton::clicked, this, &MainDialog::onAbout);
  connect(static_cast<QPushButton*>(control(ids::Add)), &QPushButton::clicked, this,
          &MainDialog::onAdd);
  connect(static_cast<QPushButton*>(control(ids::AddDirectory)), &QPushButton::clicked, this,
          &MainDialog::onAddDirectory);
  connect(deleteButton, &QPushButton::clicked, this, &MainDialog::onDelete);
  connect(clearButton, &QPushButton::clicked, this, &MainDialog::onClear);
}

void MainDialog::setUpFileList() {
  fileList->setColumnCount(int(kColumns.size()));
  QStringList headers;
  for (const auto& column : kColumns)
    headers << tr(column.header);
  fileList->setHorizontalHeaderLabels(headers);
  for (int c = 0; c < int(kColumns.size()); ++c)
    fileList->setColumnWidth(c, kColumns[std::size_t(c)].width);

  QHeaderView* header = fileList->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setSectionsMovable(true);    // headers can be reordered by dragging
  header->setSectionsClickable(false); // clicking a header neither sorts nor selects
  header->setHighlightSections(false);
  fileList->verticalHeader()->hide();
  const int rowHeight = std::max(fontMetrics().height() + 4, 20);
  fileList->verticalHeader()->setMinimumSectionSize(rowHeight);
  fileList->verticalHeader()->setDefaultSectionSize(rowHeight);

  fileList->setShowGrid(true);
  fileList->setSelectionBehavior(QAbstractItemView::SelectRows);
  fileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  fileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  fileList->setSortingEnabled(false);
  fileList->setWordWrap(false);
  fileList->setTextElideMode(Qt::ElideMiddle); // keeps the file name of a long path visible
  fileList->setIconSize(QSize(16, 16));
  fileList->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  fileList->setTabKeyNavigation(false);

  passwordColumn = new PasswordColumn(fileList, this);
  fileList->installEventFilter(this);
  connect(fileList, &QTableWidget::itemSelectionChanged, this, &MainDialog::onListItemChanged);
  connect(fileList, &QTableWidget::cellDoubleClicked, this, &MainDialog::onListDoubleClick);
}

QWidget* MainDialog::control(int id) const {
  return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

bool MainDialog::isBusy() const {
  return progressBar->value() != 0;
}

int MainDialog::selectedRowCount() const {
  return int(fileList->selectionModel()->selectedRows().size());
}

void MainDialog::updateControlStates() {
  const int rows = fileList->rowCount();
  const int selected = selectedRowCount();
  const bool busy = isBusy();
  const bool original = originalRadio->isChecked();
  const int preset = sizePresetCombo->currentIndex();

  beginSplitButton->setEnabled(rows > 0 && !busy);
  browseButton->setEnabled(!original && !busy);
  originalRadio->setEnabled(!busy);
  alternativeRadio->setEnabled(!busy);
  control(ids::AddDirectory)->setEnabled(!busy);
  control(ids::Add)->setEnabled(!busy);
  deleteButton->setEnabled(selected > 0 && !busy);
  passwordColumn->setPasswordAction()->setEnabled(selected > 0 && !busy);
  control(ids::Options)->setEnabled(!busy);
  sizePresetCombo->setEnabled(!busy);
  // Set twice, as the dialog always has: the second setting decides.
  sizeEdit->setEnabled(!busy);
  sizeEdit->setEnabled(preset == kCustomPreset && !busy);
  clearButton->setEnabled(rows > 0 && !busy);
  folderEdit->setEnabled(!original && !busy);
}

// ---- Commands ---------------------------------------------------------------

void MainDialog::onBeginSplit() {
  if (isBusy())
    return;
  // Without a chosen folder the parts of "Alternative directory" would be
  // named from the file-system root; ask for the folder first.
  if (!originalRadio->isChecked() && chosenFolder.isEmpty()) {
    onBrowse();
    if (chosenFolder.isEmpty())
      return;
  }
  if (options.doModal(this) != QDialog::Accepted)
    return;

  setProgressPos(1);
  updateControlStates();
  // Protected files without a password are asked for (or skipped) now, so
  // the run itself needs nobody at the keyboard.
  runRows = passwordColumn->prepareRun();
  runListed = fileList->rowCount();
  if (!runRows || closeRequested) {
    runRows.reset();
    progressBar->setValue(0);
    updateControlStates();
    if (closeRequested)
      onExit();
    return;
  }

  settings::SplitSettings& run = options.settings();
  run.outputFolder = toLocalPath(chosenFolder);
  run.outputMode = originalRadio->isChecked() ? settings::OutputMode::OriginalDirectory
                                              : settings::OutputMode::AlternativeDirectory;
  run.sizeLimit = sizeLimit;
  const engine::SplitReport report = splitRunner ? splitRunner(*this, run) : engine::SplitReport{};
  runRows.reset();
  // The run took its limit from the size edit; keep what it used.
  sizeLimit = run.sizeLimit;

  progressBar->setValue(0);
  updateControlStates();
  // Failed, unreached and over-limit files are said once, over the idle
  // window, also when a close waits for the run.
  if (report.hasProblems())
    showMessageBox(this, problemMessage(report), MessageIcon::Warning);
  if (closeRequested)
    onExit();
}

void MainDialog::onOptions() {
  options.doModal(this);
}

void MainDialog::onSizePresetChange() {
  const int preset = sizePresetCombo->currentIndex();
  updateControlStates();
  if (preset == kCustomPreset)
    return;
  if (preset >= 0 && preset < kCustomPreset)
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
    // The run cannot be stopped half-way without leaving a part behind that
    // has no properties or security yet; close as soon as it returns.
    closeRequested = true;
    setWindowTitle(tr("%1 - closing when the split ends").arg(QString::fromLatin1(kCaption)));
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
  const QFileInfo info(path);
  const bool exists = info.exists();
  const QString sizeText = formatSizeText(exists ? info.size() : 0);
  const QString timeText =
      exists ? formatModifiedText(info.fileTime(QFileDevice::FileModificationTime)) : QString();

  index = std::clamp(index, 0, fileList->rowCount());
  fileList->insertRow(index);
  auto* nameItem = new QTableWidgetItem(iconProvider.icon(info), path);
  nameItem->setToolTip(path);
  fileList->setItem(index, 0, nameItem);
  fileList->setItem(index, 2, new QTableWidgetItem(sizeText));
  fileList->setItem(index, 3, new QTableWidgetItem(timeText));
  passwordColumn->rowAdded(index);
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
  QList<int> rows;
  for (const QModelIndex& index : fileList->selectionModel()->selectedRows())
    rows << index.row();
  std::sort(rows.begin(), rows.end(), std::greater<int>());
  for (int row : rows)
    fileList->removeRow(row);
  passwordColumn->rowsRemoved();
}

void MainDialog::onDelete() {
  deleteSelectedRows();
  updateControlStates();
}

void MainDialog::onClear() {
  fileList->setRowCount(0);
  passwordColumn->rowsRemoved();
  updateControlStates();
}

void MainDialog::onListDoubleClick() {
  QList<int> rows;
  for (const QModelIndex& index : fileList->selectionModel()->selectedRows())
    rows << index.row();
  std::sort(rows.begin(), rows.end());
  for (int row : rows)
    if (const QTableWidgetItem* item = fileList->item(row, 0))
      fileOpener(item->text());
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
  if (watched == fileList && event->type() == QEvent::KeyPress)
    return onListKeyDown(static_cast<QKeyEvent*>(event)->key());
  return QDialog::eventFilter(watched, event);
}

// ---- SplitHost --------------------------------------------------------------

int MainDialog::listRow(int row) const {
  if (!runRows || row < 0)
    return row;
  return row < runRows->size() ? runRows->at(row) : runListed + row - int(runRows->size());
}

int MainDialog::rowCount() {
  return runRows ? int(runRows->size()) + fileList->rowCount() - runListed : fileList->rowCount();
}

std::string MainDialog::rowPath(int row) {
  const QTableWidgetItem* item = fileList->item(listRow(row), 0);
  return item ? toLocalPath(item->text()) : std::string();
}

std::string MainDialog::rowSizeText(int row) {
  const QTableWidgetItem* item = fileList->item(listRow(row), 2);
  return item ? item->text().toStdString() : std::string();
}

std::string MainDialog::rowPassword(int row) {
  // UTF-8: the engine converts it where the file's encryption wants another
  // encoding.
  const int listed = listRow(row);
  return listed < 0 ? std::string() : passwordColumn->password(listed).toStdString();
}

void MainDialog::fileFailed(const std::string& sourcePath, const std::string& reason) {
  // Said on the row at once; the message after the run says it again.
  if (PasswordColumn::isPasswordFailure(QString::fromStdString(reason)))
    passwordColumn->passwordRefused(QFile::decodeName(QByteArray::fromStdString(sourcePath)));
}

std::string MainDialog::sizeEditText() {
  return sizeEdit->text().toStdString();
}

bool MainDialog::originalDirectorySelected() {
  return originalRadio->isChecked();
}

std::string MainDialog::outputFolder() {
  return toLocalPath(chosenFolder);
}

void MainDialog::setProgressRange(int lower, int upper) {
  // Position 1 must stay representable: it is the busy flag.
  progressBar->setRange(lower, std::max(upper, lower + 1));
}

void MainDialog::setProgressPos(int pos) {
  // Clamped into the range, as a native progress bar does, instead of ignored.
  progressBar->setValue(std::clamp(pos, progressBar->minimum(), progressBar->maximum()));
}

void MainDialog::showSkipMessage(const std::string& text) {
  showMessageBox(this, translatedSkipMessage(QString::fromStdString(text)), MessageIcon::None,
                 QMessageBox::Ok);
}

void MainDialog::pumpDialogMessages() {
  pumpEvents();
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
