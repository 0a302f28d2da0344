// Input the main window must not misread: the size edit takes digits only,
// and the output-directory radios enable Browse and the folder edit however
// their state changes (mouse, key, assistive technology, program).

#include "tests/ui/ButtonActions.h"
#include "tests/ui/TestModal.h"
#include "ui/main/MainDialog.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
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

  void sizeEditTakesDigitsOnly_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("shown");
    QTest::newRow("unit typed after the number") << "10MB"
                                                 << ""
                                                 << "10";
    QTest::newRow("sign, space and grouping") << "-1 000,5"
                                              << ""
                                              << "10005";
    QTest::newRow("pasted with letters: refused whole") << "300"
                                                        << "10MB"
                                                        << "300";
    QTest::newRow("pasted digits") << "300"
                                   << "2048"
                                   << "3002048";
  }

  void sizeEditTakesDigitsOnly() {
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, shown);
    auto* combo = control<QComboBox>(dialog.get(), ids::SizePreset);
    combo->setCurrentIndex(ui::kCustomPreset);
    emit combo->activated(ui::kCustomPreset);
    auto* edit = control<QLineEdit>(dialog.get(), ids::SizeEdit);
    QVERIFY(edit->isEnabled());
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    if (!pasted.isEmpty()) {
      QGuiApplication::clipboard()->setText(pasted);
      QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    }
    QCOMPARE(edit->text(), shown);
    QCOMPARE(dialog->sizeEditText(), shown.toStdString()); // what the run reads
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
