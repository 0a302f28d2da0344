#pragma once
// The program's only main window: the list of PDF files to split, the size
// limit, the output directory, the progress bar and the command buttons.
// A run happens on this thread; the progress bar's position doubles as the
// busy flag, because handlers run re-entrantly while the engine works.

#include "engine/SplitHost.h"
#include "engine/SplitReport.h"
#include "settings/SplitSettings.h"
#include "ui/options/OptionsDialog.h"

#include <QDialog>
#include <QIcon>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <type_traits>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace sundrel::ui {

class FileList;
class PasswordColumn;

// Control identifiers; every control carries its number as object name and
// a descriptive name (the number's constant in lower camel case:
// "beginSplit", "sizeEdit") as its kControlNameProperty.
namespace ids {
inline constexpr int AddDirectory = 1001;
inline constexpr int Add = 1002;
inline constexpr int Delete = 1003;
inline constexpr int Clear = 1004;
inline constexpr int SizePreset = 1005;
inline constexpr int FolderEdit = 1008;
inline constexpr int Browse = 1009;
inline constexpr int BeginSplit = 1010;
inline constexpr int Options = 1011;
inline constexpr int Exit = 1012;
inline constexpr int About = 1013;
inline constexpr int ListLabel = 1017;
inline constexpr int SizeLabel = 1018;
inline constexpr int OutputGroup = 1020;
inline constexpr int SizeEdit = 1052;
inline constexpr int OriginalDirectory = 1060;
inline constexpr int AlternativeDirectory = 1061;
inline constexpr int FileList = 1063;
inline constexpr int Progress = 1072;
} // namespace ids

inline constexpr const char* kControlNameProperty = "controlName";

// Index of "Custom" in settings::kSizePresets; the mail limits follow it.
inline constexpr int kCustomPreset = 8;

class MainDialog : public QDialog, public engine::SplitHost {
  Q_OBJECT

public:
  explicit MainDialog(QWidget* parent = nullptr);
  ~MainDialog() override;

  // Recomputes the enabled state of every control from the row and selection
  // counts, the busy flag, the radio and the preset.
  void updateControlStates();
  // A run is in progress exactly while the progress position is not 0.
  bool isBusy() const;

  // Inserts a row for path before the row now at index (at the end when index
  // is the row count) and fills its four columns.
  void addFileRow(const QString& path, int index);

  // A control by its identifier, or by its descriptive name.
  QWidget* control(int id) const;
  QWidget* control(std::string_view name) const;
  QString outputFolderPath() const { return chosenFolder; }
  // The limit in bytes: the preset's, or what the last run read from the edit.
  std::uint64_t currentSizeLimit() const { return sizeLimit; }
  OptionsDialog& optionsDialog() { return options; }

  // Test seams: what a run does, what the file and folder dialogs answer and
  // how a listed file is opened. Each defaults to the real thing; the real
  // run is engine::runSplit, which builds its SplitJob from this window.
  using SplitRunner =
      std::function<engine::SplitReport(engine::SplitHost&, settings::SplitSettings&)>;
  using FilesChooser = std::function<std::optional<QStringList>(QWidget* parent)>;
  using FolderChooser =
      std::function<std::optional<QString>(QWidget* parent, const QString& title)>;
  using FileOpener = std::function<void(const QString& path)>;
  // A runner that returns no report leaves nothing to show after the run.
  template <class Runner> void setSplitRunner(Runner runner);
  void setSplitRunner(engine::SplitReport (*runner)(engine::SplitHost&, settings::SplitSettings&)) {
    splitRunner = runner;
  }
  void setFilesChooser(FilesChooser chooser);
  void setFolderChooser(FolderChooser chooser);
  void setFileOpener(FileOpener opener);

  // SplitHost: what a run reads from the window (the rows and the size edit
  // as they are when it starts) and does to it.
  int rowCount() override;
  std::string rowPath(int row) override;
  std::string rowSizeText(int row) override;
  std::uint64_t rowBytes(int row) override;
  std::string rowPassword(int row) override;
  std::string sizeEditText() override;
  std::uint64_t limitBytes() override;
  bool originalDirectorySelected() override;
  std::string outputFolder() override;
  void setProgressRange(int lower, int upper) override;
  void setProgressPos(int pos) override;
  void showSkipMessage(const std::string& text) override;
  void pumpDialogMessages() override;
  bool stopRequested() override { return stopFlag_.load(); }
  const std::atomic<bool>* stopFlag() override { return &stopFlag_; }
  void progress(const engine::FileProgress& at) override;
  void fileSkipped(const std::string& path) override;
  void fileFailed(const std::string& sourcePath, const std::string& reason) override;
  void fileNotSplit(const engine::FileReport& file) override;

  // The "Password" column and the passwords given for the listed files.
  PasswordColumn& passwords();

public slots:
  // Begins a run; during a run the same button is "Stop" and ends it.
  void onBeginSplit();
  void onOptions();
  void onSizePresetChange();
  // The label beside the size edit: "Bytes" under a byte count, else what
  // the typed size means in bytes, or that it is no size.
  void showSizeMeaning();
  void onOriginalDirectory();
  void onAlternativeDirectory();
  void onBrowse();
  void onExit();
  void onAbout();
  void onAdd();
  void onAddDirectory();
  void onDelete();
  void onClear();
  void onListDoubleClick();
  void onListItemChanged();
  void onDropFiles(const QList<QUrl>& urls);

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void createControls();
  void connectControls();
  void deleteSelectedRows();
  // The one message that ends a run: parts, files and folder, the problems
  // if any, and "Open Folder".
  void showRunEnd(const engine::SplitReport& report);
  bool onListKeyDown(int key);

  // Bound controls.
  QProgressBar* progressBar = nullptr;
  QLabel* runStatus = nullptr; // which file, which page, parts so far
  QTableWidget* fileTable = nullptr;
  QPushButton* beginSplitButton = nullptr;
  QPushButton* browseButton = nullptr;
  QPushButton* deleteButton = nullptr;
  QPushButton* clearButton = nullptr;
  QLineEdit* sizeEdit = nullptr;
  QLineEdit* folderEdit = nullptr;
  QComboBox* sizePresetCombo = nullptr;
  QRadioButton* originalRadio = nullptr;
  QRadioButton* alternativeRadio = nullptr;
  FileList* fileList = nullptr;

  QString chosenFolder; // the output folder; changes only through Browse
  std::uint64_t sizeLimit = 0;
  OptionsDialog options;
  QIcon icon;
  // A close asked for during a run takes effect when the run returns.
  bool closeRequested = false;
  // Set by Stop (and by Exit during a run); the run ends at its next step.
  std::atomic<bool> stopFlag_{false};

  SplitRunner splitRunner;
  FilesChooser filesChooser;
  FolderChooser folderChooser;
  FileOpener fileOpener;
};

// The application icon (several sizes).
QIcon applicationIcon();

// The size edit's text as a limit in bytes, read as sundrel-split reads a
// size; 0 when it is no size.
std::uint64_t sizeLimitFromText(const QString& text);

template <class Runner> void MainDialog::setSplitRunner(Runner runner) {
  using Result = std::invoke_result_t<Runner&, engine::SplitHost&, settings::SplitSettings&>;
  if constexpr (std::is_void_v<Result>) {
    splitRunner = [runner = std::move(runner)](engine::SplitHost& host,
                                               settings::SplitSettings& run) mutable {
      runner(host, run);
      return engine::SplitReport{};
    };
  } else {
    splitRunner = std::move(runner);
  }
}

} // namespace sundrel::ui
