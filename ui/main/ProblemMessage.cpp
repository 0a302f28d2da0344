#include "ui/main/ProblemMessage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace sundrel::ui {

namespace {

using engine::FailureKind;
using engine::FileOutcome;
using engine::FileReport;
using engine::SplitReport;

// A run over a folder of hundreds of files, or a scanned manual with a
// hundred huge pages, must still give a box that fits on the screen.
constexpr qsizetype kMaxLines = 8;   // per list, then "and N more"
constexpr qsizetype kMaxPages = 5;   // per file
constexpr qsizetype kMaxFolders = 3; // in the closing line

QString tr(const char* text) {
  return QCoreApplication::translate("sundrel::ui", text);
}

// Callers mark both texts with QT_TRANSLATE_NOOP, so that lupdate finds them.
QString counted(qsizetype count, const char* one, const char* many) {
  return count == 1 ? tr(one) : tr(many).arg(count);
}

QString shownPath(const std::string& path) {
  return QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(path)));
}

QString quoted(const QString& text) {
  return QLatin1Char('"') + text + QLatin1Char('"');
}

QString withFullStop(QString text) {
  text = text.trimmed();
  if (!text.isEmpty() && !text.endsWith(QLatin1Char('.')))
    text += QLatin1Char('.');
  return text;
}

QString failureText(const FileReport& file) {
  QString text;
  switch (file.failure) {
  // These say all there is to say.
  case FailureKind::Unreadable:
    return tr("it could not be read; it may be damaged or not a PDF file.");
  case FailureKind::Protected:
    if (engine::engineReasonOf(file) == bridge::EngineReason::PasswordIncorrect)
      return tr("the password given for it is wrong.");
    return tr("it is password-protected.");
  // These are followed by the engine's details (a path, a page range).
  case FailureKind::EngineMissing:
    text = tr("the PDF engine was not found");
    break;
  case FailureKind::ProbeFailed:
    text = tr("the engine failed while measuring its pages");
    break;
  case FailureKind::PartNotWritten:
    text = tr("a part could not be written");
    break;
  case FailureKind::StageFailed:
    text = tr("the security could not be applied to a part, so that part was deleted");
    break;
  case FailureKind::Overwrite:
    text = tr("a part would have replaced another file");
    break;
  case FailureKind::Timeout:
    text = tr("the engine ran out of time or memory and was stopped");
    break;
  case FailureKind::SourceChanged:
    text = tr("it was replaced or changed while it was being split");
    break;
  case FailureKind::None:
    text = tr("it could not be split");
    break;
  }
  QString detail = QString::fromStdString(file.reason).trimmed();
  if (detail.endsWith(QLatin1Char('.')))
    detail.chop(1);
  if (!detail.isEmpty())
    text += QStringLiteral(" (") + detail + QLatin1Char(')');
  return text + QLatin1Char('.');
}

QString oversizeLine(const FileReport& file) {
  QStringList pages;
  for (const engine::OversizePage& page : file.oversizePages) {
    if (pages.size() == kMaxPages)
      break;
    pages << tr("page %1 (%2 bytes)").arg(page.page).arg(page.bytes);
  }
  const qsizetype more = qsizetype(file.oversizePages.size()) - pages.size();
  QString line =
      quoted(shownPath(file.source)) + QStringLiteral(": ") + pages.join(QStringLiteral(", "));
  if (more > 0)
    line += counted(more, QT_TRANSLATE_NOOP("sundrel::ui", ", and 1 more page"),
                    QT_TRANSLATE_NOOP("sundrel::ui", ", and %1 more pages"));
  return line + QLatin1Char('.');
}

// A heading and its entries, each behind a bullet so that a long path
// wrapped over two lines still reads as one entry; a long list ends with how
// many were left out.
QString section(const QString& heading, const QStringList& lines) {
  QStringList shown;
  for (const QString& line : lines.mid(0, kMaxLines))
    shown << QStringLiteral("\u2022 ") + line;
  if (lines.size() > kMaxLines)
    shown << tr("and %1 more.").arg(lines.size() - kMaxLines);
  return heading + QLatin1Char('\n') + shown.join(QLatin1Char('\n'));
}

QString folderList(const QStringList& folders) {
  QStringList named;
  for (const QString& folder : folders.mid(0, kMaxFolders))
    named << quoted(folder);
  const qsizetype others = folders.size() - named.size();
  if (others > 0)
    return tr("%1 and %2")
        .arg(named.join(QStringLiteral(", ")),
             counted(others, QT_TRANSLATE_NOOP("sundrel::ui", "1 other folder"),
                     QT_TRANSLATE_NOOP("sundrel::ui", "%1 other folders")));
  if (named.size() == 1)
    return named.first();
  const QString last = named.takeLast();
  return tr("%1 and %2").arg(named.join(QStringLiteral(", ")), last);
}

QString partsSummary(const SplitReport& report) {
  QStringList folders;
  for (const FileReport& file : report.files)
    for (const engine::PartRecord& part : file.parts) {
      const QString folder = QDir::toNativeSeparators(QFileInfo(shownPath(part.path)).path());
      if (!folders.contains(folder))
        folders << folder;
    }
  const int parts = report.partCount();
  if (parts == 0 || folders.isEmpty())
    return tr("No parts were written.");
  return counted(parts, QT_TRANSLATE_NOOP("sundrel::ui", "1 part was written to %2."),
                 QT_TRANSLATE_NOOP("sundrel::ui", "%1 parts were written to %2."))
      .arg(folderList(folders));
}

} // namespace

QString problemMessage(const SplitReport& report) {
  QStringList failed, notReached, oversize, warnings;
  for (const FileReport& file : report.files) {
    const QString source = quoted(shownPath(file.source));
    if (file.outcome == FileOutcome::Failed)
      failed << source + QStringLiteral(": ") + failureText(file);
    else if (file.outcome == FileOutcome::NotReached)
      notReached << source;
    if (!file.oversizePages.empty())
      oversize << oversizeLine(file);
    for (const std::string& warning : file.warnings)
      warnings << source + QStringLiteral(": ") + withFullStop(QString::fromStdString(warning));
  }

  QStringList sections;
  if (!failed.isEmpty())
    sections << section(counted(failed.size(),
                                QT_TRANSLATE_NOOP("sundrel::ui", "1 file could not be split:"),
                                QT_TRANSLATE_NOOP("sundrel::ui", "%1 files could not be split:")),
                        failed);
  if (!notReached.isEmpty()) {
    const QString heading =
        report.stopped
            ? counted(
                  notReached.size(),
                  QT_TRANSLATE_NOOP("sundrel::ui", "The run was stopped; 1 file was not finished:"),
                  QT_TRANSLATE_NOOP("sundrel::ui",
                                    "The run was stopped; %1 files were not finished:"))
        : report.stoppedEarly
            ? counted(notReached.size(),
                      QT_TRANSLATE_NOOP("sundrel::ui",
                                        "The run stopped early; 1 file was not reached:"),
                      QT_TRANSLATE_NOOP("sundrel::ui",
                                        "The run stopped early; %1 files were not reached:"))
            : counted(notReached.size(),
                      QT_TRANSLATE_NOOP("sundrel::ui", "1 file was not reached:"),
                      QT_TRANSLATE_NOOP("sundrel::ui", "%1 files were not reached:"));
    sections << section(heading, notReached);
  }
  if (!oversize.isEmpty())
    sections << section(tr("Some pages alone are larger than the limit of %1 bytes; each was "
                           "written as a part by itself:")
                            .arg(report.limit),
                        oversize);
  if (!warnings.isEmpty())
    sections << section(counted(warnings.size(), QT_TRANSLATE_NOOP("sundrel::ui", "1 warning:"),
                                QT_TRANSLATE_NOOP("sundrel::ui", "%1 warnings:")),
                        warnings);
  sections << partsSummary(report);
  return sections.join(QStringLiteral("\n\n"));
}

QString runSummary(const SplitReport& report) {
  qsizetype split = 0;
  for (const FileReport& file : report.files)
    split += file.parts.empty() ? 0 : 1;
  const QString files = counted(split, QT_TRANSLATE_NOOP("sundrel::ui", "1 file"),
                                QT_TRANSLATE_NOOP("sundrel::ui", "%1 files"));
  if (split == 0)
    return partsSummary(report);
  return tr("Split %1.").arg(files) + QLatin1Char(' ') + partsSummary(report);
}

} // namespace sundrel::ui
