#pragma once
// Opening a link through the desktop, with the registered web browser's
// command as a fallback, and the message that names why it failed. Results
// are launch codes: above 32 is success, 32 and below name the failure.

#include <QString>

class QWidget;

namespace sundrel::ui {

inline constexpr int kLaunchSucceeded = 33;
// Failure codes this platform's launcher reports.
inline constexpr int kLaunchOutOfResources = 0;
inline constexpr int kLaunchFileNotFound = 2;
inline constexpr int kLaunchPathNotFound = 3;
inline constexpr int kLaunchAccessDenied = 5;
inline constexpr int kLaunchNoAssociation = 31;

// Opens link with the desktop's handler; when that fails, runs the desktop's
// default text/html handler with the link. Returns the last attempt's code.
int openUrl(const QString& link);

// The fallback command line: execLine cut at its placeholder ("%u", "%U",
// "%f", "%F" or "%1", a quoted one found first), then a blank and the link.
// Without a placeholder the blank and link follow the whole line. Other field
// codes of the part kept are dropped and "%%" becomes "%".
QString fallbackCommandLine(const QString& execLine, const QString& link);

// The Exec line of the desktop's default text/html application, empty when
// none is registered.
QString defaultHtmlHandlerExec();

// Starts commandLine detached; kLaunchSucceeded or a failure code.
int launchCommandLine(const QString& commandLine);

// The reason text for a launch code.
QString openErrorReason(int code);

// "Unable to open hyperlink:" and the reason, in the application's message
// box with the exclamation icon.
void reportOpenError(QWidget* parent, int code);

} // namespace sundrel::ui
