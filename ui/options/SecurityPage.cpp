#include "ui/options/SecurityPage.h"

#include "settings/SplitSettings.h"
#include "ui/options/DialogControls.h"

namespace sundrel::ui {

namespace {

// The combo items of the permission tables, which stay free of Qt, for
// lupdate; the tables' texts are translated in this context at run time.
[[maybe_unused]] constexpr const char* kChoiceTexts[] = {
    QT_TRANSLATE_NOOP("sundrel::ui::SecurityPage", "None"),
    QT_TRANSLATE_NOOP("sundrel::ui::SecurityPage", "Low Resolution"),
    QT_TRANSLATE_NOOP("sundrel::ui::SecurityPage", "High Resolution"),
    QT_TRANSLATE_NOOP("sundrel::ui::SecurityPage", "Inserting, deleting, and rotation pages"),
    QT_TRANSLATE_NOOP("sundrel::ui::SecurityPage", "Filling in form fields and signing signature"),
    QT_TRANSLATE_NOOP("sundrel::ui::SecurityPage", "Commenting, filling in form fields, signature"),
    QT_TRANSLATE_NOOP("sundrel::ui::SecurityPage", "Any except extracting pages"),
};

template <std::size_t N>
QStringList itemTexts(const std::array<settings::PermissionChoice, N>& table) {
  QStringList items;
  for (const settings::PermissionChoice& choice : table)
    items << SecurityPage::tr(std::string(choice.itemText).c_str());
  return items;
}

} // namespace

SecurityPage::SecurityPage(QWidget* parent, const DialogUnits& units) : QWidget(parent) {
  using namespace controls;
  resize(units.size(359, 201));
  // Created in the template's order, which is also the tab order.
  keepEncryption = checkBox(this, units, 1027, tr("Keep original file encryption"), 1, 0, 142, 10);
  groupBox(this, units, tr("Special security"), 0, 14, 343, 182);
  addSecurity = checkBox(this, units, 1036, tr("Adding Security"), 12, 29, 89, 10);
  requireOpenPassword =
      checkBox(this, units, 1037, tr("Require a password to open the document"), 12, 47, 179, 10);
  openPasswordLabel = label(this, units, 1064, tr("Document open password:"), 35, 66, 95, 8);
  openPassword = edit(this, units, 1038, openPasswordLabel, 138, 64, 193, 12);
  groupBox(this, units, tr("Permissions"), 11, 81, 325, 108);
  restrictPermissions =
      checkBox(this, units, 1039, tr("Use a password to restrict permissions"), 22, 98, 186, 10);
  permissionsPasswordLabel = label(this, units, 1065, tr("Permissions Password:"), 35, 115, 95, 8);
  permissionsPassword = edit(this, units, 1040, permissionsPasswordLabel, 138, 112, 193, 12);
  printLabel = label(this, units, 1066, tr("Print Allowed:"), 35, 133, 95, 8);
  printAllowed = comboBox(this, units, 1041, printLabel, false, itemTexts(settings::kPrintChoices),
                          138, 131, 193, 60);
  changesLabel = label(this, units, 1067, tr("Changes Allowed:"), 35, 151, 95, 8);
  changesAllowed = comboBox(this, units, 1042, changesLabel, false,
                            itemTexts(settings::kChangeChoices), 138, 151, 193, 83);
  copyAllowed = checkBox(this, units, 1043, tr("Enable copying of text, images, and other content"),
                         20, 169, 276, 10);

  // On the state, not the click: an assistive technology's toggle and a
  // program's change must enable the same controls as a mouse or a key.
  for (QCheckBox* box : {keepEncryption, addSecurity, requireOpenPassword, restrictPermissions})
    connect(box, &QCheckBox::toggled, this, [this] { updateSecurityControls(); });

  printAllowed->setCurrentIndex(0);
  changesAllowed->setCurrentIndex(0);
  keepEncryption->setChecked(true);
  updateSecurityControls();
}

void SecurityPage::updateSecurityControls() {
  const bool keep = keepEncryption->isChecked();
  addSecurity->setEnabled(!keep);
  const bool adding = addSecurity->isChecked() && !keep;
  requireOpenPassword->setEnabled(adding);
  restrictPermissions->setEnabled(adding);
  const bool open = requireOpenPassword->isChecked() && adding;
  openPassword->setEnabled(open);
  openPasswordLabel->setEnabled(open);
  const bool permissions = restrictPermissions->isChecked() && adding;
  for (QWidget* control : std::initializer_list<QWidget*>{
           printAllowed, changesAllowed, permissionsPassword, copyAllowed, permissionsPasswordLabel,
           printLabel, changesLabel})
    control->setEnabled(permissions);
}

QList<QWidget*> SecurityPage::focusOrder() const {
  return {keepEncryption,      addSecurity,  requireOpenPassword, openPassword, restrictPermissions,
          permissionsPassword, printAllowed, changesAllowed,      copyAllowed};
}

} // namespace sundrel::ui
