#include "ui/main/FileListText.h"

#include "engine/SplitHost.h"

namespace sundrel::ui {

QString formatSizeText(qint64 bytes) {
  // The full 64-bit size: a file of 4 GiB or more must not look tiny, or the
  // split would call it too small.
  return QString::fromStdString(engine::listedSizeText(bytes < 0 ? 0 : std::uint64_t(bytes)));
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
