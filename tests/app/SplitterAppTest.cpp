// Application start-up and shutdown: the skin's six calls in order, the skin
// file taken from the program's own directory, and the shipped skin file.

#include "app/SplitterApp.h"
#include "app/SkinLibrary.h"
#include "bridge/EngineRunner.h"
#include "tests/ui/TestModal.h"
#include "ui/main/AboutDialog.h"
#include "ui/main/MainDialog.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace sundrel;

namespace {

// Records every call, numbered as the skin library's entry points are;
// customToolbar answers with toolbarHandle, the others with 0 (results are
// never relied on).
class RecordingSkin : public app::SkinLibrary {
public:
  QStringList calls;
  std::uintptr_t toolbarHandle = 7;

  int record(const QString& call) {
    calls << call;
    return 0;
  }
  int init(QApplication* app) override { return record(QStringLiteral("1 init %1").arg(!!app)); }
  int loadSkinFile(const QString& path) override { return record("3 load " + path); }
  int applyToClass(const QString& windowClass) override { return record("8 apply " + windowClass); }
  std::uintptr_t customToolbar(const QString& name) override {
    record("16 toolbar " + name);
    return toolbarHandle;
  }
  void releaseToolbar(std::uintptr_t handle) override {
    record(QStringLiteral("17 release %1").arg(handle));
  }
  void exit() override { record(QStringLiteral("2 exit")); }
};

} // namespace

class SplitterAppTest : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() { bridge::setProgramDirectory({}); }

  void skinCallsInOrder_data() {
    QTest::addColumn<quintptr>("handle");
    QTest::newRow("toolbar handle given back") << quintptr(7);
    QTest::newRow("no toolbar handle: no release") << quintptr(0);
  }

  void skinCallsInOrder() {
    QFETCH(quintptr, handle);
    RecordingSkin skin;
    skin.toolbarHandle = handle;
    app::SplitterApp splitter(qApp, skin);
    splitter.setModalRunner([&](ui::MainDialog& dialog) {
      QCOMPARE(dialog.windowTitle(), QStringLiteral("Sundrel v2.0"));
      skin.calls << QStringLiteral("main window runs");
    });
    QVERIFY(!splitter.initInstance());
    QCOMPARE(splitter.skinToolbarHandle, handle);
    QCOMPARE(splitter.exitInstance(), 0);
    QCOMPARE(splitter.skinToolbarHandle, 0u);
    QStringList expected{"1 init 1", "3 load " + app::SplitterApp::skinFilePath(), "8 apply Dialog",
                         "16 toolbar SkinCustomToolbar", "main window runs"};
    if (handle != 0)
      expected << QStringLiteral("17 release %1").arg(handle);
    expected << QStringLiteral("2 exit");
    QCOMPARE(skin.calls, expected);
  }

  void skinFileComesFromProgramDirectory() {
    QTemporaryDir elsewhere;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    const QString path = app::SplitterApp::skinFilePath();
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(path, QDir(QCoreApplication::applicationDirPath()).filePath("xpblue.smf"));
  }

  void startFilesAreListed() {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("handed.pdf"));
    test::writeFile(pdf, "%PDF");
    RecordingSkin skin;
    app::SplitterApp splitter(qApp, skin);
    splitter.setStartFiles({pdf, dir.filePath(QStringLiteral("notes.txt"))});
    QStringList listed;
    splitter.setModalRunner([&](ui::MainDialog& dialog) {
      for (int row = 0; row < dialog.rowCount(); ++row)
        listed << QString::fromStdString(dialog.rowPath(row));
    });
    splitter.initInstance();
    splitter.exitInstance();
    QCOMPARE(listed, QStringList({pdf}));
  }

  void missingSkinChangesNothing() {
    qApp->setStyleSheet(QString());
    app::StyleSheetSkin skin;
    QCOMPARE(skin.init(qApp), 1);
    QCOMPARE(skin.loadSkinFile(QStringLiteral("/nonexistent/xpblue.smf")), 0);
    QCOMPARE(skin.applyToClass(QStringLiteral("Dialog")), 0);
    QCOMPARE(skin.customToolbar(QStringLiteral("SkinCustomToolbar")), 0u);
    skin.exit();
    QVERIFY(qApp->styleSheet().isEmpty());
  }

  void shippedSkinParsesAndIsUndone() {
    const QString path = QDir(qEnvironmentVariable("SUNDREL_BIN_DIR")).filePath("xpblue.smf");
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("(?i)style ?sheet")));
    app::StyleSheetSkin skin;
    skin.init(qApp);
    QCOMPARE(skin.loadSkinFile(path), 1);
    QCOMPARE(skin.applyToClass(QStringLiteral("Dialog")), 1);
    QVERIFY(skin.customToolbar(QStringLiteral("SkinCustomToolbar")) != 0);
    QVERIFY(!qApp->styleSheet().isEmpty());
    {
      // Every window the program shows is polished by the sheet without a
      // parse warning.
      ui::MainDialog dialog;
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      ui::AboutDialog about;
      about.show();
      QVERIFY(QTest::qWaitForWindowExposed(&about));
    }
    skin.exit();
    QVERIFY(qApp->styleSheet().isEmpty());
  }
};

QTEST_MAIN(SplitterAppTest)
#include "SplitterAppTest.moc"
