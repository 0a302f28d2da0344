#pragma once
// The windows in the user's language: Sundrel's own texts (built into the
// program) and Qt's for its standard dialogs. English is the source language
// and needs no translation.

class QCoreApplication;
class QLocale;

namespace sundrel::app {

// Installs the translations for locale's user-interface languages, in the
// order of preference. True when one of Sundrel's own was found.
bool installTranslations(QCoreApplication& application, const QLocale& locale);

} // namespace sundrel::app
