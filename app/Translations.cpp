#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace sundrel::app {

bool installTranslations(QCoreApplication& application, const QLocale& locale) {
  // Qt's own texts (file dialog, standard buttons) where the system has them.
  auto* qt = new QTranslator(&application);
  if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(qt);
  else
    delete qt;

  // qt_add_translations puts the built .qm files under :/i18n.
  auto* own = new QTranslator(&application);
  if (own->load(locale, QStringLiteral("sundrel"), QStringLiteral("_"), QStringLiteral(":/i18n"))) {
    QCoreApplication::installTranslator(own);
    return true;
  }
  delete own;
  return false;
}

} // namespace sundrel::app
