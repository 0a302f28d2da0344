#pragma once
// The one way the windows show a message box. Tests install a hook that
// answers instead of a user; without it a real modal QMessageBox runs.

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace sundrel::ui {

enum class MessageIcon { None, Information, Warning, Critical };

struct MessageRequest {
  QString caption;
  QString text;
  MessageIcon icon = MessageIcon::None;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  QString openText; // the Open button's caption, when it has one of its own
};

// Answers every message box while installed; an empty function restores the
// real box. Returns the previous hook.
using MessageBoxHook = std::function<QMessageBox::StandardButton(const MessageRequest&)>;
MessageBoxHook setMessageBoxHook(MessageBoxHook hook);

// The application's name: the executable's file name without directory and
// extension. It captions every box shown without a caption of its own.
QString applicationName();

// Shows a modal box and returns the button that closed it. An empty caption
// stands for the application's name.
QMessageBox::StandardButton showMessageBox(QWidget* parent, const QString& text,
                                           MessageIcon icon = MessageIcon::None,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           const QString& caption = {});

// The same for a whole request (its caption empty for the application's name).
QMessageBox::StandardButton showMessage(QWidget* parent, MessageRequest request);

} // namespace sundrel::ui
