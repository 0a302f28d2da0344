#include "ui/main/PasswordColumn.h"

#include "ui/main/PasswordDialog.h"
#include "ui/main/ProtectionCheck.h"

#include <QAction>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QTableWidget>

namespace sundrel::ui {

namespace {
constexpr int kPathColumn = 0;
constexpr int kColumn = 1;
constexpr int kDetectedRole = Qt::UserRole; // the State the check found, without "Set"
} // namespace

PasswordColumn::PasswordColumn(QTableWidget* fileList, QWidget* parentWindow)
    : QObject(fileList), list(fileList), window(parentWindow), checker(new ProtectionChecker(this)),
      action(new QAction(tr("Set Password..."), this)) {
  action->setObjectName(QStringLiteral("setPassword"));
  action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  // Right click, the menu key and Shift+F10 open it; the shortcut works in
  // the list.
  list->addAction(action);
  list->setContextMenuPolicy(Qt::ActionsContextMenu);
  list->installEventFilter(this);
  connect(action, &QAction::triggered, this, &PasswordColumn::askForSelectedRows);
  connect(checker, &ProtectionChecker::checked, this, &PasswordColumn::onChecked);
}

PasswordColumn::~PasswordColumn() = default;

QString PasswordColumn::text(State state) {
  switch (state) {
  case State::Checking:
    return tr("Checking...");
  case State::Required:
    return tr("Required");
  case State::Set:
    return tr("Set");
  case State::Wrong:
    return tr("Wrong");
  case State::None:
    break;
  }
  return tr("None");
}

QString PasswordColumn::path(int row) const {
  const QTableWidgetItem* item = list->item(row, kPathColumn);
  return item ? item->text() : QString();
}

PasswordColumn::State PasswordColumn::state(int row) const {
  const QTableWidgetItem* item = list->item(row, kColumn);
  if (!item)
    return State::None;
  if (passwords.contains(path(row)))
    return State::Set;
  return State(item->data(kDetectedRole).toInt());
}

QString PasswordColumn::password(int row) const {
  return passwords.value(path(row));
}

void PasswordColumn::show(int row, State detected) {
  QTableWidgetItem* item = list->item(row, kColumn);
  if (!item) {
    item = new QTableWidgetItem;
    list->setItem(row, kColumn, item);
  }
  item->setData(kDetectedRole, int(detected));
  item->setText(text(state(row)));
}

void PasswordColumn::refreshPath(const QString& listedPath) {
  for (int row = 0; row < list->rowCount(); ++row)
    if (path(row) == listedPath)
      show(row, State(list->item(row, kColumn)->data(kDetectedRole).toInt()));
}

void PasswordColumn::rowAdded(int row) {
  show(row, checker->check(path(row)) ? State::Checking : State::None);
}

void PasswordColumn::onChecked(const QString& absolutePath, Protection protection) {
  for (int row = 0; row < list->rowCount(); ++row) {
    const QTableWidgetItem* item = list->item(row, kColumn);
    if (item && State(item->data(kDetectedRole).toInt()) == State::Checking &&
        QFileInfo(path(row)).absoluteFilePath() == absolutePath)
      show(row, protection == Protection::Required ? State::Required : State::None);
  }
}

void PasswordColumn::rowsRemoved() {
  QSet<QString> listed;
  QSet<QString> listedAbsolute;
  for (int row = 0; row < list->rowCount(); ++row) {
    listed.insert(path(row));
    listedAbsolute.insert(QFileInfo(path(row)).absoluteFilePath());
  }
  for (auto it = passwords.begin(); it != passwords.end();)
    it = listed.contains(it.key()) ? std::next(it) : passwords.erase(it);
  checker->dropUnlisted(listedAbsolute);
}

void PasswordColumn::askForSelectedRows() {
  QStringList paths;
  for (const QModelIndex& index : list->selectionModel()->selectedRows())
    if (!paths.contains(path(index.row())))
      paths << path(index.row());
  if (paths.isEmpty() || !action->isEnabled())
    return;
  const QString prompt =
      paths.size() == 1
          ? tr("Enter the password that opens this file. Leave it empty to remove a password "
               "given before.")
          : tr("Enter the password that opens the %n selected files. Leave it empty to remove "
               "a password given before.",
               nullptr, int(paths.size()));
  PasswordDialog dialog(window, prompt, paths.size() == 1 ? paths.first() : QString(), false, true);
  if (dialog.exec() != PasswordDialog::Given)
    return;
  for (const QString& listed : paths) {
    if (dialog.password().isEmpty())
      passwords.remove(listed);
    else
      passwords.insert(listed, dialog.password());
    refreshPath(listed);
  }
}

std::optional<QList<int>> PasswordColumn::prepareRun() {
  checker->waitUntilIdle();
  QSet<QString> skipped;
  QList<int> rows;
  for (int row = 0; row < list->rowCount(); ++row) {
    const QString listed = path(row);
    const State now = state(row);
    if (!skipped.contains(listed) && (now == State::Required || now == State::Wrong)) {
      const QString prompt =
          now == State::Wrong
              ? tr("The password given for this file was wrong. Enter the password that opens "
                   "it, or skip the file in this split.")
              : tr("This file is protected. Enter the password that opens it, or skip the "
                   "file in this split.");
      PasswordDialog dialog(window, prompt, listed, true, false);
      const int answer = dialog.exec();
      if (answer == PasswordDialog::Cancelled)
        return std::nullopt;
      if (answer == PasswordDialog::Skipped) {
        skipped.insert(listed);
      } else {
        passwords.insert(listed, dialog.password());
        refreshPath(listed);
      }
    }
    if (!skipped.contains(listed))
      rows << row;
  }
  return rows;
}

bool PasswordColumn::eventFilter(QObject* watched, QEvent* event) {
  if (watched != list || event->type() != QEvent::KeyPress)
    return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_F10 || key->modifiers() != Qt::ShiftModifier)
    return false;
  // Under the current row, as the menu key places it.
  const QRect current = list->visualRect(list->currentIndex());
  const QPoint at = current.isValid() ? current.bottomLeft() : QPoint(0, 0);
  QMenu::exec(list->actions(), list->viewport()->mapToGlobal(at), nullptr, list);
  return true;
}

void PasswordColumn::passwordRefused(const QString& refusedPath) {
  const bool hadPassword = passwords.remove(refusedPath) > 0;
  for (int row = 0; row < list->rowCount(); ++row)
    if (path(row) == refusedPath)
      show(row, hadPassword ? State::Wrong : State::Required);
}

} // namespace sundrel::ui
