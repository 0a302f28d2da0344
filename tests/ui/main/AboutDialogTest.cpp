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
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace sundrel;
using ui::HyperlinkStatic;

class AboutDialogTest : public QObject {
  Q_OBJECT

  QList<ui::MessageRequest> messages;
  QWidget parent;
  std::unique_ptr<HyperlinkStatic> link;
  QStringList opened;
  int launchResult = ui::kLaunchSucceeded;

private slots:
  void init() {
    messages.clear();
    ui::setMessageBoxHook([this](const ui::MessageRequest& request) {
      messages << request;
      return QMessageBox::Ok;
    });
    // A bound link whose opener records the target and answers launchResult.
    link = std::make_unique<HyperlinkStatic>(QStringLiteral("https://example.org/"), &parent);
    link->bind();
    opened.clear();
    launchResult = ui::kLaunchSucceeded;
    link->setOpener([this](const QString& target) {
      opened << target;
      return launchResult;
    });
  }

  void cleanup() {
    link.reset();
    ui::setMessageBoxHook({});
  }

  void aboutBoxLinks() {
    ui::AboutDialog about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    auto* web = test::control<HyperlinkStatic>(&about, 1073);
    auto* email = test::control<HyperlinkStatic>(&about, 1074);
    QVERIFY(web && email);
    QCOMPARE(web->url(), QLatin1String(ui::kProductWebAddress));
    QCOMPARE(email->url(),
             QStringLiteral("mailto:%1").arg(QLatin1String(ui::kSupportEmailAddress)));
    QVERIFY(web->text().startsWith(QLatin1String("Web: ")));
    QVERIFY(email->text().startsWith(QLatin1String("Email: ")));
    for (HyperlinkStatic* each : {web, email}) {
      QCOMPARE(each->toolTip(), each->url());
      QVERIFY(!each->font().underline());
      QCOMPARE(each->textColour(), QColor(0, 0, 238));
      QCOMPARE(each->cursor().shape(), Qt::PointingHandCursor);
      // Fitted to its text, so only the text is a click target.
      QCOMPARE(each->width(), each->fontMetrics().horizontalAdvance(each->text()));
    }
    QVERIFY(test::control<QPushButton>(&about, 1)->isDefault());
  }

  void aboutOpensFromMainWindowAndClosesWithKeys() {
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

  void bindTakesTextOrTarget() {
    QCOMPARE(link->url(), QStringLiteral("https://example.org/"));
    QCOMPARE(link->toolTip(), link->url());
    QVERIFY(link->font().underline());
    HyperlinkStatic fromTarget(&parent);
    fromTarget.setUrl(QStringLiteral("https://example.org/b"));
    fromTarget.bind();
    QCOMPARE(fromTarget.text(), QStringLiteral("https://example.org/b"));
  }

  void hoverClickAndVisitedColours() {
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(link.get(), &enter);
    QVERIFY(link->isOverControl());
    QCOMPARE(link->textColour(), link->hoverColour);
    QCoreApplication::sendEvent(link.get(), &leave);
    QCOMPARE(link->textColour(), link->linkColour);

    // A successful click (or Space) opens the target and marks it visited.
    QTest::mouseClick(link.get(), Qt::LeftButton);
    QCOMPARE(opened, QStringList({QStringLiteral("https://example.org/")}));
    QVERIFY(link->isVisited());
    QCoreApplication::sendEvent(link.get(), &leave);
    QCOMPARE(link->textColour(), QColor(85, 26, 139));
    QTest::keyClick(link.get(), Qt::Key_Space);
    QCOMPARE(opened.size(), 2);
    QVERIFY(messages.isEmpty());

    // A failed one turns it unvisited again.
    launchResult = 31;
    link->onClicked();
    QVERIFY(!link->isVisited());
    QCOMPARE(link->textColour(), link->linkColour);
    QCOMPARE(messages.size(), 1);
  }

  void failureMessages_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reason");
    QTest::newRow("26 keeps its trailing blank") << 26 << "A sharing violation occurred. ";
    QTest::newRow("4 has no entry") << 4 << "Unknown Error (4) occurred.";
    QTest::newRow("0") << 0 << "The operating system is out\nof memory or resources.";
    QTest::newRow("32 is a failure") << 32 << "The specified dynamic-link library was not found.";
    QTest::newRow("33 is not a failure") << 33 << "Unknown Error (33) occurred.";
  }

  void failureMessages() {
    QFETCH(int, code);
    QFETCH(QString, reason);
    QCOMPARE(ui::openErrorReason(code), reason);
    launchResult = code;
    link->onClicked();
    if (code > 32) {
      QVERIFY(messages.isEmpty());
      return;
    }
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text, QStringLiteral("Unable to open hyperlink:\n\n") + reason);
    QCOMPARE(messages[0].icon, ui::MessageIcon::Warning);
    QCOMPARE(messages[0].caption, ui::applicationName());
    QCOMPARE(messages[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }

  void fallbackCommandLine_data() {
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QString>("command"); // without the link that ends it
    QTest::newRow("quoted placeholder at the end: two blanks") << "firefox \"%u\""
                                                               << "firefox  ";
    QTest::newRow("unquoted placeholder followed by arguments") << "browser %U --new-window"
                                                                << "browser  ";
    QTest::newRow("no placeholder") << "/usr/bin/browser --private"
                                    << "/usr/bin/browser --private ";
    QTest::newRow("quoted found before an earlier unquoted") << "run %f --then \"%u\" tail"
                                                             << "run  --then  ";
    QTest::newRow("windows-style %1") << "browser.exe %1"
                                      << "browser.exe  ";
    QTest::newRow("other field codes dropped, %% kept as %")
        << "browser --icon %i --name %c --rate 100%% %u"
        << "browser --icon  --name  --rate 100%  ";
  }

  void fallbackCommandLine() {
    QFETCH(QString, exec);
    QFETCH(QString, command);
    const QString target = QStringLiteral("https://orvane.com/sundrel");
    QCOMPARE(ui::fallbackCommandLine(exec, target), command + target);
  }

  void launchCodes() {
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("not-executable"));
    test::writeFile(plain, {});
    QCOMPARE(ui::launchCommandLine(QString()), ui::kLaunchFileNotFound);
    QCOMPARE(ui::launchCommandLine(QStringLiteral("sundrel-no-such-browser https://x")),
             ui::kLaunchFileNotFound);
    QCOMPARE(ui::launchCommandLine(dir.filePath(QStringLiteral("missing/dir/browser")) + " x"),
             ui::kLaunchPathNotFound);
    QCOMPARE(ui::launchCommandLine(plain + " x"), ui::kLaunchAccessDenied);
    QCOMPARE(ui::launchCommandLine(QStringLiteral("true https://x")), ui::kLaunchSucceeded);
  }

  void defaultHtmlHandlerFromMimeAppsList() {
    // xdg-mime is not consulted when it is missing: the lists it reads are.
    if (!QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
      QSKIP("xdg-mime is installed; it answers from the real desktop");
    QTemporaryDir home;
    test::ScopedEnv config("XDG_CONFIG_HOME",
                           home.filePath(QStringLiteral("config")).toLocal8Bit());
    test::ScopedEnv data("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config")));
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("data/applications")));
    const QString entry = home.filePath(QStringLiteral("data/applications/testbrowser.desktop"));
    test::writeFile(home.filePath(QStringLiteral("config/mimeapps.list")),
                    "[Added Associations]\ntext/html=wrong.desktop;\n\n[Default Applications]\n"
                    "text/plain=editor.desktop\ntext/html=testbrowser.desktop;other.desktop;\n");
    // Only the Exec line of the [Desktop Entry] group counts.
    test::writeFile(entry,
                    "[Desktop Entry]\nName=Test Browser\n[Desktop Action new]\nExec=wrong\n");
    QCOMPARE(ui::defaultHtmlHandlerExec(), QString());
    test::writeFile(entry, "[Desktop Entry]\nName=Test Browser\nExec=testbrowser --new \"%u\"\n"
                           "[Desktop Action new]\nExec=wrong %u\n");
    QCOMPARE(ui::defaultHtmlHandlerExec(), QStringLiteral("testbrowser --new \"%u\""));
  }

  void linkIsAnAccessibleLink() {
    link->setText(QStringLiteral("Web: example.org"));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(link.get());
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Link);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Web: example.org"));
    QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("https://example.org/"));
    QAccessibleActionInterface* actions = iface->actionInterface();
    QVERIFY(actions);
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(opened.size(), 1);
  }
};

QTEST_MAIN(AboutDialogTest)
#include "AboutDialogTest.moc"
