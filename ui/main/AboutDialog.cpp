#include "ui/main/AboutDialog.h"

#include "ui/main/HyperlinkStatic.h"
#include "ui/main/MainDialog.h"
#include "ui/options/DialogUnits.h"

#include <QLabel>
#include <QPushButton>

namespace sundrel::ui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(tr("About Orvane Sundrel 2.0"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  const DialogUnits du(font());
  setFixedSize(du.size(262, 85));

  auto* iconLabel = new QLabel(this);
  iconLabel->setObjectName(QStringLiteral("aboutIcon"));
  iconLabel->setPixmap(applicationIcon().pixmap(32, 32));
  iconLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  iconLabel->setAccessibleName(tr("Sundrel icon"));
  du.place(iconLabel, 11, 17, 21, 23);
  // The icon keeps its 32 pixels even where the dialog font is small.
  iconLabel->resize(std::max(iconLabel->width(), 32), std::max(iconLabel->height(), 32));

  auto text = [&](const QString& caption, const char* objectName, int y) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(QLatin1String(objectName));
    label->setTextFormat(Qt::PlainText);
    du.place(label, 40, y, 153, 8);
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
    return label;
  };
  text(QStringLiteral("Orvane Sundrel 2.0"), "productLine", 10);
  text(tr("Copyright (C) 2026 Orvane. All rights reserved."), "makerLine", 26);

  auto* ok = new QPushButton(tr("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  du.place(ok, 205, 7, 50, 14);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  web = new HyperlinkStatic(tr("Web: %1").arg(QLatin1String(kProductWebAddress)), this);
  web->setObjectName(QStringLiteral("1073"));
  du.place(web, 40, 42, 153, 8);
  web->bind();
  email = new HyperlinkStatic(tr("Email: %1").arg(QLatin1String(kSupportEmailAddress)), this);
  email->setObjectName(QStringLiteral("1074"));
  du.place(email, 40, 58, 153, 8);
  email->bind();

  email->setUrl(QStringLiteral("mailto:%1").arg(QLatin1String(kSupportEmailAddress)));
  email->setUnderline(false);
  web->setUrl(QLatin1String(kProductWebAddress));
  web->setUnderline(false);

  ok->setFocus();
}

} // namespace sundrel::ui
