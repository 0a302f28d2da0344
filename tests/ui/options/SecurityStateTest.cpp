// The security page's enabling chain follows the check states however they
// change: mouse, space key, the assistive-technology actions or a program
// all give the states a click gives.

#include "bridge/EngineRunner.h"
#include "tests/ui/ButtonActions.h"
#include "tests/ui/TestModal.h"
#include "ui/options/OptionsDialog.h"
#include "ui/options/PageTabCtrl.h"
#include "ui/options/SecurityPage.h"

#include <QCheckBox>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

using namespace sundrel;
using test::ButtonWay;
using test::control;

namespace {

// The check boxes that drive the chain, and what they guard.
const QList<int> kDrivers{1027, 1036, 1037, 1039};
const QList<int> kGuarded{1036, 1037, 1038, 1039, 1040, 1041, 1042, 1043, 1064, 1065, 1066, 1067};

QList<int> enabledGuarded(const QWidget* window) {
  QList<int> on;
  for (int id : kGuarded)
    if (control(window, id)->isEnabled())
      on << id;
  return on;
}

} // namespace

class SecurityStateTest : public QObject {
  Q_OBJECT

  QTemporaryDir programDir;

private slots:
  void initTestCase() {
    QVERIFY(programDir.isValid());
    bridge::setProgramDirectory(programDir.path().toStdString());
  }

  void chainFollowsTheState_data() {
    // Check states of 1027, 1036, 1037, 1039 before the change.
    QTest::addColumn<QList<bool>>("before");
    QTest::addColumn<int>("changed");
    QTest::addColumn<QList<int>>("enabled");
    const QList<bool> keeping{true, false, false, false};
    const QList<bool> adding{false, true, false, false};
    const QList<bool> all{false, true, true, true};
    QTest::newRow("keep cleared") << keeping << 1027 << QList<int>{1036};
    QTest::newRow("keep set again") << all << 1027 << QList<int>{};
    QTest::newRow("adding set") << QList<bool>{false, false, false, false} << 1036
                                << QList<int>{1036, 1037, 1039};
    QTest::newRow("adding cleared") << all << 1036 << QList<int>{1036};
    QTest::newRow("open password set")
        << adding << 1037 << QList<int>{1036, 1037, 1038, 1039, 1064};
    QTest::newRow("open password cleared")
        << all << 1037 << QList<int>{1036, 1037, 1039, 1040, 1041, 1042, 1043, 1065, 1066, 1067};
    QTest::newRow("permissions set")
        << adding << 1039 << QList<int>{1036, 1037, 1039, 1040, 1041, 1042, 1043, 1065, 1066, 1067};
    QTest::newRow("permissions cleared") << all << 1039 << QList<int>{1036, 1037, 1038, 1039, 1064};
  }

  void chainFollowsTheState() {
    QFETCH(QList<bool>, before);
    QFETCH(int, changed);
    QFETCH(QList<int>, enabled);
    ui::OptionsDialog options;
    auto ran = test::onNextModal([&](QWidget* window) {
      QTabBar* strip = control<ui::PageTabCtrl>(window, 1024)->tabBar();
      QTest::mouseClick(strip, Qt::LeftButton, {}, strip->tabRect(1).center());
      ui::SecurityPage* page = nullptr;
      for (QWidget* child : window->findChildren<QWidget*>())
        if (auto* security = dynamic_cast<ui::SecurityPage*>(child))
          page = security;
      QVERIFY(page);
      QStringList byClick;
      for (ButtonWay way : test::kButtonWays) {
        for (int i = 0; i < kDrivers.size(); ++i)
          control<QCheckBox>(window, kDrivers[i])->setChecked(before[i]);
        page->updateSecurityControls(); // the start state, whatever set it
        auto* box = control<QCheckBox>(window, changed);
        QVERIFY(box->isVisible() && box->isEnabled());
        test::changeBy(box, way);
        QVERIFY2(box->isChecked() != before[kDrivers.indexOf(changed)], test::wayName(way));
        const QStringList states = test::controlStates(window);
        if (way == ButtonWay::Click)
          byClick = states;
        test::compareWithClick(states, byClick, way);
        if (QTest::currentTestFailed())
          break;
        QCOMPARE(enabledGuarded(window), enabled);
      }
      control<QAbstractButton>(window, 1026)->click();
    });
    options.doModal();
    QVERIFY(*ran);
  }
};

QTEST_MAIN(SecurityStateTest)
#include "SecurityStateTest.moc"
