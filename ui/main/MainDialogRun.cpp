// A run of the main window: Begin Split, and the window's side of a run
// (SplitHost): what the run's job is built from, and how its events show
// (the progress bar is also the busy flag).

#include "ui/main/MainDialog.h"

#include "bridge/EngineReason.h"
#include "engine/SplitEngine.h"
#include "engine/SplitHost.h"
#include "settings/SizeLimit.h"
#include "ui/main/FileList.h"
#include "ui/main/MessageBox.h"
#include "ui/main/PasswordColumn.h"
#include "ui/main/ProblemMessage.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>

#include <algorithm>

namespace sundrel::ui {

namespace {

std::string toLocalPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

QString fromLocalPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

std::uint64_t sizeLimitFromText(const QString& text) {
  return settings::parseSize(text.toStdString()).bytes.value_or(0);
}

void MainDialog::showSizeMeaning() {
  auto* label = static_cast<QLabel*>(control("bytesLabel"));
  const std::string text = sizeEdit->text().toStdString();
  const settings::SizeText size = settings::parseSize(text);
  if (!size.bytes)
    label->setText(tr("not a size"));
  else if (settings::isByteCount(text))
    label->setText(tr("Bytes"));
  else
    label->setText(tr("= %1 bytes").arg(*size.bytes));
}

void MainDialog::onBeginSplit() {
  if (isBusy()) {
    stopFlag_.store(true);
    updateControlStates();
    return;
  }
  // Without a chosen folder the parts of "Alternative directory" would be
  // named from the file-system root; ask for the folder first.
  if (!originalRadio->isChecked() && chosenFolder.isEmpty()) {
    onBrowse();
    if (chosenFolder.isEmpty())
      return;
  }
  // A typed size that is no size would be a limit of nothing: say why first.
  if (sizePresetCombo->currentIndex() == kCustomPreset) {
    const settings::SizeText size = settings::parseSize(sizeEdit->text().toStdString());
    if (!size.bytes) {
      showMessageBox(this,
                     tr("\"%1\" is not a size limit: %2.")
                         .arg(sizeEdit->text(), QString::fromStdString(size.error)),
                     MessageIcon::Warning);
      return;
    }
  }
  if (options.doModal(this) != QDialog::Accepted)
    return;

  stopFlag_.store(false);
  setProgressPos(1);
  updateControlStates();
  if (!fileList->beginRun() || closeRequested) {
    fileList->endRun();
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
  fileList->endRun();
  // The run took its limit from the size edit; keep what it used.
  sizeLimit = run.sizeLimit;

  progressBar->setValue(0);
  runStatus->clear();
  stopFlag_.store(false);
  updateControlStates();
  // Said once, over the idle window, also when a close waits for the run:
  // a stopped run says which files were not finished.
  showRunEnd(report);
  if (closeRequested)
    onExit();
}

void MainDialog::showRunEnd(const engine::SplitReport& report) {
  // A runner that returns no report leaves nothing to show.
  if (report.files.empty())
    return;
  MessageRequest request;
  request.text = report.hasProblems() ? problemMessage(report) : runSummary(report);
  request.icon = report.hasProblems() ? MessageIcon::Warning : MessageIcon::Information;
  QString folder;
  for (const engine::FileReport& file : report.files)
    if (folder.isEmpty() && !file.parts.empty())
      folder = QFileInfo(fromLocalPath(file.parts.front().path)).path();
  if (!folder.isEmpty()) {
    request.buttons = QMessageBox::Open | QMessageBox::Ok;
    request.openText = tr("Open Folder");
  }
  if (showMessage(this, request) == QMessageBox::Open)
    fileOpener(folder);
}

void MainDialog::progress(const engine::FileProgress& at) {
  SplitHost::progress(at);
  const QString name = QFileInfo(fromLocalPath(at.source)).fileName();
  // One arg call: a "%" in the name stays as it is.
  const QString file =
      tr("%1 of %2: %3").arg(QString::number(at.file + 1), QString::number(at.files), name);
  const int page = std::min(at.page, at.pages);
  QString where;
  if (at.pages > 0)
    where = at.parts == 1
                ? tr("page %1 of %2, 1 part so far").arg(page).arg(at.pages)
                : tr("page %1 of %2, %3 parts so far").arg(page).arg(at.pages).arg(at.parts);
  runStatus->setText(where.isEmpty() ? file : file + QStringLiteral(" \u2013 ") + where);
}

// ---- SplitHost --------------------------------------------------------------

int MainDialog::rowCount() {
  return fileList->runRowCount();
}

std::string MainDialog::rowPath(int row) {
  return toLocalPath(fileList->path(fileList->listRow(row)));
}

std::string MainDialog::rowSizeText(int row) {
  return fileList->sizeText(fileList->listRow(row)).toStdString();
}

std::uint64_t MainDialog::rowBytes(int row) {
  return fileList->bytes(fileList->listRow(row));
}

std::string MainDialog::rowPassword(int row) {
  // UTF-8: the engine converts it where the file's encryption wants another
  // encoding.
  const int listed = fileList->listRow(row);
  return listed < 0 ? std::string() : fileList->passwords().password(listed).toStdString();
}

// A password refused is said on the row at once; the message after the run
// says it again.
void MainDialog::fileFailed(const std::string& sourcePath, const std::string& reason) {
  if (bridge::failureKind(bridge::reasonOfText(reason), engine::FailureKind::None) ==
      engine::FailureKind::Protected)
    fileList->passwords().passwordRefused(fromLocalPath(sourcePath));
}

void MainDialog::fileNotSplit(const engine::FileReport& file) {
  if (file.failure == engine::FailureKind::Protected)
    fileList->passwords().passwordRefused(fromLocalPath(file.source));
}

void MainDialog::fileSkipped(const std::string& path) {
  showMessageBox(this,
                 tr("\"%1\" is too small, we will skip this PDF file.").arg(fromLocalPath(path)),
                 MessageIcon::None, QMessageBox::Ok);
}

std::string MainDialog::sizeEditText() {
  return sizeEdit->text().toStdString();
}

std::uint64_t MainDialog::limitBytes() {
  return sizeLimitFromText(sizeEdit->text());
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
  showMessageBox(this, QString::fromStdString(text), MessageIcon::None, QMessageBox::Ok);
}

void MainDialog::pumpDialogMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace sundrel::ui
