// What the window never does to the user's files, one row per fault class,
// through the real engine: remove look-alikes of its own files, write a part
// over a listed file, put a password where every user can read it, drop the
// security of a settings file with a byte order mark, fail for a temporary
// folder whose name holds a line break. (A dry run and the part list on
// standard output are sundrel-split's alone.)
//
// The program keeps its temporary folder for the life of the process, so
// each row runs in a process of its own: this program again, on that row.

#include "bridge/EngineRunner.h"
#include "engine/SplitEngine.h"
#include "tests/support/PdfFixtures.h"
#include "tests/ui/TestModal.h"
#include "ui/main/MainDialog.h"
#include "ui/main/MessageBox.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace sundrel;
namespace ids = ui::ids;

namespace {

constexpr char kChild[] = "SUNDREL_SAFETY_ROW";
const QByteArray kPassword = "sesame-4711";

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Every file below root with its contents.
QMap<QString, QByteArray> contentsBelow(const QString& root) {
  QMap<QString, QByteArray> found;
  QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    found.insert(path, readAll(path));
  }
  return found;
}

// Whether any process's arguments hold the text.
bool inSomeProcessArguments(const QByteArray& text) {
  for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    if (!pid.front().isDigit())
      continue;
    if (readAll(QStringLiteral("/proc/%1/cmdline").arg(pid)).contains(text))
      return true;
  }
  return false;
}

// Writes the file, its folders first.
void place(const QString& file, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(file).path());
  test::writeFile(file, bytes);
}

int run(const QString& program, const QStringList& args) {
  QProcess process;
  process.start(program, args);
  return process.waitForFinished(60000) ? process.exitCode() : -1;
}

} // namespace

class MainDialogSafetyTest : public QObject {
  Q_OBJECT

  QTemporaryDir work;
  QList<ui::MessageRequest> messages;

  QString path(const QString& name) const { return work.filePath(name); }

  // A document that splits into a few parts at 100K.
  QString document(const QString& name, int pages = 8) {
    const QString file = path(name);
    test::writePdf(file.toStdString(), test::PdfShape{}.withPages(pages).withPageImages(20000));
    return file;
  }

  // The window, with these rows and settings file, splits at 100K into the
  // original folders or into `folder`; what it said at the end.
  QString split(const QStringList& rows, const QByteArray& settings, const QString& folder = {}) {
    QTemporaryDir program;
    QFile::link(QDir(qEnvironmentVariable("SUNDREL_BIN_DIR")).filePath(QStringLiteral("tovix.dll")),
                program.filePath(QStringLiteral("tovix.dll")));
    test::writeFile(program.filePath(QStringLiteral("SettingValue.ini")), settings);
    bridge::setProgramDirectory(program.path().toStdString());
    qputenv("XDG_CONFIG_HOME", program.path().toLocal8Bit());
    ui::setMessageBoxHook([this](const ui::MessageRequest& request) {
      messages << request;
      return QMessageBox::Ok;
    });
    ui::MainDialog dialog;
    dialog.setSplitRunner(engine::runSplit);
    dialog.setFileOpener([](const QString&) {});
    dialog.setFilesChooser([&](QWidget*) { return std::optional(rows); });
    dialog.show();
    QTest::mouseClick(dialog.control(ids::Add), Qt::LeftButton);
    if (!folder.isEmpty()) {
      dialog.setFolderChooser([&](QWidget*, const QString&) { return std::optional(folder); });
      QTest::mouseClick(dialog.control(ids::AlternativeDirectory), Qt::LeftButton);
      QTest::mouseClick(dialog.control(ids::Browse), Qt::LeftButton);
    }
    test::onNextModal([](QWidget* options) {
      QTest::mouseClick(test::control<QPushButton>(options, 1025), Qt::LeftButton);
    });
    QTest::mouseClick(dialog.control(ids::BeginSplit), Qt::LeftButton);
    ui::setMessageBoxHook({});
    return messages.isEmpty() ? QString() : messages.last().text;
  }

private slots:
  void neverDoes_data() {
    QTest::addColumn<QString>("row");
    for (const char* row :
         {"lookAlikesOfItsOwnFilesStay", "noPartOverAListedFile", "noPasswordInProcessArguments",
          "byteOrderMarkKeepsTheSecurity", "temporaryFolderWithALineBreak"})
      QTest::newRow(row) << QString::fromLatin1(row);
  }

  void neverDoes() {
    QFETCH(QString, row);
    if (qEnvironmentVariableIsEmpty(kChild)) {
      if (!QFileInfo::exists(
              QDir(qEnvironmentVariable("SUNDREL_BIN_DIR")).filePath(QStringLiteral("tovix.dll"))))
        QSKIP("the engine is not built");
      QProcess child;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(QString::fromLatin1(kChild), row);
      child.setProcessEnvironment(env);
      child.setProcessChannelMode(QProcess::MergedChannels);
      child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("neverDoes:") + row});
      QVERIFY(child.waitForFinished(300000));
      QVERIFY2(child.exitCode() == 0, child.readAll().constData());
      return;
    }
    if (row != qEnvironmentVariable(kChild))
      QSKIP("another process runs this row");
    const QByteArray security = "[Output Security]\nFileEncry=0\nAddSecuritySet=1\n"
                                "DocumentPassword=" +
                                kPassword + "\n";

    if (row == QLatin1String("lookAlikesOfItsOwnFilesStay")) {
      // Names like the program's temporary folder and hidden files, but the user's.
      place(path(QStringLiteral("T/sundrel-2024-reports/q1.txt")), "x");
      place(path(QStringLiteral("T/sundrel-1999-notes.pdf")), "k");
      place(path(QStringLiteral("out/.sundrel-2023-backup/b.txt")), "b");
      place(path(QStringLiteral("out/.tovix-1999-mine/m.txt")), "m");
      place(path(QStringLiteral("out/.tovix-1999-abcdef.pdf.keep")), "p");
      qputenv("TMPDIR", path(QStringLiteral("T")).toLocal8Bit());
      const auto before = contentsBelow(path(QStringLiteral("T")));
      const auto beforeOut = contentsBelow(path(QStringLiteral("out")));
      const QString said =
          split({document(QStringLiteral("base.pdf"))}, {}, path(QStringLiteral("out")));
      QVERIFY2(said.contains(QStringLiteral("parts were written")), qPrintable(said));
      // Every file of the user's is there as it was (the program's own folder
      // beside them goes when it exits).
      for (const auto& [folder, files] : {std::pair{path(QStringLiteral("T")), before},
                                          std::pair{path(QStringLiteral("out")), beforeOut}}) {
        const auto after = contentsBelow(folder);
        for (auto it = files.begin(); it != files.end(); ++it)
          QCOMPARE(after.value(it.key()), it.value());
      }
    } else if (row == QLatin1String("noPartOverAListedFile")) {
      // Another document under the name the first one's second part would take.
      const QString other = document(QStringLiteral("base part 0002.pdf"), 7);
      const QByteArray otherBytes = readAll(other);
      const QString said = split({document(QStringLiteral("base.pdf")), other}, {});
      QVERIFY2(said.contains(QStringLiteral("listed for this run too")), qPrintable(said));
      QCOMPARE(readAll(other), otherBytes);
    } else if (row == QLatin1String("noPasswordInProcessArguments")) {
      // A line break in the folder sends the run to one process per command.
      const QString folder = path(QStringLiteral("out\nput"));
      QVERIFY(QDir().mkpath(folder));
      bool seen = false;
      QTimer watch;
      connect(&watch, &QTimer::timeout, [&] { seen = seen || inSomeProcessArguments(kPassword); });
      watch.start(5);
      const QString said = split({document(QStringLiteral("base.pdf"))}, security, folder);
      QVERIFY2(said.contains(QStringLiteral("process list")), qPrintable(said));
      QVERIFY(!seen);
      QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
    } else if (row == QLatin1String("byteOrderMarkKeepsTheSecurity")) {
      const QString said = split({document(QStringLiteral("base.pdf"))}, "\xEF\xBB\xBF" + security);
      QVERIFY2(said.contains(QStringLiteral("parts were written")), qPrintable(said));
      const QStringList parts = QDir(work.path()).entryList({QStringLiteral("base part *.pdf")});
      QVERIFY(parts.size() >= 2);
      for (const QString& part : parts)
        QCOMPARE(run(QStringLiteral("qpdf"),
                     {QStringLiteral("--requires-password"), work.filePath(part)}),
                 0); // an open password is needed
    } else if (row == QLatin1String("temporaryFolderWithALineBreak")) {
      QVERIFY(QDir().mkpath(path(QStringLiteral("a\nb"))));
      qputenv("TMPDIR", path(QStringLiteral("a\nb")).toLocal8Bit());
      const QString said = split({document(QStringLiteral("base.pdf"))}, {});
      QVERIFY2(said.contains(QStringLiteral("parts were written")), qPrintable(said));
      QCOMPARE(QDir(path(QStringLiteral("a\nb")))
                   .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
               QStringList());
    }
  }
};

QTEST_MAIN(MainDialogSafetyTest)
#include "MainDialogSafetyTest.moc"
