#pragma once
// The file list's "Password" column and the open passwords the user gave.
// Each new row is checked in the background; the column then says "None"
// or "Required", "Set" once a password is given (never the password), and
// "Wrong" after the engine refused one. Passwords are kept per listed path,
// in memory only, and forgotten when no row lists the path any more.

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

class QAction;
class QTableWidget;
class QWidget;

namespace sundrel::ui {

class ProtectionChecker;
enum class Protection;

class PasswordColumn : public QObject {
  Q_OBJECT

public:
  enum class State { None, Checking, Required, Set, Wrong };

  // list: the file list (path in column 0, this column is 1); window: the
  // parent of the prompts.
  PasswordColumn(QTableWidget* list, QWidget* window);
  ~PasswordColumn() override;

  // A row was inserted: its check starts (without an engine it shows "None").
  void rowAdded(int row);
  // Rows were deleted: passwords of paths no longer listed are forgotten.
  void rowsRemoved();

  // "Set Password..." for the selected rows: one prompt for all of them; an
  // empty answer removes the password.
  void askForSelectedRows();
  // The command, for the list's context menu and its shortcut; the window
  // enables it.
  QAction* setPasswordAction() const { return action; }

  // Before a run: waits for the checks still going, then asks for each file
  // that needs a password and has none. The rows to split, in list order;
  // nullopt when the user cancelled the split.
  std::optional<QList<int>> prepareRun();

  // The password given for the row's file; empty when none.
  QString password(int row) const;
  State state(int row) const;

  // The engine could not open path for want of its password (or the given
  // one was wrong).
  void passwordRefused(const QString& path);

  static QString text(State state);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QString path(int row) const;
  void show(int row, State detected);
  void refreshPath(const QString& listedPath);
  void onChecked(const QString& absolutePath, Protection protection);

  QTableWidget* list;
  QWidget* window;
  ProtectionChecker* checker;
  QAction* action;
  QHash<QString, QString> passwords; // listed path -> open password
};

} // namespace sundrel::ui
