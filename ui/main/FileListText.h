#pragma once
// The texts of a file-list row.

#include <QDateTime>
#include <QString>

namespace sundrel::ui {

// Whole kilobytes of 1024 bytes, remainder dropped, followed by "KB".
QString formatSizeText(qint64 bytes);

// The time in UTC as "yyyy/MM/dd HH:mm:ss", whatever the local time zone.
QString formatModifiedText(const QDateTime& time);

// True when the last three characters are "pdf" in any case. No dot is
// needed and the path is not checked to name a file.
bool hasPdfEnding(const QString& path);

} // namespace sundrel::ui
