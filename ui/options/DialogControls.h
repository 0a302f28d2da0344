#pragma once
// Builds the controls of the Options dialog and its pages from their template
// rectangles: each control keeps its numeric identifier as its object name and
// is exposed to assistive technology under its caption.

#include "ui/options/DialogUnits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace sundrel::ui::controls {

// The caption as assistive technology reads it: without accelerator marks and
// without the colon that ends a label.
inline QString spokenCaption(QString caption) {
  caption.remove(QLatin1Char('&'));
  caption = caption.trimmed();
  if (caption.endsWith(QLatin1Char(':')))
    caption.chop(1);
  return caption;
}

template <class Control>
Control* placed(Control* control, const DialogUnits& units, int id, int x, int y, int width,
                int height) {
  if (id >= 0)
    control->setObjectName(QString::number(id));
  units.place(control, x, y, width, height);
  return control;
}

// A static text; id -1 for the unnumbered ones.
inline QLabel* label(QWidget* parent, const DialogUnits& units, int id, const QString& text, int x,
                     int y, int width, int height) {
  auto* control = placed(new QLabel(text, parent), units, id, x, y, width, height);
  control->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  control->setTextFormat(Qt::PlainText);
  return control;
}

inline QGroupBox* groupBox(QWidget* parent, const DialogUnits& units, const QString& text, int x,
                           int y, int width, int height) {
  auto* control = placed(new QGroupBox(text, parent), units, -1, x, y, width, height);
  control->setAccessibleName(spokenCaption(text));
  // The group box frames its neighbours; it holds no focus and passes clicks on.
  control->setFocusPolicy(Qt::NoFocus);
  control->lower();
  return control;
}

inline QCheckBox* checkBox(QWidget* parent, const DialogUnits& units, int id, const QString& text,
                           int x, int y, int width, int height) {
  auto* control = placed(new QCheckBox(text, parent), units, id, x, y, width, height);
  control->setAccessibleName(spokenCaption(text));
  return control;
}

inline QPushButton* pushButton(QWidget* parent, const DialogUnits& units, int id,
                               const QString& text, int x, int y, int width, int height) {
  auto* control = placed(new QPushButton(text, parent), units, id, x, y, width, height);
  control->setAccessibleName(spokenCaption(text));
  // Neither button is the dialog's default: Enter presses only a focused one.
  control->setAutoDefault(false);
  control->setDefault(false);
  return control;
}

// A single-line edit read under the label that names it.
inline QLineEdit* edit(QWidget* parent, const DialogUnits& units, int id, QLabel* caption, int x,
                       int y, int width, int height) {
  auto* control = placed(new QLineEdit(parent), units, id, x, y, width, height);
  if (caption) {
    caption->setBuddy(control);
    control->setAccessibleName(spokenCaption(caption->text()));
  }
  return control;
}

// A combo box; `editable` gives the drop-down combo with a typing field. Its
// template height includes the dropped list, so the closed box takes the
// height of an edit.
inline QComboBox* comboBox(QWidget* parent, const DialogUnits& units, int id, QLabel* caption,
                           bool editable, const QStringList& items, int x, int y, int width,
                           int dropHeight) {
  auto* control = new QComboBox(parent);
  control->setEditable(editable);
  if (editable) {
    // Typed text is a pattern of its own: never added to the list, never
    // completed from it.
    control->setInsertPolicy(QComboBox::NoInsert);
    control->setCompleter(nullptr);
  }
  control->addItems(items);
  control->setMaxVisibleItems(std::max(1, (dropHeight - 12) / 8));
  placed(control, units, id, x, y, width, 12);
  if (caption) {
    caption->setBuddy(control);
    control->setAccessibleName(spokenCaption(caption->text()));
  }
  return control;
}

} // namespace sundrel::ui::controls
