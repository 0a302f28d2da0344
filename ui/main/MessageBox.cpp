#include "ui/main/MessageBox.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileInfo>

namespace sundrel::ui {

namespace {
MessageBoxHook& currentHook() {
  static MessageBoxHook hook;
  return hook;
}

QMessageBox::Icon toQtIcon(MessageIcon icon) {
  switch (icon) {
  case MessageIcon::Information:
    return QMessageBox::Information;
  case MessageIcon::Warning:
    return QMessageBox::Warning;
  case MessageIcon::Critical:
    return QMessageBox::Critical;
  case MessageIcon::None:
    break;
  }
  return QMessageBox::NoIcon;
}
} // namespace

MessageBoxHook setMessageBoxHook(MessageBoxHook hook) {
  MessageBoxHook previous = std::move(currentHook());
  currentHook() = std::move(hook);
  return previous;
}

QString applicationName() {
  const QString path = QCoreApplication::applicationFilePath();
  if (!path.isEmpty())
    return QFileInfo(path).completeBaseName();
  return QCoreApplication::applicationName();
}

QMessageBox::StandardButton showMessageBox(QWidget* parent, const QString& text, MessageIcon icon,
                                           QMessageBox::StandardButtons buttons,
                                           const QString& caption) {
  return showMessage(parent, MessageRequest{caption, text, icon, buttons, {}});
}

QMessageBox::StandardButton showMessage(QWidget* parent, MessageRequest request) {
  if (request.caption.isEmpty())
    request.caption = applicationName();
  if (currentHook())
    return currentHook()(request);

  QMessageBox box(toQtIcon(request.icon), request.caption, request.text, request.buttons, parent);
  box.setTextFormat(Qt::PlainText);
  if (QAbstractButton* open = box.button(QMessageBox::Open); open && !request.openText.isEmpty()) {
    open->setText(request.openText);
    open->setAccessibleName(request.openText);
  }
  // The first button answers Enter, as on every platform box.
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace sundrel::ui
