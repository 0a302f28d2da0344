#include "ui/main/FileList.h"

#include "ui/main/FileListText.h"
#include "ui/main/PasswordColumn.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableWidget>

#include <algorithm>
#include <array>

namespace sundrel::ui {

namespace {

constexpr int kNameColumn = 0;
constexpr int kSizeColumn = 2;
constexpr int kModifiedColumn = 3;
// The file's size in bytes, kept beside the "KB" text the row shows.
constexpr int kBytesRole = Qt::UserRole;

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

void setUpColumns(QTableWidget* list, const QWidget* window) {
  list->setColumnCount(int(kColumns.size()));
  QStringList headers;
  for (const auto& column : kColumns)
    headers << QCoreApplication::translate("sundrel::ui::MainDialog", column.header);
  list->setHorizontalHeaderLabels(headers);
  for (int c = 0; c < int(kColumns.size()); ++c)
    list->setColumnWidth(c, kColumns[std::size_t(c)].width);

  QHeaderView* header = list->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setSectionsMovable(true);    // headers can be reordered by dragging
  header->setSectionsClickable(false); // clicking a header neither sorts nor selects
  header->setHighlightSections(false);
  list->verticalHeader()->hide();
  const int rowHeight = std::max(window->fontMetrics().height() + 4, 20);
  list->verticalHeader()->setMinimumSectionSize(rowHeight);
  list->verticalHeader()->setDefaultSectionSize(rowHeight);
}

} // namespace

FileList::FileList(QTableWidget* table, QWidget* window) : QObject(table), list(table) {
  setUpColumns(list, window);
  list->setShowGrid(true);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setSortingEnabled(false);
  list->setWordWrap(false);
  list->setTextElideMode(Qt::ElideMiddle); // keeps the file name of a long path visible
  list->setIconSize(QSize(16, 16));
  list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  list->setTabKeyNavigation(false);
  passwordColumn = new PasswordColumn(list, window);
}

void FileList::addRow(const QString& path, int index) {
  const QFileInfo info(path);
  const bool exists = info.exists();
  const qint64 size = exists ? info.size() : 0;
  const QString timeText =
      exists ? formatModifiedText(info.fileTime(QFileDevice::FileModificationTime)) : QString();

  index = std::clamp(index, 0, list->rowCount());
  list->insertRow(index);
  auto* nameItem = new QTableWidgetItem(iconProvider.icon(info), path);
  nameItem->setToolTip(path);
  list->setItem(index, kNameColumn, nameItem);
  auto* sizeItem = new QTableWidgetItem(formatSizeText(size));
  sizeItem->setData(kBytesRole, QVariant::fromValue<qulonglong>(qulonglong(size)));
  list->setItem(index, kSizeColumn, sizeItem);
  list->setItem(index, kModifiedColumn, new QTableWidgetItem(timeText));
  passwordColumn->rowAdded(index);
}

int FileList::rowCount() const {
  return list->rowCount();
}

int FileList::selectedCount() const {
  return int(list->selectionModel()->selectedRows().size());
}

QList<int> FileList::selectedRows() const {
  QList<int> rows;
  for (const QModelIndex& index : list->selectionModel()->selectedRows())
    rows << index.row();
  std::sort(rows.begin(), rows.end());
  return rows;
}

void FileList::removeSelected() {
  const QList<int> rows = selectedRows();
  for (auto row = rows.crbegin(); row != rows.crend(); ++row)
    list->removeRow(*row);
  passwordColumn->rowsRemoved();
}

void FileList::clear() {
  list->setRowCount(0);
  passwordColumn->rowsRemoved();
}

QString FileList::path(int row) const {
  const QTableWidgetItem* item = list->item(row, kNameColumn);
  return item ? item->text() : QString();
}

QString FileList::sizeText(int row) const {
  const QTableWidgetItem* item = list->item(row, kSizeColumn);
  return item ? item->text() : QString();
}

std::uint64_t FileList::bytes(int row) const {
  const QTableWidgetItem* item = list->item(row, kSizeColumn);
  return item ? item->data(kBytesRole).toULongLong() : 0;
}

bool FileList::beginRun() {
  // Protected files without a password are asked for (or skipped) now, so
  // the run itself needs nobody at the keyboard.
  runRows = passwordColumn->prepareRun();
  runListed = list->rowCount();
  return runRows.has_value();
}

void FileList::endRun() {
  runRows.reset();
}

int FileList::runRowCount() const {
  return runRows ? int(runRows->size()) + list->rowCount() - runListed : list->rowCount();
}

// A run leaves out the files the user chose to skip at its start; rows
// dropped during it follow.
int FileList::listRow(int runRow) const {
  if (!runRows || runRow < 0)
    return runRow;
  return runRow < runRows->size() ? runRows->at(runRow) : runListed + runRow - int(runRows->size());
}

} // namespace sundrel::ui
