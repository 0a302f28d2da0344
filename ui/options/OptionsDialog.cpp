#include "ui/options/OptionsDialog.h"

#include "settings/SettingsFile.h"
#include "settings/SettingsLocation.h"
#include "ui/options/DialogControls.h"
#include "ui/options/NamePatternPage.h"
#include "ui/options/PropertiesPage.h"
#include "ui/options/SecurityPage.h"

#include <QKeyEvent>
#include <QLoggingCategory>
#include <QTimer>

#include <array>
#include <string>

namespace sundrel::ui {

Q_LOGGING_CATEGORY(lcOptions, "sundrel.options")

namespace {

// Pages sit in the tab strip's client area, moved in from its edges (left,
// top, right, bottom); the top keeps clear of the tabs.
constexpr int kPageInsetLeft = 8;
constexpr int kPageInsetTop = 30;
constexpr int kPageInsetRight = 8;
constexpr int kPageInsetBottom = 8;

// The Options window. Enter and Escape never close it: it closes through its
// own buttons, and the close box acts as Cancel.
class OptionsWindow : public QDialog {
public:
  PageTabCtrl* tabs = nullptr;

  explicit OptionsWindow(QWidget* parent)
      : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {}

protected:
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // As the platform's dialog keyboard handling does: a focused push
      // button is pressed, everything else is a no-op.
      if (auto* button = qobject_cast<QPushButton*>(focusWidget());
          button && button->isEnabled() && event->modifiers() == Qt::NoModifier) {
        button->click();
      }
      event->accept();
      return;
    case Qt::Key_Escape:
      event->accept();
      return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      // Ctrl+Tab and Ctrl+Shift+Tab turn the pages, as in tabbed dialogs
      // of the desktop; a change made so is a real selection change.
      if (tabs && (event->modifiers() & Qt::ControlModifier) && tabs->count() > 0) {
        const bool back =
            event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        const int next = (tabs->currentIndex() + (back ? tabs->count() - 1 : 1)) % tabs->count();
        tabs->tabBar()->setCurrentIndex(next);
        event->accept();
        return;
      }
      QDialog::keyPressEvent(event);
      return;
    default:
      QDialog::keyPressEvent(event);
    }
  }
};

QString fromText(const std::string& text) {
  return QString::fromStdString(text);
}
std::string toText(const QString& text) {
  return text.toStdString();
}

std::int32_t checkState(const QCheckBox* box) {
  return box->isChecked() ? 1 : 0;
}

} // namespace

OptionsDialog::OptionsDialog(QWidget* parent) : defaultParent(parent) {}

OptionsDialog::~OptionsDialog() {
  if (dialog)
    delete dialog.data();
}

int OptionsDialog::doModal(QWidget* parent) {
  if (dialog)
    return QDialog::Rejected; // already open
  auto* window = new OptionsWindow(parent ? parent : defaultParent);
  dialog = window;
  onInitDialog();
  const int result = window->exec();
  // The parent may have taken the window with it.
  if (dialog)
    delete dialog.data();
  dialog = nullptr;
  tabs = nullptr;
  namePage = nullptr;
  securityPage = nullptr;
  propertiesPage = nullptr;
  okButton = nullptr;
  cancelButton = nullptr;
  return result == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

void OptionsDialog::onInitDialog() {
  using namespace controls;
  QDialog* window = dialog;
  window->setWindowTitle(tr("Options"));
  const DialogUnits units(window->font());
  window->setFixedSize(units.size(365, 277));

  tabs = placed(new PageTabCtrl(window), units, 1024, 3, 9, 356, 230);
  static_cast<OptionsWindow*>(window)->tabs = tabs;
  okButton = pushButton(window, units, 1025, tr("OK"), 184, 250, 50, 14);
  // One unit lower than its template row, so that OK and Cancel line up.
  cancelButton = pushButton(window, units, 1026, tr("Cancel"), 271, 250, 50, 14);
  QObject::connect(okButton, &QPushButton::clicked, window, [this] { onOk(); });
  QObject::connect(cancelButton, &QPushButton::clicked, window, [this] { onCancel(); });

  tabs->insertItem(0, tr("File Name Pattern"));
  tabs->insertItem(1, tr("Output Security"));
  tabs->insertItem(2, tr("Output Properties"));

  namePage = new NamePatternPage(tabs, units);
  securityPage = new SecurityPage(tabs, units);
  propertiesPage = new PropertiesPage(tabs, units);

  // Below the tabs even where the style's tabs are taller than the platform's.
  const int tabsBottom = tabs->itemRect(0).bottom() + 1;
  const QRect area =
      tabs->rect().adjusted(kPageInsetLeft, std::max(kPageInsetTop, tabsBottom + kPageInsetLeft),
                            -kPageInsetRight, -kPageInsetBottom);
  for (QWidget* page : std::array<QWidget*, 3>{namePage, securityPage, propertiesPage}) {
    page->hide();
    page->setGeometry(area);
  }
  setTabOrder();

  loadSettings();
  tabs->setOwner(this);
}

void OptionsDialog::setTabOrder() {
  QList<QWidget*> order{tabs->tabBar()};
  order << namePage->focusOrder() << securityPage->focusOrder() << propertiesPage->focusOrder();
  order << okButton << cancelButton;
  for (qsizetype i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(order[i - 1], order[i]);
}

void OptionsDialog::loadSettings() {
  const std::string path = settings::settingsFilePath();
  if (const std::string reason = settings::loadSettings(options, path); !reason.empty()) {
    qCWarning(lcOptions, "could not read the settings file %s: %s", path.c_str(), reason.c_str());
    // The pages then show no passwords: said over the window, once it is up,
    // before the user confirms them.
    const QString text =
        tr("The options could not be read from %1 (%2).\n\n"
           "Check the security and the properties before you press OK.")
            .arg(QString::fromLocal8Bit(path.c_str()), QString::fromLocal8Bit(reason.c_str()));
    QTimer::singleShot(0, dialog, [this, text] {
      if (dialog && saveFailureHandler)
        saveFailureHandler(dialog, text);
    });
  }

  const std::array<QWidget*, 3> pages{namePage, securityPage, propertiesPage};
  for (int index = 0; index < 3; ++index)
    pages[static_cast<std::size_t>(index)]->setVisible(index == options.selectedTab);
  tabs->setCurrentIndex(options.selectedTab);

  namePage->namePattern->setCurrentIndex(options.namePatternIndex);
  namePage->subsetFonts->setChecked(options.subsetFonts != 0);

  propertiesPage->title->setText(fromText(options.docTitle));
  propertiesPage->subject->setText(fromText(options.docSubject));
  propertiesPage->keywords->setText(fromText(options.docKeywords));
  propertiesPage->author->setText(fromText(options.docAuthor));
  propertiesPage->creator->setText(fromText(options.docCreator));
  propertiesPage->producer->setText(fromText(options.docProducer));

  SecurityPage& security = *securityPage;
  security.openPassword->setText(fromText(options.openPassword));
  security.permissionsPassword->setText(fromText(options.permissionsPassword));
  // An index outside the list leaves the combo without a selection.
  security.printAllowed->setCurrentIndex(options.printAllowed);
  security.changesAllowed->setCurrentIndex(options.changesAllowed);
  security.keepEncryption->setChecked(options.keepEncryption != 0);
  security.addSecurity->setChecked(options.addSecurity != 0);
  security.restrictPermissions->setChecked(options.restrictPermissions != 0);
  security.requireOpenPassword->setChecked(options.requireOpenPassword != 0);
  security.copyAllowed->setChecked(options.copyAllowed != 0);
  security.updateSecurityControls();
}

void OptionsDialog::saveSettings() {
  // The confirmed values stay in memory for the run either way.
  const settings::SaveResult result = settings::saveUserSettings(options);
  if (result.saved)
    return;
  qCWarning(lcOptions, "could not write the settings file %s: %s", result.path.c_str(),
            result.reason.c_str());
  if (saveFailureShown || !saveFailureHandler)
    return;
  saveFailureShown = true;
  saveFailureHandler(dialog, tr("The options could not be saved in %1 (%2).\n\n"
                                "They apply until Sundrel is closed.")
                                 .arg(QString::fromLocal8Bit(result.path.c_str()),
                                      QString::fromLocal8Bit(result.reason.c_str())));
}

void OptionsDialog::showSelectedPage() {
  if (!tabs)
    return;
  const int selected = tabs->currentIndex();
  if (selected < 0 || selected > 2)
    return;
  const std::array<QWidget*, 3> pages{namePage, securityPage, propertiesPage};
  for (int index = 0; index < 3; ++index)
    pages[static_cast<std::size_t>(index)]->setVisible(index == selected);
}

void OptionsDialog::onOk() {
  options.docTitle = toText(propertiesPage->title->text());
  options.docSubject = toText(propertiesPage->subject->text());
  options.docKeywords = toText(propertiesPage->keywords->text());
  options.docAuthor = toText(propertiesPage->author->text());
  options.docCreator = toText(propertiesPage->creator->text());
  options.docProducer = toText(propertiesPage->producer->text());

  QComboBox* pattern = namePage->namePattern;
  const QString patternText = pattern->currentText();
  // A pattern typed by hand has no list item: -1.
  options.namePatternIndex =
      pattern->findText(patternText, Qt::MatchFixedString | Qt::MatchCaseSensitive);
  options.namePattern = toText(patternText);
  options.subsetFonts = checkState(namePage->subsetFonts);

  SecurityPage& security = *securityPage;
  options.openPassword = toText(security.openPassword->text());
  options.permissionsPassword = toText(security.permissionsPassword->text());
  options.printAllowed = security.printAllowed->currentIndex();
  options.changesAllowed = security.changesAllowed->currentIndex();
  options.keepEncryption = checkState(security.keepEncryption);
  options.addSecurity = checkState(security.addSecurity);
  options.restrictPermissions = checkState(security.restrictPermissions);
  options.requireOpenPassword = checkState(security.requireOpenPassword);
  options.copyAllowed = checkState(security.copyAllowed);
  options.selectedTab = tabs->currentIndex();

  saveSettings();
  dialog->accept();
}

void OptionsDialog::onCancel() {
  dialog->reject();
}

} // namespace sundrel::ui
