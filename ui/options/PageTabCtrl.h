#pragma once
// The tab control of the Options dialog: a strip of tabs above a pane. When
// themed drawing is available it paints the pane and every tab itself from the
// style's tab parts, each part composed top-oriented in an off-screen image and
// then mirrored or rotated for the other orientations; otherwise the style's
// ordinary tab-widget painting stands. It does not know the pages: it tells its
// owner of every real selection change.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTabBar>
#include <QWidget>

class QStyleOptionTab;

namespace sundrel::ui {

// Told of every change of the selected tab.
class PageTabOwner {
public:
  virtual ~PageTabOwner() = default;
  virtual void showSelectedPage() = 0;
};

class PageTabCtrl : public QWidget {
  Q_OBJECT
public:
  enum Orientation { Top = 0, Bottom = 1, Left = 2, Right = 3 };

  // Flags of paintPart; the orientation enters as orientation * 8.
  enum PartFlag : unsigned {
    PartBody = 1,     // the pane below the tabs, not a tab
    PartSelected = 2, // the selected tab
    PartHot = 4,      // the tab under the pointer
    PartMirrored = 8, // orientation bottom or right
    PartVertical = 16 // orientation left or right
  };

  explicit PageTabCtrl(QWidget* parent = nullptr);

  // Tabs, in the manner of the platform tab control.
  int insertItem(int index, const QString& text);
  int count() const;
  int currentIndex() const;
  // Selects a tab without telling the owner; an index outside the tabs is
  // ignored and the selection stays.
  void setCurrentIndex(int index);
  QString itemText(int index) const;
  // A tab's rectangle in the control's coordinates; empty for an unknown index.
  QRect itemRect(int index) const;
  // The tab under a point in the control's coordinates, -1 for none.
  int hitTest(const QPoint& point) const;
  QTabBar* tabBar() const;

  // The area under the tabs where pages go, and the pane drawn around it.
  QRect displayRect() const;
  QRect paneRect() const;

  Orientation tabPosition() const { return position; }
  void setTabPosition(Orientation where);

  PageTabOwner* owner() const { return tabOwner; }
  void setOwner(PageTabOwner* newOwner) { tabOwner = newOwner; }

  // Whether the control paints itself (also refreshes orientation).
  bool isThemedDrawing();
  // Process-wide: themed drawing applies unless switched off here (the
  // desktop's visual-styles switch) or the application runs the classic
  // "windows" style, which has no themed tab parts.
  static bool themesAvailable();
  static void setThemesActive(bool active);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  class Strip;

  void onSelChanging();
  void onSelChange(int index);
  void onPaint(QPainter& painter);
  void paintPart(QPainter& device, int index, const QRect& rect, unsigned flags);
  void drawThemePart(QPainter& device, int index, const QRect& rect, unsigned flags);
  void drawTabLabel(QPainter& device, int index, const QRect& rect, unsigned flags);
  void layoutStrip();
  int hotTab() const;

  int orientation = 1;
  int previousSelection = -1;
  PageTabOwner* tabOwner = nullptr;

  Strip* strip = nullptr;
  Orientation position = Top;
  int knownSelection = -1; // the selection before the change being reported
  QPoint pointer{-1, -1};  // last pointer position over the tabs, control coordinates
  bool pointerInside = false;
};

} // namespace sundrel::ui
