#include "ui/options/PropertiesPage.h"

#include "ui/options/DialogControls.h"

namespace sundrel::ui {

PropertiesPage::PropertiesPage(QWidget* parent, const DialogUnits& units) : QWidget(parent) {
  using namespace controls;
  resize(units.size(343, 162));
  // Label and edit pairs top to bottom; the edits follow their labels in the tab order.
  auto row = [&](const char* caption, int id, int labelY, int editY) {
    QLabel* name = label(this, units, -1, QString::fromLatin1(caption), 19, labelY, 44, 8);
    return edit(this, units, id, name, 70, editY, 206, 12);
  };
  title = row("Title:", 1051, 15, 13);
  subject = row("Subject:", 1044, 38, 36);
  author = row("Author:", 1045, 61, 59);
  keywords = row("Keywords:", 1046, 84, 82);
  creator = row("Creator:", 1047, 107, 105);
  producer = row("Producer:", 1048, 130, 128);
}

QList<QWidget*> PropertiesPage::focusOrder() const {
  return {title, subject, author, keywords, creator, producer};
}

} // namespace sundrel::ui
