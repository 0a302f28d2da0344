#include "ui/main/HyperlinkStatic.h"

#include "ui/main/LinkOpener.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace sundrel::ui {

namespace {

// Screen readers see a link with its target and a press action.
class HyperlinkAccessible : public QAccessibleWidget {
public:
  explicit HyperlinkAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Link) {}

  QString text(QAccessible::Text kind) const override {
    switch (kind) {
    case QAccessible::Name:
      return link()->accessibleName().isEmpty() ? link()->text() : link()->accessibleName();
    case QAccessible::Description:
    case QAccessible::Value:
      return link()->url();
    default:
      return QAccessibleWidget::text(kind);
    }
  }
  QStringList actionNames() const override {
    return QStringList{pressAction()} + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& action) override {
    if (action == pressAction())
      link()->onClicked();
    else
      QAccessibleWidget::doAction(action);
  }

private:
  HyperlinkStatic* link() const { return static_cast<HyperlinkStatic*>(widget()); }
};

QAccessibleInterface* hyperlinkAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(HyperlinkStatic::staticMetaObject.className()) &&
      object->isWidgetType())
    return new HyperlinkAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

} // namespace

HyperlinkStatic::HyperlinkStatic(QWidget* parent) : HyperlinkStatic(QString(), parent) {}

HyperlinkStatic::HyperlinkStatic(const QString& text, QWidget* parent)
    : QLabel(text, parent), hoverColour(QApplication::palette().color(QPalette::Highlight)),
      opener(openUrl) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(hyperlinkAccessibleFactory);
    return true;
  }();
  (void)factoryInstalled;
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setCursor(Qt::PointingHandCursor);
  // Reachable with Tab and opened with Space or Enter, like a button.
  setFocusPolicy(Qt::TabFocus);
  QFont linkFont = font();
  linkFont.setUnderline(underline);
  setFont(linkFont);
}

void HyperlinkStatic::bind() {
  if (target.isEmpty())
    target = text();
  if (text().isEmpty())
    setText(target);
  QFont linkFont = font();
  linkFont.setUnderline(underline);
  setFont(linkFont);
  fitToText();
  setToolTip(target);
}

void HyperlinkStatic::setUrl(const QString& link) {
  target = link;
  fitToText();
  setToolTip(target);
}

void HyperlinkStatic::setVisited(bool flag) {
  visited = flag;
  update();
}

void HyperlinkStatic::setUnderline(bool flag) {
  underline = flag;
  QFont linkFont = font();
  linkFont.setUnderline(flag);
  setFont(linkFont);
  update();
}

void HyperlinkStatic::setOpener(Opener launch) {
  opener = std::move(launch);
}

QColor HyperlinkStatic::textColour() const {
  if (overControl)
    return hoverColour;
  return visited ? visitedColour : linkColour;
}

void HyperlinkStatic::fitToText() {
  if (!adjustToFit)
    return;
  const QFontMetrics metrics(font());
  const int cx = metrics.horizontalAdvance(text());
  const int cy = metrics.height();
  QRect r = geometry();
  if (alignment() & Qt::AlignVCenter) {
    const int shrink = (r.height() - cy) / 2;
    r.adjust(0, shrink, 0, -shrink);
  } else {
    r.setHeight(cy);
  }
  if (alignment() & Qt::AlignHCenter) {
    const int shrink = (r.width() - cx) / 2;
    r.adjust(shrink, 0, -shrink, 0);
  } else if (alignment() & Qt::AlignRight) {
    r.setLeft(r.right() - cx + 1);
  } else {
    r.setWidth(cx);
  }
  setGeometry(r);
}

void HyperlinkStatic::onClicked() {
  const int result = opener ? opener(target) : kLaunchNoAssociation;
  visited = result > 32;
  if (visited) {
    setVisited(true);
    return;
  }
  QApplication::beep();
  reportOpenError(window(), result);
}

void HyperlinkStatic::paintEvent(QPaintEvent*) {
  // Drawn here rather than through the palette, so no style sheet can take
  // the link colours away. The background is the dialog's.
  QPainter painter(this);
  painter.setFont(font());
  painter.setPen(textColour());
  painter.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, text());
  if (hasFocus()) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

void HyperlinkStatic::setHover(bool over) {
  if (overControl == over)
    return;
  overControl = over;
  repaint(); // at once, as the pointer moves
}

void HyperlinkStatic::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  setHover(true);
}

void HyperlinkStatic::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  setHover(false);
}

void HyperlinkStatic::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    pressed = true;
    event->accept();
    return;
  }
  QLabel::mousePressEvent(event);
}

void HyperlinkStatic::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && pressed) {
    pressed = false;
    event->accept();
    if (rect().contains(event->position().toPoint()))
      onClicked();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void HyperlinkStatic::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
  case Qt::Key_Space:
  case Qt::Key_Return:
  case Qt::Key_Enter:
    event->accept();
    onClicked();
    return;
  default:
    QLabel::keyPressEvent(event);
  }
}

} // namespace sundrel::ui
