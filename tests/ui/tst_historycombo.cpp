#include "support/TestSupport.h"
#include "ui/HistoryCombo.h"

#include <QApplication>
#include <QComboBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {

QStringList Items(const QComboBox &box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

// Width of the drop-down button as the box's style (with its style sheet) lays it out.
int DropDownWidth(QComboBox &box)
{
    box.ensurePolished();
    QStyleOptionComboBox option;
    option.initFrom(&box);
    option.editable = box.isEditable();
    option.subControls = QStyle::SC_All;
    return box.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, &box).width();
}

} // namespace

class TestHistoryCombo final : public QObject
{
    Q_OBJECT

private slots:
    void readsHistoryIntoTheBox_data();
    void readsHistoryIntoTheBox();
    void dropDownReturnsWithMoreEntries();
    void writesTheItemsBack();

private:
    QTemporaryDir FDir;
};

void TestHistoryCombo::readsHistoryIntoTheBox_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no file at all
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("maxCount");
    QTest::addColumn<bool>("convert");
    QTest::addColumn<QStringList>("expected");
    const QByteArray five = "[Servers]\r\nHistory0=one\r\nHistory1=two\r\nHistory2=\r\nHistory3=three\r\n"
                            "History4=four\r\nHistory5=five\r\n";
    QTest::newRow("several entries, empty one skipped")
        << five << QStringList{"old"} << 15 << false << QStringList{"one", "two", "three", "four", "five"};
    QTest::newRow("maximum count") << five << QStringList() << 3 << false << QStringList{"one", "two"};
    QTest::newRow("negative maximum is the drop-down count")
        << five << QStringList() << -1 << false << QStringList{"one", "two", "three", "four"};
    QTest::newRow("one entry") << QByteArray("[Servers]\r\nHistory0=only\r\n") << QStringList{"a", "b"} << 15
                               << false << QStringList{"only"};
    QTest::newRow("converted quotes") << QByteArray("[Servers]\r\nHistory0=#a b# c\r\nHistory1=d\r\n")
                                      << QStringList() << 15 << true << QStringList{"\"a b\" c", "d"};
    QTest::newRow("missing section keeps the items")
        << QByteArray("[Other]\r\nHistory0=x\r\n") << QStringList{"a", "b"} << 15 << false
        << QStringList{"a", "b"};
    QTest::newRow("missing file, empty box") << QByteArray() << QStringList() << 15 << false << QStringList();
}

void TestHistoryCombo::readsHistoryIntoTheBox()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, before);
    QFETCH(int, maxCount);
    QFETCH(bool, convert);
    QFETCH(QStringList, expected);
    const QString fileName = FDir.filePath(QStringLiteral("%1.ini").arg(QTest::currentDataTag()));
    if (!file.isEmpty())
        QVERIFY(WriteAll(fileName, file));
    QComboBox box;
    box.setMaxVisibleItems(5);
    box.addItems(before);
    box.setCurrentIndex(-1);

    ReadHistoryCombo(fileName, QStringLiteral("Servers"), &box, convert, maxCount);

    QCOMPARE(Items(box), expected);
    QCOMPARE(box.currentIndex(), expected.isEmpty() ? -1 : 0);
    QCOMPARE(box.currentText(), expected.value(0));
    // Typed text is always accepted; the drop-down button only appears with a choice.
    QVERIFY(box.isEditable());
    if (expected.size() > 1)
        QVERIFY(DropDownWidth(box) > 0);
    else
        QCOMPARE(DropDownWidth(box), 0);
}

void TestHistoryCombo::dropDownReturnsWithMoreEntries()
{
    const QString one = FDir.filePath(QStringLiteral("one.ini"));
    const QString three = FDir.filePath(QStringLiteral("three.ini"));
    QVERIFY(WriteAll(one, "[Apps]\r\nHistory0=a\r\n"));
    QVERIFY(WriteAll(three, "[Apps]\r\nHistory0=a\r\nHistory1=b\r\nHistory2=c\r\n"));
    QComboBox box;
    ReadHistoryCombo(one, QStringLiteral("Apps"), &box, false, 15);
    QCOMPARE(DropDownWidth(box), 0);

    ReadHistoryCombo(three, QStringLiteral("Apps"), &box, false, 15);
    QCOMPARE(box.count(), 3);
    QCOMPARE(box.style(), QApplication::style());
    QVERIFY(DropDownWidth(box) > 0);
}

void TestHistoryCombo::writesTheItemsBack()
{
    const QString fileName = FDir.filePath(QStringLiteral("write.ini"));
    QVERIFY(WriteAll(fileName, "[MailUser]\r\nHistory0=a\r\nHistory1=b\r\nHistory2=c\r\n"));
    QComboBox box;
    box.setEditable(true);
    box.addItems({QStringLiteral("\"quoted\" name"), QStringLiteral("plain")});
    box.setEditText(QStringLiteral("typed, not an item"));

    WriteHistoryCombo(fileName, QStringLiteral("MailUser"), true, true, &box);

    const QByteArray bytes = ReadAll(fileName);
    QVERIFY2(bytes.contains("History0=#quoted# name\r\nHistory1=plain\r\n"), bytes.constData());
    QVERIFY(!bytes.contains("History2"));
    QVERIFY(!bytes.contains("typed"));
    QComboBox reread;
    ReadHistoryCombo(fileName, QStringLiteral("MailUser"), &reread, true, 15);
    QCOMPARE(Items(reread), Items(box));
}

QTEST_MAIN(TestHistoryCombo)
#include "tst_historycombo.moc"
