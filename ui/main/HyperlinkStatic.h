#pragma once
// A static text that behaves like a link in a web page: coloured text, a hand
// pointer, another colour while the pointer is over it, a tooltip with the
// target, and on a click the target opens through the desktop.

#include <QColor>
#include <QLabel>

#include <functional>

namespace sundrel::ui {

class HyperlinkStatic : public QLabel {
  Q_OBJECT

public:
  explicit HyperlinkStatic(QWidget* parent = nullptr);
  HyperlinkStatic(const QString& text, QWidget* parent);

  // Takes the control's current text as the target when none is set, or shows
  // the target when the text is empty; then fits the control to its text.
  // Call once the control has its text, font, position and alignment.
  void bind();

  void setUrl(const QString& target);
  QString url() const { return target; }
  void setVisited(bool flag);
  bool isVisited() const { return visited; }
  void setUnderline(bool flag);
  bool hasUnderline() const { return underline; }
  void setAdjustToFit(bool flag) { adjustToFit = flag; }
  bool isOverControl() const { return overControl; }
  // The colour the text is drawn in now.
  QColor textColour() const;

  // What opens the target: a launch code above 32 means it opened. Defaults
  // to openUrl.
  using Opener = std::function<int(const QString& target)>;
  void setOpener(Opener opener);

  QColor linkColour{0, 0, 238};
  QColor visitedColour{85, 26, 139};
  QColor hoverColour;

public slots:
  // Opens the target; on failure beeps and names the reason.
  void onClicked();

protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void fitToText();
  void setHover(bool over);

  bool overControl = false;
  bool visited = false;
  bool underline = true;
  bool adjustToFit = true;
  bool pressed = false;
  QString target;
  Opener opener;
};

} // namespace sundrel::ui
