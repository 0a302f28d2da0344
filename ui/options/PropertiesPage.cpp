#include "ui/options/PropertiesPage.h"

#include "ui/options/DialogControls.h"

namespace sundrel::ui {

PropertiesPage::PropertiesPage(QWidget* parent, const DialogUnits& units) : QWidget(parent) {
  using namespace controls;
  resize(units.size(343, 162));
  // Label and edit pairs top to bottom; the edits follow their labels in the tab order.
  auto row = [&](const QString& caption, int id, int labelY, int editY) {
    QLabel* name = label(this, units, -1, caption, 19, labelY, 44, 8);
    return edit(this, units, id, name, 70, editY, 206, 12);
  };
  title = row(tr("Title:"), 1051, 15, 13);
  subject = row(tr("Subject:"), 1044, 38, 36);
  author = row(tr("Author:"), 1045, 61, 59);
  keywords = row(tr("Keywords:"), 1046, 84, 82);
  creator = row(tr("Creator:"), 1047, 107, 105);
  producer = row(tr("Producer:"), 1048, 130, 128);
}

QList<QWidget*> PropertiesPage::focusOrder() const {
  return {title, subject, author, keywords, creator, producer};
}

} // namespace sundrel::ui
