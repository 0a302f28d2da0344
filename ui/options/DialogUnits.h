#pragma once
// Maps dialog-template units to pixels the way the platform does: one
// horizontal unit is a quarter of the dialog font's average character width,
// one vertical unit an eighth of its height.

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace sundrel::ui {

class DialogUnits {
public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average over the 52 Latin letters, as the platform measures a dialog font.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    baseY = metrics.height();
  }

  int x(int units) const { return mulDiv(units, baseX, 4); }
  int y(int units) const { return mulDiv(units, baseY, 8); }
  QSize size(int width, int height) const { return {x(width), y(height)}; }
  QRect rect(int left, int top, int width, int height) const {
    return {x(left), y(top), x(width), y(height)};
  }
  // Places a child control from its template rectangle.
  void place(QWidget* widget, int left, int top, int width, int height) const {
    widget->setGeometry(rect(left, top, width, height));
  }
  int baseUnitX() const { return baseX; }
  int baseUnitY() const { return baseY; }

private:
  static int mulDiv(int value, int numerator, int denominator) {
    // Rounded like the platform's MulDiv.
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product + (product >= 0 ? denominator / 2 : -denominator / 2)) /
                            denominator);
  }
  int baseX = 6;
  int baseY = 13;
};

} // namespace sundrel::ui
