#include "ui/ListSelectDlg.h"

#include <QListWidget>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

namespace {

TSelectItems CodePages(int ACount)
{
    TSelectItems items;
    for (int i = 0; i < ACount; ++i)
        items.append({QStringLiteral("Code page %1").arg(1000 + i), 1000 + i});
    return items;
}

QListWidget *List(TListSelectDialog &APopup)
{
    return APopup.findChild<QListWidget *>(QStringLiteral("lbSelect"));
}

} // namespace

class TestListSelect final : public QObject
{
    Q_OBJECT

private slots:
    void clickReportsTheEntry();
    void sortsAndSelectsTheGivenEntry();
    void keysChooseOrClose();
    void clickOutsideClosesWithoutChoice();
    void emptyListShowsNothing();
    void heightLimits_data();
    void heightLimits();
    void widthAtLeastWidth();
};

void TestListSelect::clickReportsTheEntry()
{
    TListSelectDialog popup;
    QSignalSpy chosen(&popup, &TListSelectDialog::OnSelect);
    popup.Assign({{"UTF-8", 65001}, {"Western (Windows)", 1252}, {"DOS Latin 1", 850}}, -1);
    QListWidget *list = List(popup);
    QCOMPARE(list->currentRow(), -1);
    popup.ShowList(QPoint(100, 100), 0);
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toInt(), 1252);
    QVERIFY(!popup.isVisible());
}

void TestListSelect::sortsAndSelectsTheGivenEntry()
{
    TListSelectDialog popup;
    const TSelectItems items{{"windows-1252", 1252}, {"IBM850", 850}, {"utf-8", 65001}};
    popup.Assign(items, 0);
    QListWidget *list = List(popup);
    QCOMPARE(list->item(0)->text(), QStringLiteral("IBM850"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("utf-8"));
    QCOMPARE(list->currentItem()->text(), QStringLiteral("windows-1252"));

    popup.SetSorted(false);
    popup.Assign(items, 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("windows-1252"));
    QCOMPARE(list->currentRow(), 2);
    popup.Assign(items, 7);
    QCOMPARE(list->currentRow(), -1);
}

void TestListSelect::keysChooseOrClose()
{
    TListSelectDialog popup;
    QSignalSpy chosen(&popup, &TListSelectDialog::OnSelect);
    popup.Assign(CodePages(5), 1);
    popup.ShowList(QPoint(10, 10), 0);
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    QTest::keyClick(List(popup), Qt::Key_Down);
    QTest::keyClick(List(popup), Qt::Key_Return);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toInt(), 1002);
    QVERIFY(!popup.isVisible());

    popup.ShowList(QPoint(10, 10), 0);
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    QTest::keyClick(List(popup), Qt::Key_Escape);
    QVERIFY(!popup.isVisible());
    QCOMPARE(chosen.count(), 1);
}

void TestListSelect::clickOutsideClosesWithoutChoice()
{
    TListSelectDialog popup;
    QSignalSpy chosen(&popup, &TListSelectDialog::OnSelect);
    popup.Assign(CodePages(3), 0);
    popup.ShowList(QPoint(200, 200), 0);
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    QTest::mouseClick(&popup, Qt::LeftButton, {}, QPoint(popup.width() + 50, popup.height() + 50));
    QTRY_VERIFY(!popup.isVisible());
    QCOMPARE(chosen.count(), 0);
}

void TestListSelect::emptyListShowsNothing()
{
    TListSelectDialog popup;
    popup.Assign({}, 0);
    popup.ShowList(QPoint(10, 10), 100);
    QVERIFY(!popup.isVisible());
}

void TestListSelect::heightLimits_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("askedHeight");
    QTest::addColumn<int>("rule"); // 0: asked height, 1: all entries + 6, 2: the screen
    QTest::newRow("asked height smaller than the entries") << 40 << 150 << 0;
    QTest::newRow("no height asked") << 5 << 0 << 1;
    QTest::newRow("asked height larger than the entries") << 5 << 400 << 1;
    QTest::newRow("10000 entries") << 10000 << 0 << 2;
}

void TestListSelect::heightLimits()
{
    QFETCH(int, entries);
    QFETCH(int, askedHeight);
    QFETCH(int, rule);
    TListSelectDialog popup;
    popup.Assign(CodePages(entries), entries - 1);
    popup.ShowList(QPoint(0, 0), askedHeight);
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    const QRect area = popup.screen()->availableGeometry();
    switch (rule) {
    case 0:
        QCOMPARE(popup.height(), askedHeight);
        break;
    case 1:
        QCOMPARE(popup.height(), popup.ItemHeight() * entries + 6);
        break;
    default:
        QVERIFY(popup.height() < area.height());
        break;
    }
    QVERIFY(area.contains(popup.frameGeometry()));
    // The selected entry is scrolled into view.
    QListWidget *list = List(popup);
    QVERIFY(list->viewport()->rect().intersects(list->visualItemRect(list->currentItem())));
}

void TestListSelect::widthAtLeastWidth()
{
    TListSelectDialog popup;
    popup.Assign({{"a", 1}}, -1);
    popup.SetWidth(300);
    popup.ShowList(QPoint(10, 10), 0);
    QCOMPARE(popup.width(), 300);
    popup.hide();
    popup.SetWidth(0);
    popup.ShowList(QPoint(10, 10), 0);
    QVERIFY(popup.width() < 300);
    QVERIFY(popup.width() > popup.fontMetrics().horizontalAdvance(QStringLiteral("a")));
}

QTEST_MAIN(TestListSelect)
#include "tst_listselectdlg.moc"
