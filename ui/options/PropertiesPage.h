#pragma once
// The "Output Properties" page of the Options dialog: the document properties
// every part receives.

#include <QList>
#include <QWidget>

class QLineEdit;

namespace sundrel::ui {

class DialogUnits;

class PropertiesPage : public QWidget {
  Q_OBJECT

public:
  PropertiesPage(QWidget* parent, const DialogUnits& units);

  QList<QWidget*> focusOrder() const;

  QLineEdit* creator;  // 1047
  QLineEdit* producer; // 1048
  QLineEdit* title;    // 1051
  QLineEdit* subject;  // 1044
  QLineEdit* keywords; // 1046
  QLineEdit* author;   // 1045
};

} // namespace sundrel::ui
