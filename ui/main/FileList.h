#pragma once
// The main window's list of PDF files: its four columns (file name,
// password, size, modified), the rows the user adds and removes, and the
// rows a run was given. A run walks the rows it counted at its start; rows
// dropped during it are appended and wait for the next run.

#include <QFileIconProvider>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class QTableWidget;
class QWidget;

namespace sundrel::ui {

class PasswordColumn;

class FileList : public QObject {
  Q_OBJECT

public:
  // table: the list control, set up here; window: the parent of the prompts.
  FileList(QTableWidget* table, QWidget* window);

  QTableWidget* table() const { return list; }
  PasswordColumn& passwords() const { return *passwordColumn; }

  // Inserts a row for path before the row now at index (at the end when
  // index is the row count) and fills its four columns.
  void addRow(const QString& path, int index);
  int rowCount() const;
  int selectedCount() const;
  // The selected rows, in list order.
  QList<int> selectedRows() const;
  void removeSelected();
  void clear();

  QString path(int row) const;
  // The "Size" column's text: whole kilobytes and "KB".
  QString sizeText(int row) const;
  // The file's size in bytes when its row was added (the row shows KB).
  std::uint64_t bytes(int row) const;

  // Before a run: asks for the passwords still needed and remembers which
  // rows the run takes; false when the user cancelled the split.
  bool beginRun();
  void endRun();
  // The rows of the run (all rows outside a run), and the list row of one.
  int runRowCount() const;
  int listRow(int runRow) const;

private:
  QTableWidget* list;
  PasswordColumn* passwordColumn;
  QFileIconProvider iconProvider;
  std::optional<QList<int>> runRows; // set while a run goes on
  int runListed = 0;                 // rows listed when it started
};

} // namespace sundrel::ui
