#include "ui/options/PageTabCtrl.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QHoverEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTab>
#include <QStyleOptionTabWidgetFrame>
#include <QTransform>
#include <QtMath>

#include <algorithm>

namespace sundrel::ui {

namespace {

bool themesActive = true;

// Offset of the strip from the control's edges: room for the selected tab,
// which is painted 2 pixels larger than its rectangle on every side.
constexpr int kStripMargin = 2;

QTabBar::Shape shapeOf(PageTabCtrl::Orientation where) {
  switch (where) {
  case PageTabCtrl::Bottom:
    return QTabBar::RoundedSouth;
  case PageTabCtrl::Left:
    return QTabBar::RoundedWest;
  case PageTabCtrl::Right:
    return QTabBar::RoundedEast;
  case PageTabCtrl::Top:
    break;
  }
  return QTabBar::RoundedNorth;
}

// Exclusive right and bottom edges, as the arithmetic of the tab parts uses them.
int rightOf(const QRect& r) {
  return r.x() + r.width();
}
int bottomOf(const QRect& r) {
  return r.y() + r.height();
}

} // namespace

// The platform tab strip: keeps the tabs, the keyboard handling, hit-testing
// and the accessible page tabs; it paints only when the control does not.
class PageTabCtrl::Strip : public QTabBar {
public:
  explicit Strip(PageTabCtrl* control) : QTabBar(control), ctrl(control) {}
  void styleOption(QStyleOptionTab* option, int index) const { initStyleOption(option, index); }

protected:
  void paintEvent(QPaintEvent* event) override {
    if (ctrl->isThemedDrawing())
      return; // the control has painted the tabs under this transparent strip
    QTabBar::paintEvent(event);
  }

private:
  PageTabCtrl* ctrl;
};

PageTabCtrl::PageTabCtrl(QWidget* parent) : QWidget(parent), strip(new Strip(this)) {
  strip->setDrawBase(false);
  strip->setExpanding(false);
  strip->setUsesScrollButtons(false);
  strip->setElideMode(Qt::ElideRight);
  // Focus on button down: a click on a tab takes the keyboard focus.
  strip->setFocusPolicy(Qt::StrongFocus);
  strip->setAttribute(Qt::WA_Hover);
  strip->setMouseTracking(true);
  strip->installEventFilter(this);
  connect(strip, &QTabBar::currentChanged, this, [this](int index) {
    onSelChanging();
    onSelChange(index);
  });
  setFocusProxy(strip);
  layoutStrip();
}

int PageTabCtrl::insertItem(int index, const QString& text) {
  const int at = strip->insertTab(index, text);
  strip->setTabToolTip(at, QString());
  layoutStrip();
  update();
  return at;
}

int PageTabCtrl::count() const {
  return strip->count();
}
int PageTabCtrl::currentIndex() const {
  return strip->currentIndex();
}

void PageTabCtrl::setCurrentIndex(int index) {
  if (index < 0 || index >= strip->count())
    return;
  // A selection made by the program is not a selection change to report.
  PageTabOwner* const told = tabOwner;
  tabOwner = nullptr;
  strip->setCurrentIndex(index);
  tabOwner = told;
  update();
}

QString PageTabCtrl::itemText(int index) const {
  return strip->tabText(index);
}

QRect PageTabCtrl::itemRect(int index) const {
  if (index < 0 || index >= strip->count())
    return {};
  return strip->tabRect(index).translated(strip->pos());
}

int PageTabCtrl::hitTest(const QPoint& point) const {
  const QPoint local = point - strip->pos();
  if (!strip->rect().contains(local))
    return -1;
  return strip->tabAt(local);
}

QTabBar* PageTabCtrl::tabBar() const {
  return strip;
}

void PageTabCtrl::setTabPosition(Orientation where) {
  position = where;
  strip->setShape(shapeOf(where));
  layoutStrip();
  update();
}

QRect PageTabCtrl::paneRect() const {
  const QRect client = rect();
  const QRect tabs = strip->geometry();
  const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
  QRect pane = client;
  switch (position) {
  case Top:
    pane.setTop(bottomOf(tabs) - overlap);
    break;
  case Bottom:
    pane.setBottom(tabs.top() + overlap - 1);
    break;
  case Left:
    pane.setLeft(rightOf(tabs) - overlap);
    break;
  case Right:
    pane.setRight(tabs.left() + overlap - 1);
    break;
  }
  return pane;
}

QRect PageTabCtrl::displayRect() const {
  const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
  const int inset = std::max(frame, 2);
  return paneRect().adjusted(inset, inset, -inset, -inset);
}

bool PageTabCtrl::themesAvailable() {
  if (!themesActive)
    return false;
  // The classic style stands for a desktop without visual styles.
  const QStyle* style = QApplication::style();
  return style && style->name().compare(QLatin1String("windows"), Qt::CaseInsensitive) != 0;
}

void PageTabCtrl::setThemesActive(bool active) {
  themesActive = active;
}

bool PageTabCtrl::isThemedDrawing() {
  orientation = static_cast<int>(position);
  return themesAvailable();
}

void PageTabCtrl::onSelChanging() {
  previousSelection = knownSelection;
}

void PageTabCtrl::onSelChange(int index) {
  knownSelection = index;
  if (previousSelection <= -1 || previousSelection == index)
    return;
  // The previously selected tab was painted larger than its rectangle.
  update();
  if (tabOwner)
    tabOwner->showSelectedPage();
}

void PageTabCtrl::layoutStrip() {
  const QSize hint = strip->sizeHint();
  const int width = std::max(0, this->width() - 2 * kStripMargin);
  const int height = std::max(0, this->height() - 2 * kStripMargin);
  switch (position) {
  case Top:
    strip->setGeometry(kStripMargin, kStripMargin, width, hint.height());
    break;
  case Bottom:
    strip->setGeometry(kStripMargin, this->height() - kStripMargin - hint.height(), width,
                       hint.height());
    break;
  case Left:
    strip->setGeometry(kStripMargin, kStripMargin, hint.width(), height);
    break;
  case Right:
    strip->setGeometry(this->width() - kStripMargin - hint.width(), kStripMargin, hint.width(),
                       height);
    break;
  }
}

void PageTabCtrl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutStrip();
}

void PageTabCtrl::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange) {
    strip->setFont(font());
    layoutStrip();
  }
}

bool PageTabCtrl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == strip) {
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove: {
      const int before = hotTab();
      pointer = strip->mapTo(this, static_cast<QHoverEvent*>(event)->position().toPoint());
      pointerInside = true;
      if (hotTab() != before)
        update();
      break;
    }
    case QEvent::HoverLeave:
    case QEvent::Leave:
      if (pointerInside) {
        pointerInside = false;
        update();
      }
      break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      update();
      break;
    default:
      break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

int PageTabCtrl::hotTab() const {
  return pointerInside ? hitTest(pointer) : -1;
}

void PageTabCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!isThemedDrawing()) {
    // The style's own tab-widget painting: the pane here, the tabs by the strip.
    QStyleOptionTabWidgetFrame pane;
    pane.initFrom(this);
    pane.rect = paneRect();
    pane.shape = strip->shape();
    pane.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    pane.tabBarSize = strip->size();
    pane.tabBarRect = strip->geometry();
    pane.selectedTabRect = itemRect(currentIndex());
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &pane, &painter, this);
    return;
  }
  onPaint(painter);
}

void PageTabCtrl::onPaint(QPainter& painter) {
  const unsigned sideFlags = static_cast<unsigned>(orientation) * 8;
  paintPart(painter, -1, paneRect(), sideFlags | PartBody);
  const int tabs = count();
  if (tabs == 0)
    return;
  const int hot = hotTab();
  const int selected = currentIndex();
  for (int index = 0; index < tabs; ++index) {
    if (index == selected)
      continue;
    QRect item = itemRect(index);
    if (orientation == Left)
      item.setRight(item.right() + 1);
    paintPart(painter, index, item, sideFlags | (index == hot ? PartHot : 0u));
  }
  if (selected < 0)
    return;
  // The selected tab last, over its neighbours and 2 pixels larger all round.
  QRect item = itemRect(selected).adjusted(-2, -2, 2, 2);
  if (orientation == Top)
    item.setBottom(item.bottom() - 1);
  paintPart(painter, selected, item, sideFlags | PartSelected);
}

void PageTabCtrl::drawThemePart(QPainter& device, int index, const QRect& rect, unsigned flags) {
  // Every part is drawn in its top-oriented form; paintPart turns the image.
  if (flags & PartBody) {
    QStyleOptionTabWidgetFrame pane;
    pane.initFrom(this);
    pane.state &= ~QStyle::State_HasFocus;
    pane.rect = rect;
    pane.shape = QTabBar::RoundedNorth;
    pane.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &pane, &device, this);
    return;
  }
  QStyleOptionTab tab;
  strip->styleOption(&tab, index);
  tab.rect = rect;
  tab.shape = QTabBar::RoundedNorth;
  // The tabs of a framed pane: the style fills them with the pane's colour.
  tab.features |= QStyleOptionTab::HasFrame;
  // Each part stands alone in its image: a style must not reach for
  // neighbours it will not see.
  tab.position = QStyleOptionTab::OnlyOneTab;
  tab.selectedPosition = QStyleOptionTab::NotAdjacent;
  tab.text.clear();
  tab.icon = QIcon();
  tab.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus);
  if (flags & PartSelected)
    tab.state |= QStyle::State_Selected;
  else if (flags & PartHot)
    tab.state |= QStyle::State_MouseOver;
  style()->drawControl(QStyle::CE_TabBarTabShape, &tab, &device, strip);
  if ((flags & (PartHot | PartSelected)) == PartHot) {
    // Not every style has a hot tab part: mark the tab under the pointer with
    // a highlight band along its outer edge, as the desktop themes do.
    QColor band = palette().color(QPalette::Highlight);
    device.fillRect(QRect(rect.x() + 2, rect.y() + 2, std::max(0, rect.width() - 4), 2), band);
    band.setAlpha(70);
    device.fillRect(QRect(rect.x() + 2, rect.y() + 4, std::max(0, rect.width() - 4), 1), band);
  }
}

void PageTabCtrl::paintPart(QPainter& device, int index, const QRect& rect, unsigned flags) {
  const bool mirrored = flags & PartMirrored;
  const bool vertical = flags & PartVertical;
  const bool body = flags & PartBody;
  const int w = rect.width();
  const int h = rect.height();
  if (w <= 0 || h <= 0)
    return;
  // The horizontal form of the part; a vertical one is turned afterwards.
  const int formWidth = vertical ? h : w;
  const int formHeight = vertical ? w : h;
  const qreal ratio = devicePixelRatioF();
  QImage image(QSize(qCeil(formWidth * ratio), qCeil(formHeight * ratio)),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);

  QRect part(0, 0, formWidth, formHeight);
  const bool labelled = !body && index >= 0;
  {
    QPainter form(&image);
    form.setRenderHint(QPainter::Antialiasing, false);
    QRect drawn = part;
    // The lowest row of a selected tab falls outside the image: the tab opens
    // into the pane.
    if (flags & PartSelected)
      drawn.setHeight(formHeight + 1);
    form.setClipRect(part);
    drawThemePart(form, index, drawn, flags);
    // Upright and left-side labels are turned with the part; bottom and right
    // labels are drawn on the mirrored image so that they read upright.
    if (labelled && !mirrored)
      drawTabLabel(form, index, part, flags);
  }
  if (mirrored) {
    if (body && vertical) {
      // The right-side pane: its tab side becomes the right edge.
      image = image.transformed(QTransform().rotate(90));
    } else {
      image = image.mirrored(false, true);
    }
    image.setDevicePixelRatio(ratio);
    if (labelled) {
      QPainter form(&image);
      drawTabLabel(form, index, part, flags);
    }
  }
  if (vertical && !(body && mirrored)) {
    if (body) {
      // The pane's tab side becomes its left edge: a transposition.
      image = image.transformed(QTransform().rotate(90)).mirrored(true, false);
    } else {
      // A quarter turn anticlockwise: the tab's outer edge goes left.
      image = image.transformed(QTransform().rotate(-90));
    }
    image.setDevicePixelRatio(ratio);
  }
  device.drawImage(rect.topLeft(), image);
}

void PageTabCtrl::drawTabLabel(QPainter& device, int index, const QRect& rect, unsigned flags) {
  const bool selected = flags & PartSelected;
  const bool mirrored = flags & PartMirrored;
  const QString text = strip->tabText(index).left(127);
  const QIcon icon = strip->tabIcon(index);

  int left = rect.x() + (mirrored ? 3 : 6);
  int top = rect.y() + 2 + (mirrored ? 1 : 0) + (selected ? 1 : (mirrored ? 0 : 3));
  int right = rightOf(rect);
  int bottom = selected ? bottomOf(rect) - 1 : bottomOf(rect) + 2;

  const QFontMetrics metrics(font());
  // The style's tabs can be taller than the platform's: keep the label centred
  // in the tab rather than at a fixed distance from its outer edge.
  const int itemHeight =
      (strip->shape() == QTabBar::RoundedWest || strip->shape() == QTabBar::RoundedEast)
          ? strip->tabRect(index).width()
          : strip->tabRect(index).height();
  const int centring = std::max(0, (itemHeight - metrics.height()) / 2 - 4);
  top += centring;
  bottom += centring;

  if (!icon.isNull()) {
    const int size = 16;
    const QPoint at(left + (selected ? 2 : 0), top + (selected ? 0 : -2));
    icon.paint(&device, QRect(at, QSize(size, size)));
    left += 19;
  } else {
    left -= 2;
    right -= 2;
  }
  if (!text.isEmpty()) {
    right -= 3;
    // Only what is drawn is shortened; the tab keeps its text.
    const QString shown = metrics.elidedText(text, Qt::ElideRight, std::max(0, right - left));
    const int dx = mirrored ? -1 : 0;
    const int dy = selected ? 1 : -1;
    const QRect label(left + dx, top + dy, std::max(0, right - left), std::max(0, bottom - top));
    device.save();
    device.setFont(font());
    device.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    device.drawText(label, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, shown);
    if (selected && strip->hasFocus()) {
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      focus.rect = metrics.boundingRect(label, Qt::AlignHCenter | Qt::AlignTop, shown)
                       .adjusted(-2, 0, 2, 1)
                       .intersected(label.adjusted(-2, -1, 2, 1));
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &device, this);
    }
    device.restore();
  }
}

} // namespace sundrel::ui
