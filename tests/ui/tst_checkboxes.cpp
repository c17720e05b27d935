#include "ui/CheckBoxes.h"

#include <QAbstractItemView>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QStringList WeekDays = {"Monday|Mo", "Tuesday|Tu",  "Wednesday|We", "Thursday|Th",
                              "Friday|Fr", "Saturday|Sa", "Sunday|Su"};

// Clicks an entry of the open list as a user would.
void ClickEntry(TCheckComboBox &ABox, int AIndex)
{
    QAbstractItemView *list = ABox.view();
    const QRect rect = list->visualRect(list->model()->index(AIndex, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

} // namespace

class TestCheckComboBox final : public QObject
{
    Q_OBJECT

private slots:
    void splitsLongAndShortTexts_data();
    void splitsLongAndShortTexts();
    void showsCheckedShortTexts();
    void clicksToggleAndKeepTheListOpen();
    void spaceTogglesTheCurrentEntry();
    void defaultEntryWhenNothingIsChecked();
    void readsAndWritesMasks_data();
    void readsAndWritesMasks();
    void setFormCoversTheFirst256Entries();
    void closedBoxShowsTheFocusColour();
};

void TestCheckComboBox::splitsLongAndShortTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("longText");
    QTest::addColumn<QString>("shortText");
    QTest::newRow("both") << "Monday|Mo"
                          << "Monday"
                          << "Mo";
    QTest::newRow("no bar") << "Last"
                            << "Last"
                            << "Last";
    QTest::newRow("first bar splits") << "a|b|c"
                                      << "a"
                                      << "b|c";
    QTest::newRow("empty short") << "First|"
                                 << "First"
                                 << "";
}

void TestCheckComboBox::splitsLongAndShortTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, longText);
    QFETCH(QString, shortText);
    TCheckComboBox box;
    const int index = box.AddChecked(text, true);
    QCOMPARE(box.GetLongString(index), longText);
    QCOMPARE(box.GetShortString(index), shortText);
    QCOMPARE(box.ClosedText(), shortText);
    QCOMPARE(box.currentIndex(), -1);
}

void TestCheckComboBox::showsCheckedShortTexts()
{
    TCheckComboBox box;
    box.addItems(WeekDays);
    box.SetHintPrefix(QStringLiteral("Days: "));
    box.SetChecked(2, true);
    box.SetChecked(0, true);
    QCOMPARE(box.ClosedText(), QStringLiteral("Mo,We"));
    QCOMPARE(box.toolTip(), QStringLiteral("Days: Monday,Wednesday"));
    QCOMPARE(box.CheckedCount(), 2);
    QCOMPARE(box.currentIndex(), -1);

    box.SetCaption(QStringLiteral("every day"));
    QCOMPARE(box.ClosedText(), QStringLiteral("every day"));
    box.SetCaption(QString());
    box.SetChecked(99, true); // no such entry
    box.SetChecked(-1, true);
    QCOMPARE(box.ClosedText(), QStringLiteral("Mo,We"));
}

void TestCheckComboBox::clicksToggleAndKeepTheListOpen()
{
    QWidget window;
    auto *box = new TCheckComboBox(&window);
    box->addItems(WeekDays);
    box->SetHintPrefix(QStringLiteral("Days: "));
    box->SetDefaultIndex(0);
    box->SetChecked(0, true);
    box->SetChecked(2, true);
    QSignalSpy clicks(box, &TCheckComboBox::OnCheckClick);
    QSignalSpy changes(box, &TCheckComboBox::OnChange);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    box->showPopup();
    QTRY_VERIFY(box->view()->isVisible());
    ClickEntry(*box, 0);
    ClickEntry(*box, 2);
    QVERIFY(box->view()->isVisible());
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(clicks.at(1).at(0).toInt(), 2);
    QCOMPARE(changes.count(), 2);
    QVERIFY(!box->IsChecked(0));
    QVERIFY(!box->IsChecked(2));

    // Closing the emptied list checks the default entry again.
    QTest::keyClick(box->view(), Qt::Key_Escape);
    QTRY_VERIFY(!box->view()->isVisible());
    QVERIFY(box->IsChecked(0));
    QCOMPARE(box->ClosedText(), QStringLiteral("Mo"));
    QCOMPARE(box->toolTip(), QStringLiteral("Days: Monday"));
    QCOMPARE(box->currentIndex(), -1);
}

void TestCheckComboBox::spaceTogglesTheCurrentEntry()
{
    QWidget window;
    auto *box = new TCheckComboBox(&window);
    box->addItems(WeekDays);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    box->showPopup();
    QTRY_VERIFY(box->view()->isVisible());
    box->view()->setCurrentIndex(box->model()->index(4, 0));
    QTest::keyClick(box->view(), Qt::Key_Space);
    QTest::keyClick(box->view(), Qt::Key_Down);
    QTest::keyClick(box->view(), Qt::Key_Space);
    QVERIFY(box->view()->isVisible());
    QTest::keyClick(box->view(), Qt::Key_Return);
    QTRY_VERIFY(!box->view()->isVisible());
    QCOMPARE(box->ClosedText(), QStringLiteral("Fr,Sa"));
    QCOMPARE(box->currentIndex(), -1);
}

void TestCheckComboBox::defaultEntryWhenNothingIsChecked()
{
    TCheckComboBox box;
    box.addItems(WeekDays);
    QCOMPARE(box.CheckedCount(), 0);
    box.SetDefaultIndex(3);
    QCOMPARE(box.CheckedCount(), 1);
    QVERIFY(box.IsChecked(3));
    QCOMPARE(box.ClosedText(), QStringLiteral("Th"));

    // A default beyond the entries checks nothing.
    TCheckComboBox other;
    other.addItems(WeekDays);
    other.SetDefaultIndex(7);
    QCOMPARE(other.CheckedMask(), 0u);
}

void TestCheckComboBox::readsAndWritesMasks_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<uint>("mask");
    QTest::addColumn<uint>("readBack");
    QTest::newRow("none") << 7 << 0u << 0u;
    QTest::newRow("monday and wednesday") << 7 << 0x5u << 0x5u;
    QTest::newRow("bits beyond the entries") << 7 << 0xFFFFFFFFu << 0x7Fu;
    QTest::newRow("32 entries") << 32 << 0x80000001u << 0x80000001u;
    QTest::newRow("entries beyond 32") << 40 << 0xFFFFFFFFu << 0xFFFFFFFFu;
}

void TestCheckComboBox::readsAndWritesMasks()
{
    QFETCH(int, entries);
    QFETCH(uint, mask);
    QFETCH(uint, readBack);
    TCheckComboBox box;
    for (int i = 0; i < entries; ++i)
        box.addItem(QString::number(i));
    box.SetCheckedMask(mask);
    QCOMPARE(box.CheckedMask(), readBack);
    for (int i = 0; i < entries; ++i)
        QCOMPARE(box.IsChecked(i), i < 32 && ((readBack >> i) & 1));
}

void TestCheckComboBox::setFormCoversTheFirst256Entries()
{
    TCheckComboBox box;
    for (int i = 0; i < 300; ++i)
        box.addItem(QString::number(i));
    TCheckSet set;
    set[0] = true;
    set[31] = true;
    set[200] = true;
    set[255] = true;
    box.SetCheckedSet(set);
    box.SetChecked(280, true);
    QCOMPARE(box.CheckedSet(), set);
    QCOMPARE(box.CheckedCount(), 5);
    QCOMPARE(box.CheckedMask(), 0x80000001u);
    QCOMPARE(box.ClosedText(), QStringLiteral("0,31,200,255,280"));
}

void TestCheckComboBox::closedBoxShowsTheFocusColour()
{
    QWidget window;
    auto *box = new TCheckComboBox(&window);
    auto *other = new TCheckComboBox(&window);
    other->move(0, 40);
    box->addItems(WeekDays);
    box->SetColorNotFocus(QColor(10, 20, 30));
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QStyleOptionComboBox option;
    option.initFrom(box);
    const QRect field =
        box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    const QPoint spot(field.left() + 1, field.center().y());
    other->setFocus();
    QCOMPARE(box->grab().toImage().pixelColor(spot), QColor(10, 20, 30));
    box->setFocus();
    QCOMPARE(box->grab().toImage().pixelColor(spot), QColor(166, 202, 240));
}

QTEST_MAIN(TestCheckComboBox)
#include "tst_checkboxes.moc"
