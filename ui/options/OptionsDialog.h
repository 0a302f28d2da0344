#pragma once
// The Options dialog: the name pattern, security and document properties of
// the parts on three pages under a tab strip. The object lives as long as the
// main window and holds the options group; its window and pages are built at
// every opening and destroyed at every close.

#include "settings/SplitSettings.h"
#include "ui/options/PageTabCtrl.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPointer>

#include <functional>

class QPushButton;

namespace sundrel::ui {

class NamePatternPage;
class SecurityPage;
class PropertiesPage;

class OptionsDialog : public PageTabOwner {
  Q_DECLARE_TR_FUNCTIONS(OptionsDialog)

public:
  explicit OptionsDialog(QWidget* parent = nullptr);
  ~OptionsDialog() override;
  OptionsDialog(const OptionsDialog&) = delete;
  OptionsDialog& operator=(const OptionsDialog&) = delete;

  // Shows the dialog modally over parent (or the parent given at
  // construction): reloads the options from the settings file first, and on
  // OK reads every control and saves. QDialog::Accepted after OK, else
  // QDialog::Rejected.
  int doModal(QWidget* parent = nullptr);

  // The options group, kept across openings.
  settings::SplitSettings& settings() { return options; }

  // Shows the page of the selected tab and hides the others; a selection
  // without a page changes nothing.
  void showSelectedPage() override;

  // The open window, null while the dialog is closed.
  QDialog* window() const { return dialog; }

  // Tells the user, over the Options window, that the options could not be
  // saved (the first failed save only) or read (at every opening that fails).
  // Without a handler the failure is only logged.
  using SaveFailureHandler = std::function<void(QWidget* parent, const QString& text)>;
  void setSaveFailureHandler(SaveFailureHandler handler) {
    saveFailureHandler = std::move(handler);
  }

private:
  void onInitDialog();
  void loadSettings();
  void saveSettings();
  void onOk();
  void onCancel();
  void setTabOrder();

  QWidget* defaultParent;
  // While open: the window and its parts, in the template's order.
  QPointer<QDialog> dialog;
  PageTabCtrl* tabs = nullptr;
  NamePatternPage* namePage = nullptr;
  SecurityPage* securityPage = nullptr;
  PropertiesPage* propertiesPage = nullptr;
  QPushButton* okButton = nullptr;
  QPushButton* cancelButton = nullptr;
  settings::SplitSettings options;
  SaveFailureHandler saveFailureHandler;
  bool saveFailureShown = false;
};

} // namespace sundrel::ui
