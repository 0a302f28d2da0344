#pragma once
// The "File Name Pattern" page of the Options dialog.

#include <QList>
#include <QWidget>

class QCheckBox;
class QComboBox;

namespace sundrel::ui {

class DialogUnits;

class NamePatternPage : public QWidget {
  Q_OBJECT

public:
  NamePatternPage(QWidget* parent, const DialogUnits& units);

  // The controls that take the keyboard focus, in their tab order.
  QList<QWidget*> focusOrder() const;

  QComboBox* namePattern; // 1033
  QCheckBox* subsetFonts; // 1034
};

} // namespace sundrel::ui
