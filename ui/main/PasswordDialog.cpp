#include "ui/main/PasswordDialog.h"

#include "ui/main/MessageBox.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace sundrel::ui {

namespace {
constexpr int kWidth = 380; // pixels of the path line; longer paths lose their middle
} // namespace

PasswordDialog::PasswordDialog(QWidget* parent, const QString& prompt, const QString& path,
                               bool offerSkip, bool allowEmptyText)
    : QDialog(parent), allowEmpty(allowEmptyText) {
  setObjectName(QStringLiteral("passwordDialog"));
  setWindowTitle(applicationName());
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  auto* promptLabel = new QLabel(prompt, this);
  promptLabel->setObjectName(QStringLiteral("prompt"));
  promptLabel->setTextFormat(Qt::PlainText);
  promptLabel->setWordWrap(true);
  promptLabel->setFixedWidth(kWidth);
  layout->addWidget(promptLabel);

  if (!path.isEmpty()) {
    const QString shown = QDir::toNativeSeparators(path);
    auto* pathLabel = new QLabel(this);
    pathLabel->setObjectName(QStringLiteral("path"));
    pathLabel->setTextFormat(Qt::PlainText);
    pathLabel->setText(pathLabel->fontMetrics().elidedText(shown, Qt::ElideMiddle, kWidth));
    pathLabel->setToolTip(shown);
    pathLabel->setAccessibleName(shown);
    pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(pathLabel);
  }

  edit = new QLineEdit(this);
  edit->setObjectName(QStringLiteral("password"));
  edit->setEchoMode(QLineEdit::Password);
  edit->setAccessibleName(tr("Password"));
  edit->setAccessibleDescription(prompt);
  promptLabel->setBuddy(edit);
  layout->addWidget(edit);

  auto* buttons = new QDialogButtonBox(this);
  okButton = buttons->addButton(QDialogButtonBox::Ok);
  okButton->setObjectName(QStringLiteral("ok"));
  if (offerSkip) {
    QPushButton* skip = buttons->addButton(tr("Skip this file"), QDialogButtonBox::ActionRole);
    skip->setObjectName(QStringLiteral("skip"));
    skip->setAutoDefault(false);
    connect(skip, &QPushButton::clicked, this, [this] { done(Skipped); });
  }
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setAutoDefault(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  okButton->setDefault(true);
  connect(edit, &QLineEdit::textChanged, this, &PasswordDialog::updateOk);
  updateOk();
  edit->setFocus();
}

void PasswordDialog::updateOk() {
  okButton->setEnabled(allowEmpty || !edit->text().isEmpty());
}

void PasswordDialog::done(int result) {
  // Enter in the edit with OK disabled would still accept through the
  // default button's shortcut path; an empty answer is no answer.
  if (result == Given && !okButton->isEnabled())
    return;
  typed = result == Given ? edit->text() : QString();
  edit->clear();
  QDialog::done(result);
}

} // namespace sundrel::ui
