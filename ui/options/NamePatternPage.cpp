#include "ui/options/NamePatternPage.h"

#include "ui/options/DialogControls.h"

namespace sundrel::ui {

namespace {

// The patterns offered; the user may type any other. They name files, so
// they stay as they are in every language.
const QStringList& patternItems() {
  static const QStringList items{
      QStringLiteral("{basename} part {part:0000}"),
      QStringLiteral("{basename}.{part:0000}"),
      QStringLiteral("{basename}-{part:0000}"),
      QStringLiteral("{basename} to {pageend:0000}"),
      QStringLiteral("{basename}.{pagebegin:0000}-{pageend:0000}"),
      QStringLiteral("{basename}.{pageend:0000}"),
  };
  return items;
}

} // namespace

NamePatternPage::NamePatternPage(QWidget* parent, const DialogUnits& units) : QWidget(parent) {
  using namespace controls;
  resize(units.size(349, 115));
  groupBox(this, units, tr("Output Name"), 4, 8, 338, 50);
  QLabel* caption = label(this, units, -1, tr("Name pattern:"), 9, 27, 53, 8);
  namePattern = comboBox(this, units, 1033, caption, true, patternItems(), 67, 25, 269, 73);
  namePattern->setCurrentIndex(0);
  // Below the group: what the parts hold rather than how they are named.
  subsetFonts = checkBox(this, units, 1034,
                         tr("Smaller parts: embed only the glyphs each part uses"), 4, 66, 338, 10);
  subsetFonts->setChecked(true);
}

QList<QWidget*> NamePatternPage::focusOrder() const {
  return {namePattern, subsetFonts};
}

} // namespace sundrel::ui
