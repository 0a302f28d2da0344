#pragma once
// Asks for the password that opens a PDF file. The text is never shown: the
// edit echoes dots. At Begin Split it also offers "Skip this file".

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace sundrel::ui {

class PasswordDialog : public QDialog {
  Q_OBJECT

public:
  enum Result { Cancelled = QDialog::Rejected, Given = QDialog::Accepted, Skipped = 2 };

  // prompt: what is asked, above the file's path (or a count of files when
  // path is empty). offerSkip adds "Skip this file"; allowEmpty lets OK take
  // an empty text (which removes a password that was given).
  PasswordDialog(QWidget* parent, const QString& prompt, const QString& path, bool offerSkip,
                 bool allowEmpty);

  // The text typed; the edit is emptied when the dialog closes.
  QString password() const { return typed; }

  void done(int result) override;

private:
  void updateOk();

  QLineEdit* edit = nullptr;
  QPushButton* okButton = nullptr;
  bool allowEmpty = false;
  QString typed;
};

} // namespace sundrel::ui
