// The main window's controls, made from one table: identifier, descriptive
// name, kind, caption and place in dialog units, in the template's order
// (which is also the order they stack in). What a control needs beyond the
// table is set after it.

#include "ui/main/MainDialog.h"

#include "settings/SplitSettings.h"
#include "ui/main/FileList.h"
#include "ui/options/DialogUnits.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>

#include <algorithm>
#include <array>

namespace sundrel::ui {

namespace {

enum class Kind { Group, Label, Button, List, Combo, Edit, Radio, Progress };

struct ControlEntry {
  int id;           // the object name; 0 for a label no code refers to
  const char* name; // the descriptive name
  Kind kind;
  const char* text; // the caption, translated in MainDialog's context
  int x, y, w, h;   // dialog units
};

#define CAPTION(text) QT_TRANSLATE_NOOP("sundrel::ui::MainDialog", text)
// The group box first, so the controls inside it stack above it.
constexpr std::array<ControlEntry, 20> kControls{{
    {ids::OutputGroup, "outputGroup", Kind::Group, CAPTION("Output directory"), 6, 207, 411, 66},
    {ids::ListLabel, "listLabel", Kind::Label, CAPTION("PDF File List:"), 9, 19, 57, 8},
    {ids::AddDirectory, "addDirectory", Kind::Button, CAPTION("Add Directory"), 105, 7, 64, 14},
    {ids::Add, "add", Kind::Button, CAPTION("Add"), 184, 7, 64, 14},
    {ids::Delete, "delete", Kind::Button, CAPTION("Delete"), 263, 7, 64, 14},
    {ids::Clear, "clear", Kind::Button, CAPTION("Clear"), 342, 7, 64, 14},
    {ids::FileList, "fileList", Kind::List, nullptr, 6, 29, 412, 150},
    {ids::SizeLabel, "sizeLabel", Kind::Label, CAPTION("Split by file size:"), 19, 192, 85, 8},
    {ids::SizePreset, "sizePreset", Kind::Combo, nullptr, 109, 190, 94, 12},
    {ids::SizeEdit, "sizeEdit", Kind::Edit, nullptr, 209, 190, 66, 12},
    {0, "bytesLabel", Kind::Label, CAPTION("Bytes"), 280, 190, 21, 12},
    {ids::OriginalDirectory, "originalDirectory", Kind::Radio, CAPTION("Original directory"), 16,
     227, 103, 10},
    {ids::Progress, "progress", Kind::Progress, nullptr, 126, 223, 283, 14},
    {ids::AlternativeDirectory, "alternativeDirectory", Kind::Radio,
     CAPTION("Alternative directory"), 16, 247, 103, 10},
    {ids::FolderEdit, "folderEdit", Kind::Edit, nullptr, 126, 245, 229, 14},
    {ids::Browse, "browse", Kind::Button, CAPTION("Browse"), 359, 245, 50, 14},
    {ids::BeginSplit, "beginSplit", Kind::Button, CAPTION("Begin Split"), 93, 289, 74, 14},
    {ids::Options, "options", Kind::Button, CAPTION("Options..."), 176, 289, 74, 14},
    {ids::Exit, "exit", Kind::Button, CAPTION("Exit"), 342, 289, 74, 14},
    {ids::About, "about", Kind::Button, CAPTION("About"), 259, 289, 74, 14},
}};

// Accessible names of controls without a caption of their own.
constexpr std::array<std::pair<int, const char*>, 5> kAccessibleNames{{
    {ids::FileList, CAPTION("PDF File List")},
    {ids::SizePreset, CAPTION("Split by file size")},
    {ids::SizeEdit, CAPTION("Size limit in bytes")},
    {ids::Progress, CAPTION("Split progress")},
    {ids::FolderEdit, CAPTION("Alternative directory folder")},
}};
#undef CAPTION

// Tab order follows the template's control order.
constexpr std::array<int, 15> kTabOrder{ids::AddDirectory,
                                        ids::Add,
                                        ids::Delete,
                                        ids::Clear,
                                        ids::FileList,
                                        ids::SizePreset,
                                        ids::SizeEdit,
                                        ids::OriginalDirectory,
                                        ids::AlternativeDirectory,
                                        ids::FolderEdit,
                                        ids::Browse,
                                        ids::BeginSplit,
                                        ids::Options,
                                        ids::About,
                                        ids::Exit};

QString caption(const char* text) {
  return QCoreApplication::translate("sundrel::ui::MainDialog", text);
}

QWidget* make(const ControlEntry& entry, QWidget* parent) {
  switch (entry.kind) {
  case Kind::Group:
    return new QGroupBox(caption(entry.text), parent);
  case Kind::Label: {
    auto* label = new QLabel(caption(entry.text), parent);
    label->setTextFormat(Qt::PlainText);
    return label;
  }
  case Kind::Button: {
    auto* button = new QPushButton(caption(entry.text), parent);
    button->setAccessibleName(button->text());
    return button;
  }
  case Kind::List:
    return new QTableWidget(parent);
  case Kind::Combo:
    return new QComboBox(parent);
  case Kind::Edit:
    return new QLineEdit(parent);
  case Kind::Radio: {
    auto* radio = new QRadioButton(caption(entry.text), parent);
    radio->setAccessibleName(radio->text());
    return radio;
  }
  case Kind::Progress:
    return new QProgressBar(parent);
  }
  return nullptr;
}

// Wide enough for the caption in any font; the template's width is for the
// original 8-point font.
void fitWidth(QWidget* label) {
  label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
}

} // namespace

void MainDialog::createControls() {
  const DialogUnits du(font());
  setFixedSize(du.size(424, 319));
  for (const ControlEntry& entry : kControls) {
    QWidget* widget = make(entry, this);
    widget->setObjectName(entry.id != 0 ? QString::number(entry.id)
                                        : QString::fromLatin1(entry.name));
    widget->setProperty(kControlNameProperty, QString::fromLatin1(entry.name));
    du.place(widget, entry.x, entry.y, entry.w, entry.h);
  }
  for (const auto& [id, name] : kAccessibleNames)
    control(id)->setAccessibleName(caption(name));

  progressBar = static_cast<QProgressBar*>(control(ids::Progress));
  fileTable = static_cast<QTableWidget*>(control(ids::FileList));
  beginSplitButton = static_cast<QPushButton*>(control(ids::BeginSplit));
  browseButton = static_cast<QPushButton*>(control(ids::Browse));
  deleteButton = static_cast<QPushButton*>(control(ids::Delete));
  clearButton = static_cast<QPushButton*>(control(ids::Clear));
  sizeEdit = static_cast<QLineEdit*>(control(ids::SizeEdit));
  folderEdit = static_cast<QLineEdit*>(control(ids::FolderEdit));
  sizePresetCombo = static_cast<QComboBox*>(control(ids::SizePreset));
  originalRadio = static_cast<QRadioButton*>(control(ids::OriginalDirectory));
  alternativeRadio = static_cast<QRadioButton*>(control(ids::AlternativeDirectory));

  auto* listLabel = static_cast<QLabel*>(control(ids::ListLabel));
  fitWidth(listLabel);
  listLabel->setBuddy(fileTable);
  auto* sizeLabel = static_cast<QLabel*>(control(ids::SizeLabel));
  sizeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  sizeLabel->setBuddy(sizePresetCombo);
  // The sizes read alike in every language; "Custom" and "E-mail" are words.
  for (const auto& preset : settings::kSizePresets)
    sizePresetCombo->addItem(
        preset.bytes == 0 ? tr("Custom")
        : preset.mailBytes != 0
            ? tr("E-mail %1 MB").arg(preset.mailBytes / 1000000)
            : QString::fromLatin1(preset.itemText.data(), qsizetype(preset.itemText.size())));

  sizeEdit->setAlignment(Qt::AlignRight);
  // A byte count or a number with a unit, as sundrel-split reads it ("10M",
  // "9.5 MB", "25MiB"); the label beside it says what it means in bytes.
  sizeEdit->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9 .]*[A-Za-z]{0,5} *")), sizeEdit));
  sizeEdit->setMaxLength(24);
  // As tall as the edit beside it, so both texts share one baseline; wide
  // enough for "= 4294967295 bytes".
  QWidget* bytesLabel = control("bytesLabel");
  du.place(bytesLabel, 280, 190, 130, 12);
  static_cast<QLabel*>(bytesLabel)->setBuddy(sizeEdit);

  progressBar->setTextVisible(false);
  // Above the progress bar: which file of how many, the page, parts so far.
  runStatus = new QLabel(this);
  runStatus->setObjectName(QStringLiteral("runStatus"));
  runStatus->setProperty(kControlNameProperty, QStringLiteral("runStatus"));
  runStatus->setTextFormat(Qt::PlainText);
  runStatus->setAccessibleName(tr("Split status"));
  du.place(runStatus, 126, 212, 283, 10);
  // Shows the folder chosen with Browse; a typed path would not be used.
  folderEdit->setReadOnly(true);

  for (std::size_t i = 1; i < kTabOrder.size(); ++i)
    setTabOrder(control(kTabOrder[i - 1]), control(kTabOrder[i]));
  fileList = new FileList(fileTable, this);
  connectControls();
}

void MainDialog::connectControls() {
  const std::pair<int, void (MainDialog::*)()> clicks[] = {
      {ids::BeginSplit, &MainDialog::onBeginSplit},
      {ids::Options, &MainDialog::onOptions},
      {ids::Browse, &MainDialog::onBrowse},
      {ids::Exit, &MainDialog::onExit},
      {ids::About, &MainDialog::onAbout},
      {ids::Add, &MainDialog::onAdd},
      {ids::AddDirectory, &MainDialog::onAddDirectory},
      {ids::Delete, &MainDialog::onDelete},
      {ids::Clear, &MainDialog::onClear},
  };
  for (const auto& [id, slot] : clicks)
    connect(static_cast<QPushButton*>(control(id)), &QPushButton::clicked, this, slot);
  connect(sizePresetCombo, &QComboBox::activated, this, &MainDialog::onSizePresetChange);
  connect(sizeEdit, &QLineEdit::textChanged, this, &MainDialog::showSizeMeaning);
  connect(originalRadio, &QRadioButton::clicked, this, &MainDialog::onOriginalDirectory);
  connect(alternativeRadio, &QRadioButton::clicked, this, &MainDialog::onAlternativeDirectory);
  // Browse and the folder edit follow the radios' state however it changes:
  // an assistive technology's toggle or a program sends no click.
  for (QRadioButton* radio : {originalRadio, alternativeRadio})
    connect(radio, &QRadioButton::toggled, this, &MainDialog::updateControlStates);
  fileTable->installEventFilter(this);
  connect(fileTable, &QTableWidget::itemSelectionChanged, this, &MainDialog::onListItemChanged);
  connect(fileTable, &QTableWidget::cellDoubleClicked, this, &MainDialog::onListDoubleClick);
}

QWidget* MainDialog::control(int id) const {
  return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

QWidget* MainDialog::control(std::string_view name) const {
  const QString wanted = QString::fromLatin1(name.data(), qsizetype(name.size()));
  for (QWidget* widget : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (widget->property(kControlNameProperty).toString() == wanted)
      return widget;
  return nullptr;
}

} // namespace sundrel::ui
