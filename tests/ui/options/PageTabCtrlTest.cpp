// The owner-drawn tab control, checked on what it paints (the rendered image)
// and on what it tells its owner.

#include "ui/options/PageTabCtrl.h"
#include "tests/ui/TestModal.h"

#include <QApplication>
#include <QImage>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTest>

#include <functional>
#include <memory>

using sundrel::ui::PageTabCtrl;
using sundrel::ui::PageTabOwner;

namespace {

struct CountingOwner : PageTabOwner {
  void showSelectedPage() override { ++calls; }
  int calls = 0;
};

QImage shot(PageTabCtrl* tabs) {
  return tabs->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Scans from `from` in steps of `step` while the pixels equal the background;
// the first position with ink, or an invalid point when there is none.
QPoint firstInk(const QImage& image, QPoint from, QPoint step, QRgb background) {
  for (QPoint at = from; at.x() < image.width() + 4 && at.y() < image.height() + 4; at += step) {
    if (!image.rect().contains(at)) {
      if (at.x() < -4 || at.y() < -4)
        break;
      continue;
    }
    if (image.pixel(at) != background)
      return at;
  }
  return {-1, -1};
}

bool sameRegion(const QImage& a, const QImage& b, const QRect& region) {
  for (int y = region.top(); y <= region.bottom(); ++y)
    for (int x = region.left(); x <= region.right(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y))
        return false;
  return true;
}

} // namespace

class PageTabCtrlTest : public QObject {
  Q_OBJECT

private:
  std::unique_ptr<QWidget> host;
  PageTabCtrl* tabs = nullptr;

  void build(QSize size, PageTabCtrl::Orientation side, const QStringList& texts) {
    host = std::make_unique<QWidget>();
    host->resize(size + QSize(20, 20));
    tabs = new PageTabCtrl(host.get());
    tabs->setGeometry(QRect(QPoint(10, 10), size));
    tabs->setTabPosition(side);
    for (const QString& text : texts)
      tabs->insertItem(tabs->count(), text);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
  }

  QRgb background() const { return tabs->palette().color(QPalette::Window).rgb(); }

  void pointAt(const QPoint& inControl) {
    QTabBar* strip = tabs->tabBar();
    QTest::mouseMove(strip, strip->mapFrom(tabs, inControl));
    QApplication::processEvents();
  }

private slots:
  void initTestCase() {
    // The rendered-image checks rely on a style with themed tab parts.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  }

  void init() { PageTabCtrl::setThemesActive(true); }
  void cleanup() {
    host.reset();
    tabs = nullptr;
  }

  void withoutTabsOnlyThePaneIsPainted() {
    build({300, 200}, PageTabCtrl::Top, {});
    QVERIFY(tabs->isThemedDrawing());
    const QImage image = shot(tabs);
    const QRect pane = tabs->paneRect();
    for (int y = 0; y < pane.top(); ++y)
      for (int x = 0; x < image.width(); ++x)
        QCOMPARE(image.pixel(x, y), background());
    QVERIFY(image.pixel(pane.center().x(), pane.top()) != background());
    QVERIFY(image.pixel(pane.left(), pane.center().y()) != background());
  }

  void eachOrientationTurnsTheParts_data() {
    QTest::addColumn<int>("side");
    QTest::addColumn<QPoint>("inward"); // from the outer side of the tabs towards the pane
    QTest::newRow("top") << int(PageTabCtrl::Top) << QPoint(0, 1);
    QTest::newRow("bottom") << int(PageTabCtrl::Bottom) << QPoint(0, -1);
    QTest::newRow("left") << int(PageTabCtrl::Left) << QPoint(1, 0);
    QTest::newRow("right") << int(PageTabCtrl::Right) << QPoint(-1, 0);
  }

  void eachOrientationTurnsTheParts() {
    QFETCH(int, side);
    QFETCH(QPoint, inward);
    build({360, 240}, static_cast<PageTabCtrl::Orientation>(side),
          {"First", "Second tab", "Third"});
    tabs->setCurrentIndex(1);
    QApplication::processEvents();
    const QImage image = shot(tabs);
    const QRect pane = tabs->paneRect();
    const QRect selected = tabs->itemRect(1);
    const QRect plain = tabs->itemRect(0);
    const bool horizontal = inward.x() == 0;
    const int sign = inward.x() + inward.y();
    // Depth: a position measured along inward; the outer edge of a rectangle.
    const auto depth = [&](QPoint at) { return horizontal ? at.y() * sign : at.x() * sign; };
    const auto outer = [&](const QRect& r) {
      return std::min(depth(r.topLeft()), depth(r.bottomRight()));
    };
    const auto inner = [&](const QRect& r) {
      return std::max(depth(r.topLeft()), depth(r.bottomRight()));
    };
    const auto along = [&](const QRect& r) { return horizontal ? r.center().x() : r.center().y(); };
    const auto at = [&](int across, int deep) {
      return horizontal ? QPoint(across, deep * sign) : QPoint(deep * sign, across);
    };

    // The pane lies beyond the tabs and reaches the far edge of the control.
    QVERIFY(outer(pane) > outer(selected));
    QCOMPARE(inner(pane), inner(tabs->rect()));
    // The selected tab stands 2 pixels out beyond its rectangle; the style
    // leaves the unselected ones short of their outer edge.
    const QPoint selectedInk =
        firstInk(image, at(along(selected), outer(selected) - 5), inward, background());
    QCOMPARE(depth(selectedInk), outer(selected) - 2);
    const QPoint plainInk =
        firstInk(image, at(along(plain), outer(plain) - 3), inward, background());
    QVERIFY2(depth(plainInk) > outer(plain), qPrintable(QString::number(depth(plainInk))));

    // The pane's far edge is drawn; nothing beyond the last tab on the tab side.
    QVERIFY(image.pixel(at(along(pane), inner(pane) - 1)) != image.pixel(pane.center()));
    const QRect last = tabs->itemRect(2);
    const QPoint beyond = horizontal ? QPoint(last.right() + 10, last.center().y())
                                     : QPoint(last.center().x(), last.bottom() + 10);
    QCOMPARE(image.pixel(beyond), background());
  }

  void selectedTabIsPaintedOverItsNeighbours() {
    build({360, 120}, PageTabCtrl::Top, {"First", "Second tab", "Third"});
    tabs->setCurrentIndex(1);
    QApplication::processEvents();
    const QImage image = shot(tabs);
    const QRect selected = tabs->itemRect(1);
    const int y = selected.center().y();
    // Both side edges of the grown selected tab show, inside the neighbours'
    // rectangles, with the same outline; the neighbours' fill is different.
    QVERIFY(tabs->itemRect(0).contains(selected.left() - 2, y));
    QVERIFY(tabs->itemRect(2).contains(selected.right() + 2, y));
    QCOMPARE(image.pixel(selected.left() - 2, y), image.pixel(selected.right() + 2, y));
    QVERIFY(image.pixel(selected.left() - 2, y) != image.pixel(selected.left() - 5, y));
    // The selected tab opens into the pane: its middle column holds no pane
    // outline where the pane's top edge runs.
    const int paneTop = tabs->paneRect().top();
    const QRgb outline = image.pixel(tabs->itemRect(2).right() + 20, paneTop);
    QVERIFY(image.pixel(selected.center().x(), paneTop) != outline);
  }

  void hotTabFollowsThePointer() {
    build({360, 120}, PageTabCtrl::Top, {"First", "Second", "Third"});
    pointAt(tabs->paneRect().center());
    const QImage resting = shot(tabs);

    pointAt(tabs->itemRect(2).center());
    const QImage hot = shot(tabs);
    QVERIFY2(!sameRegion(resting, hot, tabs->itemRect(2)), "the tab under the pointer is not hot");
    QVERIFY(sameRegion(resting, hot, tabs->itemRect(0).adjusted(-2, -2, 2, 1)));
    QVERIFY(sameRegion(resting, hot, tabs->itemRect(1).adjusted(0, 0, -3, 0)));

    // Over the selected tab, or off the tabs again, nothing is hot.
    pointAt(tabs->itemRect(0).center());
    QCOMPARE(shot(tabs), resting);
    pointAt(tabs->paneRect().center());
    QCOMPARE(shot(tabs), resting);
  }

  void longLabelsAreShortenedOnlyOnScreen() {
    const QString longText = QStringLiteral("An unusually long caption for one tab");
    build({240, 120}, PageTabCtrl::Top, {longText, longText});
    tabs->setCurrentIndex(0);
    QApplication::processEvents();
    const QRect item = tabs->itemRect(1);
    QVERIFY2(item.width() < tabs->fontMetrics().horizontalAdvance(longText),
             "the tab is wide enough for its text: nothing to shorten");
    QCOMPARE(tabs->itemText(1), longText);

    // The label's ink starts inside the tab and stops short of its right edge.
    const QImage image = shot(tabs);
    int leftmost = image.width();
    int rightmost = -1;
    for (int y = item.top() + 3; y < item.bottom() - 2; ++y)
      for (int x = item.left() + 1; x < item.right(); ++x)
        if (qGray(image.pixel(x, y)) < 110) {
          leftmost = std::min(leftmost, x);
          rightmost = std::max(rightmost, x);
        }
    QVERIFY2(rightmost > leftmost, "no label drawn");
    QVERIFY2(
        rightmost <= item.right() - 3,
        qPrintable(
            QStringLiteral("label ink at %1, tab ends at %2").arg(rightmost).arg(item.right())));
    // Shortened with a trailing ellipsis: the ink ends in three separate dots,
    // so the last columns are mostly empty rather than a letter's stem.
    int inkColumns = 0;
    for (int x = rightmost - 8; x <= rightmost; ++x)
      for (int y = item.top() + 3; y < item.bottom() - 2; ++y)
        if (qGray(image.pixel(x, y)) < 110) {
          ++inkColumns;
          break;
        }
    QVERIFY2(inkColumns >= 2 && inkColumns <= 7, qPrintable(QString::number(inkColumns)));
  }

  void ownerHearsOfRealChangesOnly_data() { sundrel::test::addThemedRows(); }

  void ownerHearsOfRealChangesOnly() {
    QFETCH(bool, themed);
    PageTabCtrl::setThemesActive(themed);
    build({360, 120}, PageTabCtrl::Top, {"First", "Second", "Third"});
    QCOMPARE(tabs->isThemedDrawing(), themed);
    CountingOwner owner;
    tabs->setOwner(&owner);
    QTabBar* strip = tabs->tabBar();
    const auto clickTab = [&](int index) {
      QTest::mouseClick(strip, Qt::LeftButton, {}, strip->tabRect(index).center());
    };
    clickTab(1);
    QCOMPARE(owner.calls, 1);
    QCOMPARE(tabs->currentIndex(), 1);
    clickTab(1); // already selected
    QCOMPARE(owner.calls, 1);
    clickTab(2);
    QCOMPARE(owner.calls, 2);
    QVERIFY(strip->hasFocus()); // focus on button down
    QTest::keyClick(strip, Qt::Key_Left);
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(owner.calls, 3);
    tabs->setCurrentIndex(0); // the program's own choice is not reported
    tabs->setCurrentIndex(7); // nor is a tab that does not exist chosen
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(owner.calls, 3);
  }

  void withoutThemesTheStyleAlonePaints() {
    PageTabCtrl::setThemesActive(false);
    build({360, 120}, PageTabCtrl::Top, {"First", "Second", "Third"});
    tabs->setCurrentIndex(1);
    QApplication::processEvents();
    QVERIFY(!tabs->isThemedDrawing());
    const QImage image = shot(tabs);
    const QRect selected = tabs->itemRect(1);
    const QPoint ink = firstInk(image, {selected.center().x(), 0}, {0, 1}, background());
    QVERIFY2(ink.y() >= selected.top(), "the selected tab was grown by the themed drawing");

    // The classic style stands for a desktop without visual styles.
    PageTabCtrl::setThemesActive(true);
    QVERIFY(tabs->isThemedDrawing());
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    QVERIFY(!PageTabCtrl::themesAvailable());
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QVERIFY(PageTabCtrl::themesAvailable());
  }
};

QTEST_MAIN(PageTabCtrlTest)
#include "PageTabCtrlTest.moc"
