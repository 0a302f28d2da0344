#pragma once
// The "Output Security" page of the Options dialog: whether the parts keep the
// source's encryption or are encrypted anew, with which passwords and
// permissions.

#include <QList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace sundrel::ui {

class DialogUnits;

class SecurityPage : public QWidget {
  Q_OBJECT

public:
  SecurityPage(QWidget* parent, const DialogUnits& units);

  // Enables the controls that the check states allow. Changes no check state,
  // text or selection.
  void updateSecurityControls();

  QList<QWidget*> focusOrder() const;

  QLabel* printLabel;               // 1066
  QLabel* permissionsPasswordLabel; // 1065
  QLabel* openPasswordLabel;        // 1064
  QLabel* changesLabel;             // 1067
  QLineEdit* permissionsPassword;   // 1040
  QLineEdit* openPassword;          // 1038
  QComboBox* printAllowed;          // 1041
  QComboBox* changesAllowed;        // 1042
  QCheckBox* restrictPermissions;   // 1039
  QCheckBox* requireOpenPassword;   // 1037
  QCheckBox* keepEncryption;        // 1027
  QCheckBox* copyAllowed;           // 1043
  QCheckBox* addSecurity;           // 1036
};

} // namespace sundrel::ui
