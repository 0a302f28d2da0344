#include "ui/main/FileListText.h"

namespace sundrel::ui {

QString formatSizeText(qint64 bytes) {
  // 1023 bytes show "0KB", 1536 bytes "1KB"; the run takes the exact size.
  return QString::number(bytes < 0 ? 0 : bytes / 1024) + QStringLiteral("KB");
}

QString formatModifiedText(const QDateTime& time) {
  if (!time.isValid())
    return {};
  return time.toUTC().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

bool hasPdfEnding(const QString& path) {
  return path.size() >= 3 && path.right(3).compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
}

} // namespace sundrel::ui
