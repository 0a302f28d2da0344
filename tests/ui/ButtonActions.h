#pragma once
// The ways a check box or radio button changes its state: the mouse, the
// space key, the two actions assistive technology offers, and a program.
// Tests run every way and expect the same enabling as a click.

#include <QAbstractButton>
#include <QAccessible>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>

namespace sundrel::test {

enum class ButtonWay { Click, Key, Toggle, Press, Program };

inline const QList<ButtonWay> kButtonWays{ButtonWay::Click, ButtonWay::Key, ButtonWay::Toggle,
                                          ButtonWay::Press, ButtonWay::Program};

inline const char* wayName(ButtonWay way) {
  switch (way) {
  case ButtonWay::Click:
    return "click";
  case ButtonWay::Key:
    return "space key";
  case ButtonWay::Toggle:
    return "accessible toggle";
  case ButtonWay::Press:
    return "accessible press";
  case ButtonWay::Program:
    return "setChecked";
  }
  return "?";
}

inline void accessibleAction(QAbstractButton* button, const QString& action) {
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button);
  QVERIFY(iface && iface->actionInterface());
  iface->actionInterface()->doAction(action);
}

inline void changeBy(QAbstractButton* button, ButtonWay way) {
  switch (way) {
  case ButtonWay::Click:
    QTest::mouseClick(button, Qt::LeftButton);
    break;
  case ButtonWay::Key:
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    break;
  case ButtonWay::Toggle:
    accessibleAction(button, QAccessibleActionInterface::toggleAction());
    break;
  case ButtonWay::Press:
    // An animated click: pressed now, released (and clicked) a moment later.
    accessibleAction(button, QAccessibleActionInterface::pressAction());
    QTRY_VERIFY(!button->isDown());
    break;
  case ButtonWay::Program:
    button->setChecked(!button->isChecked());
    break;
  }
}

// Enabled and checked states of every numbered control under root, one
// "id: state" entry each in id order, so that QCOMPARE names a difference.
inline QStringList controlStates(const QWidget* root) {
  QMap<int, QString> states;
  for (const QWidget* widget : root->findChildren<QWidget*>()) {
    bool numbered = false;
    const int id = widget->objectName().toInt(&numbered);
    if (!numbered)
      continue;
    QString state = widget->isEnabled() ? QStringLiteral("on") : QStringLiteral("off");
    if (auto* button = qobject_cast<const QAbstractButton*>(widget);
        button && button->isCheckable())
      state += button->isChecked() ? QStringLiteral(", checked") : QStringLiteral(", clear");
    states.insert(id, QStringLiteral("%1: %2").arg(id).arg(state));
  }
  return states.values();
}

// Fails naming the way and both sets of states when they differ.
inline void compareWithClick(const QStringList& states, const QStringList& byClick, ButtonWay way) {
  QVERIFY2(states == byClick,
           qPrintable(QStringLiteral("by %1: [%2], by click: [%3]")
                          .arg(QLatin1String(wayName(way)), states.join(QStringLiteral("; ")),
                               byClick.join(QStringLiteral("; ")))));
}

} // namespace sundrel::test
