#include "ModalHelper.h"
#include "ui/EditHistListDlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

using namespace ModalHelper;

namespace {

const QString DialogName = QStringLiteral("EditHistListDialog");

QListWidget *List(QWidget *ADialog)
{
    return Control<QListWidget>(ADialog, "lbxStringList");
}

void Select(QWidget *ADialog, const QList<int> &ARows)
{
    QListWidget *list = List(ADialog);
    list->clearSelection();
    for (const int row : ARows)
        list->item(row)->setSelected(true);
}

QList<int> SelectedRows(QWidget *ADialog)
{
    QList<int> rows;
    for (int i = 0; i < List(ADialog)->count(); ++i)
        if (List(ADialog)->item(i)->isSelected())
            rows << i;
    return rows;
}

QStringList Texts(QWidget *ADialog)
{
    QStringList texts;
    for (int i = 0; i < List(ADialog)->count(); ++i)
        texts << List(ADialog)->item(i)->text();
    return texts;
}

// An object that belongs to a list entry and counts its own destruction.
struct TGroup
{
    TGroup(QString AName, int &ADestroyed) : Name(std::move(AName)), Destroyed(ADestroyed) {}
    ~TGroup() { ++Destroyed; }
    QString Name;
    int &Destroyed;
};

// One object per name.
std::vector<std::unique_ptr<TGroup>> Groups(const QStringList &ANames, int &ADestroyed)
{
    std::vector<std::unique_ptr<TGroup>> groups;
    for (const QString &name : ANames)
        groups.push_back(std::make_unique<TGroup>(name, ADestroyed));
    return groups;
}

} // namespace

class TestEditHistList final : public QObject
{
    Q_OBJECT

private slots:
    void movesSelectedBlocks_data();
    void movesSelectedBlocks();
    void removingTheLastSelectsTheNewLast();
    void renamesUnlessTheNameIsTaken_data();
    void renamesUnlessTheNameIsTaken();
    void okRearrangesAndFreesTheObjects();
    void cancelLeavesEverything();
    void indexFollowsTheFirstSelectedEntry_data();
    void indexFollowsTheFirstSelectedEntry();
    void negativePositionCentresOnTheScreen();
};

void TestEditHistList::movesSelectedBlocks_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QList<int>>("selectedAfter");
    QTest::newRow("1 and 3 up") << QList<int>{1, 3} << true << QStringList{"1", "0", "3", "2"}
                                << QList<int>{0, 2};
    QTest::newRow("0 alone stays at the top")
        << QList<int>{0} << true << QStringList{"0", "1", "2", "3"} << QList<int>{0};
    QTest::newRow("packed block at the top stays")
        << QList<int>{0, 1, 3} << true << QStringList{"0", "1", "3", "2"} << QList<int>{0, 1, 2};
    QTest::newRow("0 and 2 down") << QList<int>{0, 2} << false << QStringList{"1", "0", "3", "2"}
                                  << QList<int>{1, 3};
    QTest::newRow("3 alone stays at the bottom")
        << QList<int>{3} << false << QStringList{"0", "1", "2", "3"} << QList<int>{3};
}

void TestEditHistList::movesSelectedBlocks()
{
    QFETCH(QList<int>, selected);
    QFETCH(bool, up);
    QFETCH(QStringList, order);
    QFETCH(QList<int>, selectedAfter);
    QStringList texts;
    QList<int> rows;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        Select(dialog, selected);
        QTest::mouseClick(Control<QPushButton>(dialog, up ? "btnUp" : "btnDown"), Qt::LeftButton);
        texts = Texts(dialog);
        rows = SelectedRows(dialog);
        Control<QPushButton>(dialog, "OKBtn")->click();
    });
    QStringList list{"0", "1", "2", "3"};
    QList<int> origin;
    int index = -1;
    QVERIFY(EditHistList(CenterPos, "Title", "Entries", list, true, true, index, &origin));
    QVERIFY(driver.Ran());
    QCOMPARE(texts, order);
    QCOMPARE(rows, selectedAfter);
    QCOMPARE(list, order);
    QList<int> expectedOrigin;
    for (const QString &text : order)
        expectedOrigin << text.toInt();
    QCOMPARE(origin, expectedOrigin);
}

void TestEditHistList::removingTheLastSelectsTheNewLast()
{
    QStringList texts;
    int current = -2;
    QList<int> rows;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        List(dialog)->setCurrentRow(3);
        QTest::mouseClick(Control<QPushButton>(dialog, "btnRemove"), Qt::LeftButton);
        texts = Texts(dialog);
        current = List(dialog)->currentRow();
        rows = SelectedRows(dialog);
        Control<QPushButton>(dialog, "OKBtn")->click();
    });
    QStringList list{"Daily", "Weekly", "Monthly", "Yearly"};
    int index = 3;
    QVERIFY(EditHistList(CenterPos, "Title", "Entries", list, true, false, index));
    QVERIFY(driver.Ran());
    QCOMPARE(texts, QStringList({"Daily", "Weekly", "Monthly"}));
    QCOMPARE(current, 2);
    QCOMPARE(rows, QList<int>{2});
    QCOMPARE(list, texts);
    // Without Edit the index follows the entry selected first, which is gone.
    QCOMPARE(index, -1);
}

void TestEditHistList::renamesUnlessTheNameIsTaken_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("result");
    QTest::newRow("own name in other case") << "daily"
                                            << "" << QStringList{"daily", "Weekly"};
    QTest::newRow("new name") << "Nightly"
                              << "" << QStringList{"Nightly", "Weekly"};
    QTest::newRow("other's name in other case")
        << "WEEKLY"
        << "Item \"WEEKLY\" already exists!" << QStringList{"Daily", "Weekly"};
    QTest::newRow("emptied name is ignored") << ""
                                             << "" << QStringList{"Daily", "Weekly"};
}

void TestEditHistList::renamesUnlessTheNameIsTaken()
{
    QFETCH(QString, newName);
    QFETCH(QString, message);
    QFETCH(QStringList, result);
    QString inputTitle;
    QString inputText;
    QString shown;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        List(dialog)->setCurrentRow(0);
        const TModalDriver input(QStringLiteral("InputTextDialog"), [&](QWidget *inputDialog) {
            inputTitle = inputDialog->windowTitle();
            QLineEdit *edit = Control<QComboBox>(inputDialog, "TextFeld")->lineEdit();
            inputText = edit->text();
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, newName);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        const TMessageCatcher catcher;
        QTest::mouseClick(Control<QPushButton>(dialog, "btnEdit"), Qt::LeftButton);
        if (!message.isEmpty() && catcher.Wait())
            shown = catcher.Text();
        Control<QPushButton>(dialog, "OKBtn")->click();
    });
    QStringList list{"Daily", "Weekly"};
    int index = 0;
    QVERIFY(EditHistList(CenterPos, "Edit group list", "Backup groups", list, true, true, index));
    QVERIFY(driver.Ran());
    QCOMPARE(inputTitle, QStringLiteral("Edit item"));
    QCOMPARE(inputText, QStringLiteral("Daily"));
    QCOMPARE(shown, message);
    QCOMPARE(list, result);
    QCOMPARE(index, 0);
}

void TestEditHistList::okRearrangesAndFreesTheObjects()
{
    int destroyed = 0;
    QStringList names{"Daily", "Weekly", "Monthly"};
    auto groups = Groups(names, destroyed);
    const TModalDriver driver(DialogName, [](QWidget *dialog) {
        Select(dialog, {1});
        Control<QPushButton>(dialog, "btnRemove")->click();
        Select(dialog, {1});
        Control<QPushButton>(dialog, "btnUp")->click();
        Control<QPushButton>(dialog, "OKBtn")->click();
    });
    int index = 2;
    QVERIFY(EditHistList(CenterPos, "Title", "Groups", names, groups, true, true, index));
    QVERIFY(driver.Ran());
    // Weekly was removed; Monthly, current after the removal, moved up.
    QCOMPARE(destroyed, 1);
    QCOMPARE(names, QStringList({"Monthly", "Daily"}));
    QCOMPARE(groups.size(), size_t(2));
    QCOMPARE(groups[0]->Name, QStringLiteral("Monthly"));
    QCOMPARE(groups[1]->Name, QStringLiteral("Daily"));
    QCOMPARE(index, 0);
}

void TestEditHistList::cancelLeavesEverything()
{
    int destroyed = 0;
    QStringList names{"Daily", "Weekly", "Monthly"};
    auto groups = Groups(names, destroyed);
    const TModalDriver driver(DialogName, [](QWidget *dialog) {
        Select(dialog, {0, 2});
        Control<QPushButton>(dialog, "btnRemove")->click();
        QTest::keyClick(List(dialog), Qt::Key_Escape);
    });
    int index = 1;
    QVERIFY(!EditHistList(CenterPos, "Title", "Groups", names, groups, true, true, index));
    QVERIFY(driver.Ran());
    QCOMPARE(destroyed, 0);
    QCOMPARE(names, QStringList({"Daily", "Weekly", "Monthly"}));
    QCOMPARE(groups.size(), size_t(3));
    QCOMPARE(groups[2]->Name, QStringLiteral("Monthly"));
    QCOMPARE(index, 1);
}

void TestEditHistList::indexFollowsTheFirstSelectedEntry_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("expected");
    QTest::newRow("with Edit: the current entry") << true << 1 << 3;
    QTest::newRow("without Edit: where the entry went") << false << 1 << 0;
    QTest::newRow("without Edit and no entry: unchanged") << false << 7 << 7;
}

void TestEditHistList::indexFollowsTheFirstSelectedEntry()
{
    QFETCH(bool, edit);
    QFETCH(int, index);
    QFETCH(int, expected);
    bool editShown = !edit;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        editShown = Control<QPushButton>(dialog, "btnEdit")->isVisible();
        // Entry 1 moves to the top, then the last entry becomes current.
        Select(dialog, {1});
        Control<QPushButton>(dialog, "btnUp")->click();
        List(dialog)->setCurrentRow(3);
        Control<QPushButton>(dialog, "OKBtn")->click();
    });
    QStringList list{"a", "b", "c", "d"};
    QVERIFY(EditHistList(CenterPos, "Title", "Entries", list, false, edit, index));
    QVERIFY(driver.Ran());
    QCOMPARE(editShown, edit);
    QCOMPARE(list, QStringList({"b", "a", "c", "d"}));
    QCOMPARE(index, expected);
}

void TestEditHistList::negativePositionCentresOnTheScreen()
{
    QPoint centreOffset(1000, 1000);
    bool removeShown = true;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        centreOffset = dialog->frameGeometry().center() - dialog->screen()->availableGeometry().center();
        removeShown = Control<QPushButton>(dialog, "btnRemove")->isVisible();
        Control<QPushButton>(dialog, "CancelBtn")->click();
    });
    QStringList list{"a"};
    int index = 0;
    QVERIFY(!EditHistList(QPoint(-1, 300), "Title", "Entries", list, false, false, index));
    QVERIFY(driver.Ran());
    QVERIFY(!removeShown);
    QVERIFY(qAbs(centreOffset.x()) <= 1 && qAbs(centreOffset.y()) <= 1);
}

QTEST_MAIN(TestEditHistList)
#include "tst_edithistlistdlg.moc"
