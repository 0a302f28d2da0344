// The Options dialog as the user meets it: opened modally over a fresh
// program directory per test, driven through its controls, checked through
// its controls, the options record and the settings file it leaves behind.

#include "ui/options/OptionsDialog.h"
#include "bridge/EngineRunner.h"
#include "tests/ui/TestModal.h"
#include "ui/options/DialogUnits.h"
#include "ui/options/PageTabCtrl.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <map>

using sundrel::test::control;
using sundrel::ui::DialogUnits;
using sundrel::ui::OptionsDialog;
using sundrel::ui::PageTabCtrl;

namespace {

// The security controls that only the check states enable.
const QList<int> kSecurityIds{1036, 1037, 1038, 1039, 1040, 1041,
                              1042, 1043, 1064, 1065, 1066, 1067};

QList<int> enabledSecurityIds(QDialog* window) {
  QList<int> on;
  for (int id : kSecurityIds)
    if (control(window, id)->isEnabled())
      on << id;
  return on;
}

bool checked(QDialog* window, int id) {
  return control<QCheckBox>(window, id)->isChecked();
}

QWidget* page(QDialog* window, int index) {
  // The pages are the tab control's children that are not its tab strip.
  auto* tabs = control<PageTabCtrl>(window, 1024);
  QList<QWidget*> pages;
  for (QObject* child : tabs->children())
    if (auto* widget = qobject_cast<QWidget*>(child); widget && widget != tabs->tabBar())
      pages << widget;
  return pages.value(index);
}

QList<int> visiblePages(QDialog* window) {
  QList<int> shown;
  for (int index = 0; index < 3; ++index)
    if (page(window, index)->isVisible())
      shown << index;
  return shown;
}

void clickTab(QDialog* window, int index) {
  QTabBar* strip = control<PageTabCtrl>(window, 1024)->tabBar();
  QTest::mouseClick(strip, Qt::LeftButton, {}, strip->tabRect(index).center());
}

void click(QDialog* window, int id) {
  auto* button = control<QAbstractButton>(window, id);
  QVERIFY2(button, qPrintable(QString::number(id)));
  QVERIFY2(button->isVisible() && button->isEnabled(), qPrintable(QString::number(id)));
  QTest::mouseClick(button, Qt::LeftButton);
}

void click(QDialog* window, std::initializer_list<int> ids) {
  for (int id : ids)
    click(window, id);
}

void typeInto(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

} // namespace

class OptionsDialogTest : public QObject {
  Q_OBJECT

private:
  QTemporaryDir* programDir = nullptr;

  // The user's settings file; XDG_CONFIG_HOME points into the test's directory.
  QString settingsPath() const {
    return programDir->filePath(QStringLiteral("config/sundrel/SettingValue.ini"));
  }

  void writeSettings(const QByteArray& text) {
    QDir().mkpath(programDir->filePath(QStringLiteral("config/sundrel")));
    sundrel::test::writeFile(settingsPath(), text);
  }

  QByteArray readSettings() {
    QFile file(settingsPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // Opens the dialog, runs action inside it and answers what doModal returned.
  static int open(OptionsDialog& options, const std::function<void(QDialog*)>& action) {
    auto ran = sundrel::test::onNextModal([&](QWidget* modal) {
      auto* window = qobject_cast<QDialog*>(modal);
      QVERIFY(window);
      QVERIFY(QTest::qWaitForWindowExposed(window));
      action(window);
    });
    const int result = options.doModal();
    if (!*ran)
      QTest::qFail("the dialog never opened", __FILE__, __LINE__);
    return result;
  }

private slots:
  void init() {
    programDir = new QTemporaryDir;
    QVERIFY(programDir->isValid());
    sundrel::bridge::setProgramDirectory(programDir->path().toStdString() + "/");
    qputenv("XDG_CONFIG_HOME", programDir->filePath(QStringLiteral("config")).toLocal8Bit());
    PageTabCtrl::setThemesActive(true);
  }

  void cleanup() {
    sundrel::bridge::setProgramDirectory({});
    qunsetenv("XDG_CONFIG_HOME");
    delete programDir;
    programDir = nullptr;
  }

  void firstOpeningShowsInitialValues() {
    OptionsDialog options;
    const int result = open(options, [](QDialog* window) {
      QCOMPARE(window->windowTitle(), QStringLiteral("Options"));
      QCOMPARE(window->minimumSize(), window->maximumSize());
      QCOMPARE(control(window, 1025)->y(), control(window, 1026)->y()); // OK and Cancel in line
      QCOMPARE(control<PageTabCtrl>(window, 1024)->currentIndex(), 0);
      QCOMPARE(visiblePages(window), QList<int>{0});
      QCOMPARE(control<QComboBox>(window, 1033)->currentText(),
               QStringLiteral("{basename} part {part:0000}"));
      QVERIFY(checked(window, 1027));
      QVERIFY(checked(window, 1034)); // parts carry only their glyphs unless told otherwise
      QCOMPARE(enabledSecurityIds(window), QList<int>{});
      for (int id : {1036, 1037, 1039, 1043})
        QVERIFY(!checked(window, id));
      for (int id : {1041, 1042})
        QCOMPARE(control<QComboBox>(window, id)->currentText(), QStringLiteral("None"));
      // Empty edits; the passwords, too, show what is typed.
      for (int id : {1038, 1040, 1051, 1044, 1045, 1046, 1047, 1048}) {
        QVERIFY(control<QLineEdit>(window, id)->text().isEmpty());
        QCOMPARE(control<QLineEdit>(window, id)->echoMode(), QLineEdit::Normal);
      }
      // Pages lie below the tabs, inside the tab control.
      auto* tabs = control<PageTabCtrl>(window, 1024);
      for (int index = 0; index < 3; ++index) {
        QVERIFY(tabs->rect().contains(page(window, index)->geometry()));
        QVERIFY(page(window, index)->geometry().top() > tabs->itemRect(0).bottom());
      }
      click(window, 1026);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY2(!QFile::exists(settingsPath()), "Cancel wrote the settings file");
  }

  void everyControlShowsAndSpeaksItsCaption() {
    // Buttons and check boxes under their captions, labels with their colon,
    // edits and combo boxes under their labels' captions.
    const std::map<int, QString> captions{
        {1025, "OK"},
        {1026, "Cancel"},
        {1027, "Keep original file encryption"},
        {1036, "Adding Security"},
        {1037, "Require a password to open the document"},
        {1039, "Use a password to restrict permissions"},
        {1043, "Enable copying of text, images, and other content"},
        {1034, "Smaller parts: embed only the glyphs each part uses"},
        {1064, "Document open password:"},
        {1065, "Permissions Password:"},
        {1066, "Print Allowed:"},
        {1067, "Changes Allowed:"},
        {1033, "Name pattern"},
        {1038, "Document open password"},
        {1040, "Permissions Password"},
        {1041, "Print Allowed"},
        {1042, "Changes Allowed"},
        {1051, "Title"},
        {1044, "Subject"},
        {1045, "Author"},
        {1046, "Keywords"},
        {1047, "Creator"},
        {1048, "Producer"}};
    OptionsDialog options;
    open(options, [&](QDialog* window) {
      for (const auto& [id, caption] : captions) {
        QWidget* widget = control(window, id);
        QVERIFY2(widget, qPrintable(QString::number(id)));
        QString shown = widget->accessibleName();
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
          QCOMPARE(button->accessibleName(), caption);
          shown = button->text();
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
          shown = label->text();
        } else if (!qobject_cast<QComboBox*>(widget)) {
          // Qt on Unix reads a combo box's name from its text and its label
          // from the labelled-by relation.
          QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), caption);
        }
        QCOMPARE(shown, caption);
      }
      click(window, 1026);
    });
  }

  void securityControlsEnableInChains() {
    OptionsDialog options;
    open(options, [](QDialog* window) {
      clickTab(window, 1);
      QCOMPARE(visiblePages(window), QList<int>{1});
      click(window, 1027); // keep cleared: only "Adding Security" follows
      QCOMPARE(enabledSecurityIds(window), QList<int>{1036});
      click(window, 1036); // adding: the two password checkboxes, nothing they guard
      QCOMPARE(enabledSecurityIds(window), (QList<int>{1036, 1037, 1039}));
      click(window, 1039); // permissions, but not the open password
      QCOMPARE(enabledSecurityIds(window),
               (QList<int>{1036, 1037, 1039, 1040, 1041, 1042, 1043, 1065, 1066, 1067}));
      click(window, 1037);
      QCOMPARE(enabledSecurityIds(window), kSecurityIds);
      click(window, 1027); // keep again: everything off, no check state touched
      QCOMPARE(enabledSecurityIds(window), QList<int>{});
      for (int id : {1027, 1036, 1037, 1039})
        QVERIFY(checked(window, id));
      click(window, 1027);
      click(window, 1036); // adding cleared: the chain below it goes off
      QCOMPARE(enabledSecurityIds(window), QList<int>{1036});
      QVERIFY(checked(window, 1037) && checked(window, 1039));
      click(window, 1026);
    });
  }

  void enterAndEscapeLeaveTheDialogOpen() {
    writeSettings("[Output Preperies]\nTitle=kept\n");
    OptionsDialog options;
    const int result = open(options, [](QDialog* window) {
      for (int tab = 0; tab < 3; ++tab) {
        clickTab(window, tab);
        QWidget* current = page(window, tab);
        for (QWidget* widget : current->findChildren<QWidget*>()) {
          if (!widget->isEnabled() || widget->focusPolicy() == Qt::NoFocus ||
              !widget->objectName().toInt())
            continue;
          widget->setFocus();
          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
          QVERIFY2(window->isVisible(), qPrintable(widget->objectName()));
        }
      }
      QTest::keyClick(window, Qt::Key_Escape);
      QTest::keyClick(control<PageTabCtrl>(window, 1024)->tabBar(), Qt::Key_Return);
      QVERIFY(window->isVisible());
      QCOMPARE(control<QLineEdit>(window, 1051)->text(), QStringLiteral("kept"));
      QCOMPARE(control<QComboBox>(window, 1033)->count(), 6); // Enter added no pattern
      // Enter on a focused button presses it.
      control(window, 1026)->setFocus();
      QTest::keyClick(control(window, 1026), Qt::Key_Return);
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(!QFile::exists(settingsPath()) || readSettings().contains("Title=kept"));

    const int confirmed = open(options, [](QDialog* window) {
      control(window, 1025)->setFocus();
      QTest::keyClick(control(window, 1025), Qt::Key_Enter);
    });
    QCOMPARE(confirmed, int(QDialog::Accepted));
    QVERIFY(readSettings().contains("TabNumber="));
  }

  void cancelAndCloseBoxKeepTheFile() {
    OptionsDialog options;
    QCOMPARE(open(options,
                  [](QDialog* window) {
                    clickTab(window, 2);
                    typeInto(control<QLineEdit>(window, 1051), QStringLiteral("Confirmed"));
                    click(window, 1025);
                  }),
             int(QDialog::Accepted));
    QCOMPARE(options.settings().docTitle, std::string("Confirmed"));
    const QByteArray saved = readSettings();
    QVERIFY(saved.contains("Title=Confirmed"));

    QCOMPARE(open(options,
                  [](QDialog* window) {
                    QCOMPARE(visiblePages(window), QList<int>{2});
                    typeInto(control<QLineEdit>(window, 1051), QStringLiteral("Cancelled"));
                    clickTab(window, 1);
                    click(window, 1027);
                    click(window, 1026);
                  }),
             int(QDialog::Rejected));
    QCOMPARE(options.settings().docTitle, std::string("Confirmed"));
    QCOMPARE(options.settings().keepEncryption, 1);
    QCOMPARE(readSettings(), saved);

    QCOMPARE(open(options,
                  [](QDialog* window) {
                    typeInto(control<QLineEdit>(window, 1051), QStringLiteral("Closed"));
                    window->close(); // the close box
                  }),
             int(QDialog::Rejected));
    QCOMPARE(readSettings(), saved);

    open(options, [](QDialog* window) {
      QCOMPARE(control<QLineEdit>(window, 1051)->text(), QStringLiteral("Confirmed"));
      QVERIFY(checked(window, 1027));
      click(window, 1026);
    });
  }

  void okReadsEveryControl() {
    OptionsDialog options;
    open(options, [](QDialog* window) {
      control<QComboBox>(window, 1033)->setCurrentIndex(4);
      clickTab(window, 1);
      click(window, {1027, 1036, 1037, 1039, 1043});
      typeInto(control<QLineEdit>(window, 1038), QStringLiteral("open \"me\""));
      typeInto(control<QLineEdit>(window, 1040), QStringLiteral("owner"));
      control<QComboBox>(window, 1041)->setCurrentIndex(2);
      control<QComboBox>(window, 1042)->setCurrentIndex(4);
      clickTab(window, 2);
      const int ids[] = {1051, 1044, 1045, 1046, 1047, 1048};
      for (int id : ids)
        typeInto(control<QLineEdit>(window, id), QStringLiteral("v%1").arg(id));
      click(window, 1025);
    });
    const auto& s = options.settings();
    QCOMPARE(s.namePatternIndex, 4);
    QCOMPARE(s.namePattern, std::string("{basename}.{pagebegin:0000}-{pageend:0000}"));
    QCOMPARE(
        (QList<int>{s.keepEncryption, s.addSecurity, s.requireOpenPassword, s.restrictPermissions,
                    s.copyAllowed, s.printAllowed, s.changesAllowed, s.selectedTab}),
        (QList<int>{0, 1, 1, 1, 1, 2, 4, 2}));
    QCOMPARE(s.openPassword, std::string("open \"me\""));
    QCOMPARE(s.permissionsPassword, std::string("owner"));
    QCOMPARE(s.docTitle, std::string("v1051"));
    QCOMPARE(s.docSubject, std::string("v1044"));
    QCOMPARE(s.docAuthor, std::string("v1045"));
    QCOMPARE(s.docKeywords, std::string("v1046"));
    QCOMPARE(s.docCreator, std::string("v1047"));
    QCOMPARE(s.docProducer, std::string("v1048"));

    // A new dialog object (a restart) finds every value in the file.
    OptionsDialog restarted;
    open(restarted, [](QDialog* window) {
      QCOMPARE(visiblePages(window), QList<int>{2});
      QCOMPARE(control<QComboBox>(window, 1033)->currentIndex(), 4);
      QCOMPARE(control<QComboBox>(window, 1042)->currentIndex(), 4);
      QCOMPARE(control<QLineEdit>(window, 1038)->text(), QStringLiteral("open \"me\""));
      QVERIFY(checked(window, 1043));
      QVERIFY(control(window, 1040)->isEnabled());
      for (int id : {1051, 1044, 1045, 1046, 1047, 1048})
        QCOMPARE(control<QLineEdit>(window, id)->text(), QStringLiteral("v%1").arg(id));
      click(window, 1026);
    });
  }

  void typedPatternHasNoIndex() {
    OptionsDialog options;
    open(options, [](QDialog* window) {
      QLineEdit* field = control<QComboBox>(window, 1033)->lineEdit();
      typeInto(field, QStringLiteral("{basename} vol {part:00}"));
      QTest::keyClick(field, Qt::Key_Return);
      QCOMPARE(control<QComboBox>(window, 1033)->count(), 6);
      click(window, 1025);
    });
    QCOMPARE(options.settings().namePattern, std::string("{basename} vol {part:00}"));
    QCOMPARE(options.settings().namePatternIndex, -1);
    QVERIFY(readSettings().contains("FileName=-1"));

    open(options, [](QDialog* window) {
      auto* pattern = control<QComboBox>(window, 1033);
      QCOMPARE(pattern->currentIndex(), -1);
      QVERIFY(pattern->currentText().isEmpty());
      click(window, 1025);
    });
    QCOMPARE(options.settings().namePatternIndex, -1);
    QCOMPARE(options.settings().namePattern, std::string());
  }

  void fontCheckBoxFollowsItsKey() {
    writeSettings("[Output Fonts]\nSubsetFonts=0\n");
    OptionsDialog options;
    open(options, [](QDialog* window) {
      QVERIFY(!checked(window, 1034));
      click(window, 1034);
      click(window, 1025);
    });
    QVERIFY2(readSettings().contains("SubsetFonts=1"), readSettings().constData());
    QCOMPARE(options.settings().subsetFonts, 1);
  }

  void outOfRangeIndexesShowNoSelection_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("PrintAllow=7") << QByteArray("[Output Security]\nPrintAllow=7\n") << 1041
                                  << QByteArray("PrintAllow=-1");
    QTest::newRow("ChangeAllow=-3") << QByteArray("[Output Security]\r\nChangeAllow=-3\r\n") << 1042
                                    << QByteArray("ChangeAllow=-1");
    QTest::newRow("FileName=6") << QByteArray("[OutputFileName]\nFileName=6\n") << 1033
                                << QByteArray("FileName=-1");
  }

  void outOfRangeIndexesShowNoSelection() {
    QFETCH(QByteArray, file);
    QFETCH(int, id);
    QFETCH(QByteArray, written);
    writeSettings(file);
    OptionsDialog options;
    open(options, [&](QDialog* window) {
      auto* combo = control<QComboBox>(window, id);
      QCOMPARE(combo->currentIndex(), -1);
      QVERIFY(combo->currentText().isEmpty());
      click(window, 1025);
    });
    QVERIFY2(readSettings().contains(written), readSettings().constData());
  }

  void storedTabSelectsThePage_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QList<int>>("pages");
    QTest::newRow("2") << 2 << 2 << QList<int>{2};
    QTest::newRow("1") << 1 << 1 << QList<int>{1};
    QTest::newRow("5") << 5 << 0 << QList<int>{};
  }

  void storedTabSelectsThePage() {
    QFETCH(int, stored);
    QFETCH(int, tab);
    QFETCH(QList<int>, pages);
    writeSettings(QStringLiteral("[TabSelect]\nTabNumber=%1\n").arg(stored).toLatin1());
    OptionsDialog options;
    open(options, [&](QDialog* window) {
      QCOMPARE(control<PageTabCtrl>(window, 1024)->currentIndex(), tab);
      QCOMPARE(visiblePages(window), pages);
      click(window, 1025);
    });
    QVERIFY(readSettings().contains(QStringLiteral("TabNumber=%1").arg(tab).toLatin1()));
    if (stored == 5) {
      // Choosing another tab brings the pages back.
      open(options, [](QDialog* window) {
        clickTab(window, 1);
        QCOMPARE(visiblePages(window), QList<int>{1});
        click(window, 1026);
      });
    }
  }

  void everyTabShowsItsPage_data() { sundrel::test::addThemedRows(); }

  void everyTabShowsItsPage() {
    QFETCH(bool, themed);
    PageTabCtrl::setThemesActive(themed);
    OptionsDialog options;
    open(options, [](QDialog* window) {
      for (int tab : {1, 2, 0, 2, 1}) {
        clickTab(window, tab);
        QCOMPARE(visiblePages(window), QList<int>{tab});
      }
      // The keyboard moves between tabs too.
      QTabBar* strip = control<PageTabCtrl>(window, 1024)->tabBar();
      strip->setFocus();
      QTest::keyClick(strip, Qt::Key_Right);
      QCOMPARE(visiblePages(window), QList<int>{2});
      // Ctrl+Tab turns the pages from inside a page as well.
      control(window, 1051)->setFocus();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
      QCOMPARE(visiblePages(window), QList<int>{0});
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab,
                      Qt::ControlModifier | Qt::ShiftModifier);
      QCOMPARE(visiblePages(window), QList<int>{2});
      click(window, 1026);
    });
  }

  void longTextsComeBackCut() {
    const QString title(1100, QLatin1Char('t'));
    const QString password(300, QLatin1Char('p'));
    OptionsDialog options;
    open(options, [&](QDialog* window) {
      control<QLineEdit>(window, 1051)->setText(title);
      control<QLineEdit>(window, 1038)->setText(password);
      click(window, 1025);
    });
    // The run confirmed with OK uses the texts as typed.
    QCOMPARE(options.settings().docTitle.size(), std::size_t(1100));
    QCOMPARE(options.settings().openPassword.size(), std::size_t(300));
    open(options, [&](QDialog* window) {
      QCOMPARE(control<QLineEdit>(window, 1051)->text(), title.left(1023));
      QCOMPARE(control<QLineEdit>(window, 1038)->text(), password.left(259));
      click(window, 1026);
    });
  }

  void unwritableSettingsKeepNumbersAndAreReportedOnce() {
    // A configuration directory that cannot be made: a plain file is in the
    // way (root ignores permission bits, a plain file stops everyone).
    sundrel::test::writeFile(programDir->filePath(QStringLiteral("plain")), "x");
    qputenv("XDG_CONFIG_HOME", programDir->filePath(QStringLiteral("plain/config")).toLocal8Bit());
    QStringList reports;
    OptionsDialog options;
    options.setSaveFailureHandler([&](QWidget* parent, const QString& text) {
      QVERIFY(parent && parent->isVisible());
      reports << text;
    });
    const int result = open(options, [](QDialog* window) {
      clickTab(window, 1);
      click(window, {1027, 1036, 1037});
      typeInto(control<QLineEdit>(window, 1038), QStringLiteral("secret"));
      clickTab(window, 2);
      typeInto(control<QLineEdit>(window, 1051), QStringLiteral("Title"));
      click(window, 1025);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(options.settings().openPassword, std::string("secret"));
    QCOMPARE(options.settings().docTitle, std::string("Title"));
    open(options, [](QDialog* window) {
      QCOMPARE(visiblePages(window), QList<int>{2});
      QVERIFY(control<QLineEdit>(window, 1051)->text().isEmpty());
      QVERIFY(control<QLineEdit>(window, 1038)->text().isEmpty());
      QVERIFY(!checked(window, 1027));
      QVERIFY(checked(window, 1037));
      QVERIFY(control(window, 1038)->isEnabled());
      click(window, 1025);
    });
    // The user hears of it once, over the Options window, with the place.
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports[0].contains(programDir->filePath(QStringLiteral("plain/config"))),
             qPrintable(reports[0]));
  }

  void unreadableSettingsAreToldOverTheWindow() {
    writeSettings(QByteArray("\xFF\xFE[\0O", 5)); // UTF-16 cut in the middle of a character
    QStringList reports;
    OptionsDialog options;
    options.setSaveFailureHandler([&](QWidget* parent, const QString& text) {
      QVERIFY(parent && parent->isVisible());
      reports << text;
    });
    open(options, [&](QDialog* window) {
      QTRY_COMPARE(reports.size(), 1);
      click(window, 1026);
    });
    QVERIFY2(reports[0].contains(settingsPath()) && reports[0].contains(QStringLiteral("cut")),
             qPrintable(reports[0]));
  }

  void keyboardAndAssistiveTechnologyReachEveryPage() {
    OptionsDialog options;
    open(options, [](QDialog* window) {
      clickTab(window, 1);
      click(window, {1027, 1036, 1037, 1039});
      auto* strip = control<PageTabCtrl>(window, 1024)->tabBar();
      strip->setFocus();
      QStringList reached;
      for (int step = 0; step < 14; ++step) {
        reached << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      }
      QCOMPARE(reached.mid(1, 11), (QStringList{"1027", "1036", "1037", "1038", "1039", "1040",
                                                "1041", "1042", "1043", "1025", "1026"}));

      bool labelled = false;
      QAccessibleInterface* print = QAccessible::queryAccessibleInterface(control(window, 1041));
      for (const auto& relation : print->relations(QAccessible::Label))
        labelled |= relation.first->object() == control(window, 1066);
      QVERIFY(labelled);
      QCOMPARE(control<QLabel>(window, 1064)->buddy(), control(window, 1038));

      // The tabs are page tabs under their texts.
      QAccessibleInterface* list = QAccessible::queryAccessibleInterface(strip);
      QCOMPARE(list->role(), QAccessible::PageTabList);
      QVERIFY(list->childCount() >= 3); // Qt adds its (hidden) scroll buttons
      const QStringList captions{"File Name Pattern", "Output Security", "Output Properties"};
      for (int i = 0; i < 3; ++i) {
        QCOMPARE(list->child(i)->role(), QAccessible::PageTab);
        QCOMPARE(list->child(i)->text(QAccessible::Name), captions[i]);
      }
      click(window, 1026);
    });
  }

  void reopeningBuildsAFreshWindow() {
    OptionsDialog options;
    QPointer<QDialog> first;
    open(options, [&](QDialog* window) {
      first = window;
      QCOMPARE(options.window(), window);
      click(window, 1026);
    });
    QVERIFY(first.isNull()); // destroyed at close
    QVERIFY(!options.window());
    QCOMPARE(open(options, [](QDialog* window) { click(window, 1026); }), int(QDialog::Rejected));
  }
};

QTEST_MAIN(OptionsDialogTest)
#include "OptionsDialogTest.moc"
