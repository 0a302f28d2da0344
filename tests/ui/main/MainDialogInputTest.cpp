// Input the main window must not misread: the size edit takes digits only,
// and the output-directory radios enable Browse and the folder edit however
// their state changes (mouse, key, assistive technology, program).

#include "tests/ui/ButtonActions.h"
#include "tests/ui/TestModal.h"
#include "ui/main/MainDialog.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

using namespace sundrel;
using test::ButtonWay;
using test::control;
namespace ids = ui::ids;

class MainDialogInputTest : public QObject {
  Q_OBJECT

  std::unique_ptr<ui::MainDialog> dialog;

private slots:
  void init() {
    dialog = std::make_unique<ui::MainDialog>();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
  }

  void cleanup() { dialog.reset(); }

  // The size edit reads sizes as sundrel-split does, and says what they mean.
  void sizeEditTakesSizeForms() {
    const struct {
      const char *typed, *shown, *meaning;
      quint64 limit;
    } cases[] = {{"10MB", "10MB", "= 10000000 bytes", 10000000},
                 {" 9.5 MB", " 9.5 MB", "= 9500000 bytes", 9500000},
                 {"25MiB", "25MiB", "= 26214400 bytes", 26214400},
                 {"300000", "300000", "Bytes", 300000},
                 {"-1,5", "15", "Bytes", 15}, // sign and comma refused
                 {"10 QB", "10 QB", "not a size", 0}};
    auto* combo = control<QComboBox>(dialog.get(), ids::SizePreset);
    combo->setCurrentIndex(ui::kCustomPreset);
    emit combo->activated(ui::kCustomPreset);
    auto* edit = control<QLineEdit>(dialog.get(), ids::SizeEdit);
    for (const auto& c : cases) {
      edit->setFocus();
      edit->selectAll();
      QTest::keyClicks(edit, QString::fromLatin1(c.typed));
      QCOMPARE(edit->text(), QString::fromLatin1(c.shown));
      QCOMPARE(test::named<QLabel>(dialog.get(), "bytesLabel")->text(),
               QString::fromLatin1(c.meaning));
      QCOMPARE(dialog->limitBytes(), c.limit); // what the run reads
    }
  }

  void radiosEnableByState_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("target");
    QTest::addColumn<bool>("folderEnabled");
    QTest::newRow("alternative chosen")
        << ids::OriginalDirectory << ids::AlternativeDirectory << true;
    QTest::newRow("original chosen")
        << ids::AlternativeDirectory << ids::OriginalDirectory << false;
    QTest::newRow("original again") << ids::OriginalDirectory << ids::OriginalDirectory << false;
    QTest::newRow("alternative again")
        << ids::AlternativeDirectory << ids::AlternativeDirectory << true;
  }

  void radiosEnableByState() {
    QFETCH(int, start);
    QFETCH(int, target);
    QFETCH(bool, folderEnabled);
    QStringList byClick;
    for (ButtonWay way : test::kButtonWays) {
      control<QRadioButton>(dialog.get(), start)->setChecked(true);
      dialog->updateControlStates();
      test::changeBy(control<QRadioButton>(dialog.get(), target), way);
      const QStringList states = test::controlStates(dialog.get());
      if (way == ButtonWay::Click)
        byClick = states;
      test::compareWithClick(states, byClick, way);
      if (QTest::currentTestFailed())
        return;
      QVERIFY(control<QRadioButton>(dialog.get(), target)->isChecked());
      QCOMPARE(dialog->control(ids::Browse)->isEnabled(), folderEnabled);
      QCOMPARE(dialog->control(ids::FolderEdit)->isEnabled(), folderEnabled);
    }
  }
};

QTEST_MAIN(MainDialogInputTest)
#include "MainDialogInputTest.moc"
