#include "ui/main/LinkOpener.h"

#include "ui/main/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

#include <array>

namespace sundrel::ui {

namespace {

constexpr std::array<const char*, 5> kPlaceholders{"%u", "%U", "%f", "%F", "%1"};

// Position of the earliest of the placeholders, quoted when asked; -1 if none.
qsizetype findPlaceholder(const QString& line, bool quoted) {
  qsizetype best = -1;
  for (const char* placeholder : kPlaceholders) {
    const QString needle = quoted ? QStringLiteral("\"%1\"").arg(QLatin1String(placeholder))
                                  : QString::fromLatin1(placeholder);
    const qsizetype at = line.indexOf(needle);
    if (at >= 0 && (best < 0 || at < best))
      best = at;
  }
  return best;
}

// Drops the field codes a launcher expands (icon, name, file location) and
// turns "%%" into "%".
QString dropFieldCodes(const QString& text) {
  QString result;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('%') && i + 1 < text.size()) {
      if (text[i + 1] == QLatin1Char('%'))
        result += QLatin1Char('%');
      ++i;
      continue;
    }
    result += text[i];
  }
  return result;
}

// The [group] key=value entries of a desktop-style file.
QString readDesktopValue(const QString& path, const QString& group, const QString& key) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    return {};
  QTextStream in(&file);
  bool inGroup = false;
  const QString header = QLatin1Char('[') + group + QLatin1Char(']');
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.startsWith(QLatin1Char('['))) {
      inGroup = line == header;
      continue;
    }
    if (!inGroup)
      continue;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq > 0 && line.left(eq).trimmed() == key)
      return line.mid(eq + 1).trimmed();
  }
  return {};
}

QString defaultHtmlDesktopId() {
  const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (!xdgMime.isEmpty()) {
    QProcess process;
    process.start(
        xdgMime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (process.waitForFinished(3000)) {
      const QString id = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
      if (!id.isEmpty())
        return id.section(QLatin1Char(';'), 0, 0);
    } else {
      process.kill();
      process.waitForFinished(1000);
    }
  }
  // Without xdg-mime, the lists it reads, in its order.
  QStringList lists;
  for (const QString& dir :
       QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
    lists << dir + QStringLiteral("/mimeapps.list");
  for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
    lists << dir + QStringLiteral("/mimeapps.list") << dir + QStringLiteral("/defaults.list");
  for (const QString& list : lists) {
    const QString value =
        readDesktopValue(list, QStringLiteral("Default Applications"), QStringLiteral("text/html"));
    const QString id = value.section(QLatin1Char(';'), 0, 0).trimmed();
    if (!id.isEmpty())
      return id;
  }
  return {};
}

} // namespace

QString fallbackCommandLine(const QString& execLine, const QString& link) {
  qsizetype cut = findPlaceholder(execLine, true);
  if (cut < 0)
    cut = findPlaceholder(execLine, false);
  const QString kept = cut < 0 ? execLine : execLine.left(cut);
  return dropFieldCodes(kept) + QLatin1Char(' ') + link;
}

QString defaultHtmlHandlerExec() {
  const QString id = defaultHtmlDesktopId();
  if (id.isEmpty())
    return {};
  const QString file =
      QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id, QStandardPaths::LocateFile);
  if (file.isEmpty())
    return {};
  return readDesktopValue(file, QStringLiteral("Desktop Entry"), QStringLiteral("Exec"));
}

int launchCommandLine(const QString& commandLine) {
  QStringList arguments = QProcess::splitCommand(commandLine);
  if (arguments.isEmpty())
    return kLaunchFileNotFound;
  const QString program = arguments.takeFirst();
  QString resolved;
  if (program.contains(QLatin1Char('/'))) {
    const QFileInfo info(program);
    if (!info.dir().exists())
      return kLaunchPathNotFound;
    if (!info.exists())
      return kLaunchFileNotFound;
    resolved = info.absoluteFilePath();
  } else {
    resolved = QStandardPaths::findExecutable(program);
    if (resolved.isEmpty())
      return kLaunchFileNotFound;
  }
  const QFileInfo target(resolved);
  if (!target.isFile() || !target.isExecutable())
    return kLaunchAccessDenied;
  return QProcess::startDetached(resolved, arguments) ? kLaunchSucceeded : kLaunchOutOfResources;
}

int openUrl(const QString& link) {
  if (QDesktopServices::openUrl(QUrl(link)))
    return kLaunchSucceeded;
  const int desktopResult = kLaunchNoAssociation;
  const QString exec = defaultHtmlHandlerExec();
  if (exec.isEmpty())
    return desktopResult;
  return launchCommandLine(fallbackCommandLine(exec, link));
}

namespace {
// The context of the messages below for tr() and lupdate.
struct LinkOpener {
  Q_DECLARE_TR_FUNCTIONS(LinkOpener)
};
} // namespace

QString openErrorReason(int code) {
  switch (code) {
  case 0:
    return LinkOpener::tr("The operating system is out\nof memory or resources.");
  case 2:
    return LinkOpener::tr("The specified file was not found.");
  case 3:
    return LinkOpener::tr("The specified path was not found.");
  case 5:
    return LinkOpener::tr("The operating system denied\naccess to the specified file.");
  case 8:
    return LinkOpener::tr("There was not enough memory to complete the operation.");
  case 11:
    return LinkOpener::tr("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
  case 26:
    return LinkOpener::tr("A sharing violation occurred. ");
  case 27:
    return LinkOpener::tr("The filename association is\nincomplete or invalid.");
  case 28:
    return LinkOpener::tr(
        "The DDE transaction could not\nbe completed because the request timed out.");
  case 29:
    return LinkOpener::tr("The DDE transaction failed.");
  case 30:
    return LinkOpener::tr("The DDE transaction could not\nbe completed because other DDE "
                          "transactions\nwere being processed.");
  case 31:
    return LinkOpener::tr("There is no application associated\nwith the given filename extension.");
  case 32:
    return LinkOpener::tr("The specified dynamic-link library was not found.");
  default:
    return LinkOpener::tr("Unknown Error (%1) occurred.").arg(code);
  }
}

void reportOpenError(QWidget* parent, int code) {
  showMessageBox(parent, LinkOpener::tr("Unable to open hyperlink:\n\n") + openErrorReason(code),
                 MessageIcon::Warning, QMessageBox::Ok);
}

} // namespace sundrel::ui
