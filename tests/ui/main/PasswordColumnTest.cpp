// Protected sources in the main window: the background check fills the
// "Password" column, "Set Password..." works from the keyboard, Begin Split
// asks for missing passwords (or skips the file), a refused password shows
// on its row, and no password is shown or written anywhere.

#include "ui/main/PasswordColumn.h"
#include "bridge/EngineRunner.h"
#include "tests/ui/TestModal.h"
#include "ui/main/MainDialog.h"
#include "ui/main/MessageBox.h"
#include "ui/main/PasswordDialog.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace sundrel;
using test::control;
using ui::MainDialog;
using ui::PasswordDialog;

namespace {

constexpr const char* kPassword = "Tr0ub4dor&3";

QStringList columnTexts(QTableWidget* list, int column) {
  QStringList texts;
  for (int row = 0; row < list->rowCount(); ++row)
    texts << list->item(row, column)->text();
  return texts;
}

// Answers the Options dialog with OK, then lets next answer the dialog that
// follows it (scheduled only now: two waiting answers would both take the
// Options dialog).
std::shared_ptr<bool> okOptionsThen(std::function<void()> next) {
  return test::onNextModal([next = std::move(next)](QWidget* options) {
    QTest::mouseClick(control<QPushButton>(options, 1025), Qt::LeftButton);
    if (next)
      next();
  });
}

// Answers a password prompt: checks what it shows, types text, presses a
// button ("ok", "skip" or "cancel"), then lets next answer the prompt after.
std::shared_ptr<bool> answerPrompt(QString text, QString button, bool expectSkip,
                                   QString promptPart = {}, std::function<void()> next = {}) {
  return test::onNextModalOf<PasswordDialog>([=](PasswordDialog* prompt) {
    auto* edit = prompt->findChild<QLineEdit*>(QStringLiteral("password"));
    QVERIFY(edit);
    QCOMPARE(edit->echoMode(), QLineEdit::Password);
    QCOMPARE(prompt->findChild<QPushButton*>(QStringLiteral("skip")) != nullptr, expectSkip);
    if (!promptPart.isEmpty()) {
      const QString shown = prompt->findChild<QLabel*>(QStringLiteral("prompt"))->text();
      QVERIFY2(shown.contains(promptPart), qPrintable(shown));
    }
    QTest::keyClicks(edit, text);
    QTest::mouseClick(prompt->findChild<QPushButton*>(button), Qt::LeftButton);
    if (next)
      next();
  });
}

struct Seen {
  QStringList paths;
  QStringList passwords;
};

} // namespace

class PasswordColumnTest : public QObject {
  Q_OBJECT

  QTemporaryDir programDir;
  QTemporaryDir work;
  std::unique_ptr<MainDialog> dialog;
  QList<ui::MessageRequest> messages;
  QString open, aesUser, rc4User, rc4Both, ownerOnly, damaged;

  QTableWidget* list() const { return control<QTableWidget>(dialog.get(), ui::ids::FileList); }

  QString encrypted(const QString& name, const QStringList& encryptArgs) {
    const QString path = work.filePath(name);
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"),
               QStringList{QStringLiteral("--allow-weak-crypto"), QStringLiteral("--encrypt")} +
                   encryptArgs + QStringList{QStringLiteral("--"), open, path});
    if (!qpdf.waitForFinished(30000) || qpdf.exitCode() != 0)
      qWarning("qpdf: %s", qpdf.readAllStandardError().constData());
    return path;
  }

  void add(const QStringList& paths) {
    for (const QString& path : paths)
      dialog->addFileRow(path, list()->rowCount());
    dialog->updateControlStates();
  }
  // Waits for every check of the listed rows.
  void settle() {
    QTRY_VERIFY_WITH_TIMEOUT(!columnTexts(list(), 1).contains(QStringLiteral("Checking...")),
                             30000);
  }
  void select(int row) {
    list()->setFocus();
    list()->clearSelection();
    list()->selectRow(row);
  }
  // A run that records the rows it was given and their passwords.
  void recordRuns(Seen& seen, std::function<void(engine::SplitHost&)> during = {}) {
    dialog->setSplitRunner([&seen, during](engine::SplitHost& host, settings::SplitSettings&) {
      seen = {};
      for (int row = 0; row < host.rowCount(); ++row) {
        seen.paths << QString::fromStdString(host.rowPath(row));
        seen.passwords << QString::fromStdString(host.rowPassword(row));
      }
      if (during)
        during(host);
    });
  }

private slots:
  void initTestCase() {
    const QString engine =
        QDir(qEnvironmentVariable("SUNDREL_BIN_DIR")).filePath(QStringLiteral("tovix.dll"));
    if (!QFileInfo::exists(engine) || QStandardPaths::findExecutable("qpdf").isEmpty())
      QSKIP("the engine or qpdf is not there");
    QVERIFY(QFile::link(engine, programDir.filePath(QStringLiteral("tovix.dll"))));
    bridge::setProgramDirectory(programDir.path().toStdString());

    open = work.filePath(QStringLiteral("open.pdf"));
    QCOMPARE(QProcess::execute(QStringLiteral("qpdf"), {QStringLiteral("--empty"), open}), 0);
    aesUser =
        encrypted(QStringLiteral("aes-user.pdf"),
                  {kPassword, kPassword, QStringLiteral("128"), QStringLiteral("--use-aes=y")});
    rc4User = encrypted(QStringLiteral("rc4-40.pdf"), {kPassword, kPassword, QStringLiteral("40")});
    rc4Both = encrypted(
        QStringLiteral("rc4-128-both.pdf"),
        {kPassword, QStringLiteral("owner"), QStringLiteral("128"), QStringLiteral("--use-aes=n")});
    ownerOnly = encrypted(
        QStringLiteral("owner-only.pdf"),
        {QString(), QStringLiteral("owner"), QStringLiteral("128"), QStringLiteral("--use-aes=y")});
    damaged = work.filePath(QStringLiteral("damaged.pdf"));
    test::writeFile(damaged, "%PDF-1.4\nnot really\n");
  }

  void init() {
    messages.clear();
    ui::setMessageBoxHook([this](const ui::MessageRequest& request) {
      messages << request;
      return QMessageBox::Ok;
    });
    dialog = std::make_unique<MainDialog>();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
  }

  void cleanup() {
    dialog.reset();
    ui::setMessageBoxHook({});
  }

  void detectionNamesProtectedFiles() {
    // Dropped as a folder's worth at once: the window stays usable meanwhile.
    QList<QUrl> urls;
    for (const QString& path : {open, aesUser, rc4User, rc4Both, ownerOnly, damaged})
      urls << QUrl::fromLocalFile(path);
    dialog->onDropFiles(urls);
    QCOMPARE(list()->item(0, 1)->text(), QStringLiteral("Checking..."));
    settle();
    // An owner password alone does not stop opening; a file the engine
    // cannot read at all is left to the run to report.
    QCOMPARE(columnTexts(list(), 1),
             QStringList({"None", "Required", "Required", "Required", "None", "None"}));
    QCOMPARE(columnTexts(list(), 0).first(), open); // the other columns keep their contract
    QVERIFY(columnTexts(list(), 2).first().endsWith(QLatin1String("KB")));
  }

  void setPasswordFromTheKeyboard() {
    add({open, aesUser});
    settle();
    auto* action = dialog->passwords().setPasswordAction();
    list()->clearSelection();
    dialog->updateControlStates();
    QVERIFY(!action->isEnabled());

    // Shift+F10 opens the list's menu; Enter takes its only command.
    select(1);
    QVERIFY(action->isEnabled());
    bool menuShown = false;
    QTimer::singleShot(100, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu)
        return;
      menuShown = menu->actions().contains(action);
      QTest::keyClick(menu, Qt::Key_Down);
      QTest::keyClick(menu, Qt::Key_Return);
    });
    auto answered = answerPrompt(QString::fromLatin1(kPassword), QStringLiteral("ok"), false);
    QTest::keyClick(list(), Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(menuShown);
    QTRY_VERIFY(*answered);
    QCOMPARE(columnTexts(list(), 1), QStringList({"None", "Set"}));
    QCOMPARE(dialog->rowPassword(1), std::string(kPassword));
    QCOMPARE(dialog->rowPassword(0), std::string());
    // Assistive technology reads the column too: never the password.
    QAccessibleTableInterface* cells =
        QAccessible::queryAccessibleInterface(list())->tableInterface();
    QCOMPARE(cells->cellAt(1, 1)->text(QAccessible::Name), QStringLiteral("Set"));

    // The shortcut, and an empty answer takes the password away again.
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    list()->setFocus();
    answered = answerPrompt(QString(), QStringLiteral("ok"), false);
    QTest::keySequence(list(), action->shortcut());
    QVERIFY(*answered);
    QCOMPARE(columnTexts(list(), 1), QStringList({"None", "Required"}));
    QCOMPARE(dialog->rowPassword(1), std::string());
  }

  void beginSplitAsksSkipsOrCancels() {
    add({open, aesUser, rc4User, aesUser});
    settle();
    Seen seen;
    recordRuns(seen);

    // Asked once per file; the skipped one leaves the run, not the list.
    auto options = okOptionsThen([] {
      answerPrompt(QString::fromLatin1(kPassword), QStringLiteral("ok"), true,
                   QStringLiteral("protected"),
                   [] { answerPrompt(QString(), QStringLiteral("skip"), true); });
    });
    QTest::mouseClick(dialog->control(ui::ids::BeginSplit), Qt::LeftButton);
    QVERIFY(*options);
    QCOMPARE(seen.paths, QStringList({open, aesUser, aesUser}));
    QCOMPARE(seen.passwords, QStringList({"", kPassword, kPassword}));
    QCOMPARE(columnTexts(list(), 1), QStringList({"None", "Set", "Required", "Set"}));
    QCOMPARE(list()->rowCount(), 4);
    QVERIFY(!dialog->isBusy());

    // Cancel at the prompt: no run, the window idle again.
    seen = {};
    options = okOptionsThen([] { answerPrompt(QString(), QStringLiteral("cancel"), true); });
    QTest::mouseClick(dialog->control(ui::ids::BeginSplit), Qt::LeftButton);
    QVERIFY(*options);
    QVERIFY(seen.paths.isEmpty());
    QVERIFY(!dialog->isBusy());
    QVERIFY(dialog->control(ui::ids::BeginSplit)->isEnabled());
  }

  void refusedPasswordShowsOnItsRow() {
    add({aesUser, rc4User});
    settle();
    select(0);
    auto answered = answerPrompt(QStringLiteral("wrong"), QStringLiteral("ok"), false);
    dialog->passwords().setPasswordAction()->trigger();
    QVERIFY(*answered);

    // The engine refuses the given password and finds none for the other.
    Seen seen;
    recordRuns(seen, [](engine::SplitHost& host) {
      host.fileFailed(host.rowPath(0), "Failed to open PDF file: " + host.rowPath(0) +
                                           ": the given input_pw password is incorrect");
      host.fileFailed(host.rowPath(1), "Failed to open PDF file: " + host.rowPath(1) +
                                           ": OWNER OR USER PASSWORD REQUIRED, but not given");
    });
    auto options = okOptionsThen([] {
      answerPrompt(QString(), QStringLiteral("skip"), true); // rc4User, not given yet
    });
    QTest::mouseClick(dialog->control(ui::ids::BeginSplit), Qt::LeftButton);
    QVERIFY(*options);
    QCOMPARE(seen.passwords, QStringList({"wrong"}));
    QCOMPARE(columnTexts(list(), 1).first(), QStringLiteral("Wrong"));
    QCOMPARE(dialog->rowPassword(0), std::string());

    // The next Begin Split says so and asks again.
    recordRuns(seen);
    options = okOptionsThen([] {
      answerPrompt(QString::fromLatin1(kPassword), QStringLiteral("ok"), true,
                   QStringLiteral("wrong"),
                   [] { answerPrompt(QString(), QStringLiteral("skip"), true); });
    });
    QTest::mouseClick(dialog->control(ui::ids::BeginSplit), Qt::LeftButton);
    QVERIFY(*options);
    QCOMPARE(seen.passwords, QStringList({kPassword}));
  }

  void passwordsLiveOnlyWhileListed() {
    add({aesUser});
    settle();
    select(0);
    auto answered = answerPrompt(QString::fromLatin1(kPassword), QStringLiteral("ok"), false);
    dialog->passwords().setPasswordAction()->trigger();
    QVERIFY(*answered);
    Seen seen;
    recordRuns(seen);
    auto options = okOptionsThen({});
    QTest::mouseClick(dialog->control(ui::ids::BeginSplit), Qt::LeftButton);
    QVERIFY(*options);
    QCOMPARE(seen.passwords, QStringList({kPassword}));

    // Nothing of it in the settings file the Options dialog saved.
    for (const QFileInfo& file : QDir(programDir.path()).entryInfoList(QDir::Files)) {
      if (file.isSymLink())
        continue; // the engine
      QFile saved(file.filePath());
      QVERIFY(saved.open(QIODevice::ReadOnly));
      QVERIFY2(!saved.readAll().contains(kPassword), qPrintable(file.fileName()));
    }
    // Deleted and listed again: the password is gone with the row.
    select(0);
    QTest::keyClick(list(), Qt::Key_Delete);
    add({aesUser});
    settle();
    QCOMPARE(columnTexts(list(), 1), QStringList({"Required"}));
  }
};

QTEST_MAIN(PasswordColumnTest)
#include "PasswordColumnTest.moc"
