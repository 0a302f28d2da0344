#include <QTest>
class PageTabCtrlTest : public QObject {
  Q_OBJECT
};
QTEST_MAIN(PageTabCtrlTest)
#include "PageTabCtrlTest.moc"
