// The windows under a German locale (CTest sets LC_ALL and LANGUAGE): the
// translation is chosen from the locale and the buttons and Options tabs
// show German texts.

#include "app/Translations.h"
#include "tests/ui/TestModal.h"
#include "ui/main/MainDialog.h"
#include "ui/options/PageTabCtrl.h"

#include <QApplication>
#include <QComboBox>
#include <QLocale>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

using namespace sundrel;
namespace ids = ui::ids;

class TranslationTest : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QCOMPARE(QLocale().language(), QLocale::German);
    QVERIFY(app::installTranslations(*qApp, QLocale()));
  }

  void mainWindowButtonsAreGerman() {
    ui::MainDialog dialog;
    const std::pair<int, const char*> buttons[] = {
        {ids::AddDirectory, "Ordner laden"},
        {ids::Add, "Hinzufügen"},
        {ids::Delete, "Entfernen"},
        {ids::Clear, "Leeren"},
        {ids::Browse, "Wählen"},
        {ids::BeginSplit, "Teilen starten"},
        {ids::Options, "Optionen..."},
        {ids::Exit, "Beenden"},
        {ids::About, "Info"},
    };
    for (const auto& [id, text] : buttons)
      QCOMPARE(test::control<QPushButton>(&dialog, id)->text(), QString::fromUtf8(text));
    QCOMPARE(test::control<QComboBox>(&dialog, ids::SizePreset)->itemText(ui::kCustomPreset),
             QStringLiteral("Benutzerdefiniert"));
  }

  void optionsTabsAndButtonsAreGerman() {
    ui::OptionsDialog options;
    auto ran = test::onNextModal([](QWidget* window) {
      QCOMPARE(window->windowTitle(), QStringLiteral("Optionen"));
      QTabBar* tabs = test::control<ui::PageTabCtrl>(window, 1024)->tabBar();
      QStringList texts;
      for (int i = 0; i < tabs->count(); ++i)
        texts << tabs->tabText(i);
      QCOMPARE(texts, (QStringList{QStringLiteral("Dateinamensmuster"),
                                   QStringLiteral("Ausgabesicherheit"),
                                   QStringLiteral("Ausgabeeigenschaften")}));
      QCOMPARE(test::control<QPushButton>(window, 1026)->text(), QStringLiteral("Abbrechen"));
      // The permission tables live outside the windows; their texts too.
      QCOMPARE(test::control<QComboBox>(window, 1041)->itemText(1),
               QString::fromUtf8("Niedrige Auflösung"));
      test::control<QPushButton>(window, 1026)->click();
    });
    options.doModal();
    QVERIFY(*ran);
  }

private:
  QTemporaryDir config;
};

QTEST_MAIN(TranslationTest)
#include "TranslationTest.moc"
