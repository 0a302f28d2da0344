// The About box and its link controls: targets, colours and hover, the click
// with its failure message, the fallback command line and its launch codes.

#include "ui/main/AboutDialog.h"
#include "tests/ui/TestModal.h"
#include "ui/main/HyperlinkStatic.h"
#include "ui/main/LinkOpener.h"
#include "ui/main/MainDialog.h"
#include "ui/main/MessageBox.h"

#include <QAccessible>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace sundrel;
using ui::HyperlinkStatic;

class AboutDialogTest : public QObject {
  Q_OBJECT

private slots:
  void init();
  void cleanup();

  void aboutBoxLinks();
  void aboutOpensFromMainWindowAndClosesWithKeys();
  void bindTakesTextOrTarget();
  void hoverRepaintsInHoverColour();
  void clickSuccessMarksVisited();
  void failedClickAfterSuccessTurnsUnvisited();
  void failureMessages_data();
  void failureMessages();
  void fallbackCommandLine_data();
  void fallbackCommandLine();
  void launchCodes();
  void defaultHtmlHandlerFromMimeAppsList();
  void linkIsAnAccessibleLink();

private:
  QList<ui::MessageRequest> messages;
};

void AboutDialogTest::init() {
  messages.clear();
  ui::setMessageBoxHook([this](const ui::MessageRequest& request) {
    messages << request;
    return QMessageBox::Ok;
  });
}

void AboutDialogTest::cleanup() {
  ui::setMessageBoxHook({});
}

void AboutDialogTest::aboutBoxLinks() {
  ui::AboutDialog about;
  about.show();
  QVERIFY(QTest::qWaitForWindowExposed(&about));
  QCOMPARE(about.windowTitle(), QStringLiteral("About Orvane Sundrel 2.0"));
  QCOMPARE(about.minimumSize(), about.maximumSize());

  HyperlinkStatic* web = test::control<HyperlinkStatic>(&about, 1073);
  HyperlinkStatic* email = test::control<HyperlinkStatic>(&about, 1074);
  QVERIFY(web && email);
  QCOMPARE(web->url(), QLatin1String(ui::kProductWebAddress));
  QCOMPARE(email->url(), QStringLiteral("mailto:%1").arg(QLatin1String(ui::kSupportEmailAddress)));
  QVERIFY(web->text().startsWith(QLatin1String("Web: ")));
  QVERIFY(email->text().startsWith(QLatin1String("Email: ")));
  QCOMPARE(web->toolTip(), web->url());
  QCOMPARE(email->toolTip(), email->url());
  for (HyperlinkStatic* link : {web, email}) {
    QVERIFY(!link->hasUnderline());
    QVERIFY(!link->font().underline());
    QCOMPARE(link->textColour(), QColor(0, 0, 238));
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    // Fitted to its text, anchored at its left edge.
    QCOMPARE(link->width(), link->fontMetrics().horizontalAdvance(link->text()));
  }
  auto* ok = test::control<QPushButton>(&about, 1);
  QVERIFY(ok && ok->isDefault());
}

void AboutDialogTest::aboutOpensFromMainWindowAndClosesWithKeys() {
  ui::MainDialog dialog;
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
    auto closed = test::onNextModalOf<ui::AboutDialog>([key](ui::AboutDialog* about) {
      QCOMPARE(about->windowTitle(), QStringLiteral("About Orvane Sundrel 2.0"));
      QTest::keyClick(about, Qt::Key(key));
    });
    QTest::mouseClick(dialog.control(ui::ids::About), Qt::LeftButton);
    QVERIFY(*closed);
    QVERIFY(dialog.isVisible());
  }
}

void AboutDialogTest::bindTakesTextOrTarget() {
  QWidget parent;
  HyperlinkStatic fromText(QStringLiteral("https://example.org/a"), &parent);
  fromText.bind();
  QCOMPARE(fromText.url(), QStringLiteral("https://example.org/a"));
  QCOMPARE(fromText.toolTip(), fromText.url());
  QVERIFY(fromText.font().underline());

  HyperlinkStatic fromTarget(&parent);
  fromTarget.setUrl(QStringLiteral("https://example.org/b"));
  fromTarget.bind();
  QCOMPARE(fromTarget.text(), QStringLiteral("https://example.org/b"));
}

void AboutDialogTest::hoverRepaintsInHoverColour() {
  QWidget parent;
  HyperlinkStatic link(QStringLiteral("https://example.org/"), &parent);
  link.bind();
  parent.show();
  QVERIFY(QTest::qWaitForWindowExposed(&parent));
  QVERIFY(link.hoverColour.isValid());

  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QCoreApplication::sendEvent(&link, &enter);
  QVERIFY(link.isOverControl());
  QCOMPARE(link.textColour(), link.hoverColour);

  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&link, &leave);
  QVERIFY(!link.isOverControl());
  QCOMPARE(link.textColour(), link.linkColour);
  link.setVisited(true);
  QCoreApplication::sendEvent(&link, &enter);
  QCoreApplication::sendEvent(&link, &leave);
  QCOMPARE(link.textColour(), link.visitedColour);
}

void AboutDialogTest::clickSuccessMarksVisited() {
  QWidget parent;
  HyperlinkStatic link(QStringLiteral("https://example.org/"), &parent);
  link.bind();
  QStringList opened;
  link.setOpener([&](const QString& target) {
    opened << target;
    return ui::kLaunchSucceeded;
  });
  parent.show();
  QVERIFY(QTest::qWaitForWindowExposed(&parent));
  QTest::mouseClick(&link, Qt::LeftButton);
  QCOMPARE(opened, QStringList({QStringLiteral("https://example.org/")}));
  QVERIFY(link.isVisited());
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&link, &leave);
  QCOMPARE(link.textColour(), QColor(85, 26, 139));
  QVERIFY(messages.isEmpty());

  // Space opens it from the keyboard too.
  QTest::keyClick(&link, Qt::Key_Space);
  QCOMPARE(opened.size(), 2);
}

void AboutDialogTest::failedClickAfterSuccessTurnsUnvisited() {
  QWidget parent;
  HyperlinkStatic link(QStringLiteral("https://example.org/"), &parent);
  link.bind();
  int result = ui::kLaunchSucceeded;
  link.setOpener([&](const QString&) { return result; });
  link.onClicked();
  QVERIFY(link.isVisited());
  result = 31;
  link.onClicked();
  QVERIFY(!link.isVisited());
  QCOMPARE(link.textColour(), link.linkColour);
  QCOMPARE(messages.size(), 1);
}

void AboutDialogTest::failureMessages_data() {
  QTest::addColumn<int>("code");
  QTest::addColumn<QString>("reason");
  QTest::newRow("26 keeps its trailing blank") << 26 << "A sharing violation occurred. ";
  QTest::newRow("4 has no entry") << 4 << "Unknown Error (4) occurred.";
  QTest::newRow("0") << 0 << "The operating system is out\nof memory or resources.";
  QTest::newRow("31") << 31
                      << "There is no application associated\nwith the given filename extension.";
  QTest::newRow("33 is not a failure code") << 33 << "Unknown Error (33) occurred.";
}

void AboutDialogTest::failureMessages() {
  QFETCH(int, code);
  QFETCH(QString, reason);
  QWidget parent;
  HyperlinkStatic link(QStringLiteral("https://example.org/"), &parent);
  link.bind();
  link.setOpener([code](const QString&) { return code; });
  link.onClicked();
  if (code > 32) {
    QVERIFY(messages.isEmpty());
    QCOMPARE(ui::openErrorReason(code), reason);
    return;
  }
  QCOMPARE(messages.size(), 1);
  QCOMPARE(messages[0].text, QStringLiteral("Unable to open hyperlink:\n\n") + reason);
  QCOMPARE(messages[0].icon, ui::MessageIcon::Warning);
  QCOMPARE(messages[0].caption, ui::applicationName());
  QCOMPARE(messages[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void AboutDialogTest::fallbackCommandLine_data() {
  QTest::addColumn<QString>("exec");
  QTest::addColumn<QString>("command");
  const QString link = QStringLiteral("https://orvane.com/sundrel");
  QTest::newRow("quoted placeholder at the end: two blanks") << "firefox \"%u\""
                                                             << "firefox  " + link;
  QTest::newRow("unquoted placeholder followed by arguments") << "browser %U --new-window"
                                                              << "browser  " + link;
  QTest::newRow("no placeholder") << "/usr/bin/browser --private"
                                  << "/usr/bin/browser --private " + link;
  QTest::newRow("quoted found before an earlier unquoted") << "run %f --then \"%u\" tail"
                                                           << "run  --then  " + link;
  QTest::newRow("windows-style %1") << "browser.exe %1"
                                    << "browser.exe  " + link;
  QTest::newRow("other field codes dropped, %% kept as %")
      << "browser --icon %i --name %c --rate 100%% %u"
      << "browser --icon  --name  --rate 100%  " + link;
}

void AboutDialogTest::fallbackCommandLine() {
  QFETCH(QString, exec);
  QFETCH(QString, command);
  QCOMPARE(ui::fallbackCommandLine(exec, QStringLiteral("https://orvane.com/sundrel")), command);
}

void AboutDialogTest::launchCodes() {
  QTemporaryDir dir;
  const QString plain = dir.filePath(QStringLiteral("not-executable"));
  {
    QFile file(plain);
    QVERIFY(file.open(QIODevice::WriteOnly));
  }
  QCOMPARE(ui::launchCommandLine(QString()), ui::kLaunchFileNotFound);
  QCOMPARE(ui::launchCommandLine(QStringLiteral("sundrel-no-such-browser https://x")),
           ui::kLaunchFileNotFound);
  QCOMPARE(ui::launchCommandLine(dir.filePath(QStringLiteral("missing/dir/browser")) + " x"),
           ui::kLaunchPathNotFound);
  QCOMPARE(ui::launchCommandLine(plain + " x"), ui::kLaunchAccessDenied);
  QCOMPARE(ui::launchCommandLine(QStringLiteral("true https://x")), ui::kLaunchSucceeded);
}

void AboutDialogTest::defaultHtmlHandlerFromMimeAppsList() {
  // xdg-mime is not consulted when it is missing: the lists it reads are.
  if (!QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
    QSKIP("xdg-mime is installed; it answers from the real desktop");
  QTemporaryDir home;
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  const QByteArray oldData = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
  qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
  auto restore = qScopeGuard([&] {
    qputenv("XDG_CONFIG_HOME", oldConfig);
    qputenv("XDG_DATA_HOME", oldData);
  });
  QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config")));
  QVERIFY(QDir(home.path()).mkpath(QStringLiteral("data/applications")));
  auto write = [](const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
  };
  write(home.filePath(QStringLiteral("config/mimeapps.list")),
        "[Added Associations]\ntext/html=wrong.desktop;\n\n"
        "[Default "
        "Applications]\ntext/plain=editor.desktop\ntext/html=testbrowser.desktop;other.desktop;\n");
  write(home.filePath(QStringLiteral("data/applications/testbrowser.desktop")),
        "[Desktop Entry]\nName=Test Browser\n[Desktop Action new]\nExec=wrong %u\n");
  QCOMPARE(ui::defaultHtmlHandlerExec(), QString());
  write(home.filePath(QStringLiteral("data/applications/testbrowser.desktop")),
        "[Desktop Entry]\nName=Test Browser\nExec=testbrowser --new \"%u\"\n"
        "[Desktop Action new]\nExec=wrong %u\n");
  QCOMPARE(ui::defaultHtmlHandlerExec(), QStringLiteral("testbrowser --new \"%u\""));
}

void AboutDialogTest::linkIsAnAccessibleLink() {
  QWidget parent;
  HyperlinkStatic link(QStringLiteral("Web: example.org"), &parent);
  link.setUrl(QStringLiteral("https://example.org/"));
  link.bind();
  int opened = 0;
  link.setOpener([&](const QString&) {
    ++opened;
    return ui::kLaunchSucceeded;
  });
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&link);
  QVERIFY(iface);
  QCOMPARE(iface->role(), QAccessible::Link);
  QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Web: example.org"));
  QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("https://example.org/"));
  QAccessibleActionInterface* actions = iface->actionInterface();
  QVERIFY(actions);
  QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
  actions->doAction(QAccessibleActionInterface::pressAction());
  QCOMPARE(opened, 1);
}

QTEST_MAIN(AboutDialogTest)
#include "AboutDialogTest.moc"
