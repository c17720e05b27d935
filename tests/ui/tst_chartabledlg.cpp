#include "ModalHelper.h"
#include "ui/CharTableDlg.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace ModalHelper;

namespace {

const QString DialogName = QStringLiteral("CharTableDialog");

} // namespace

class TestCharTableDialog final : public QObject
{
    Q_OBJECT

private slots:
    void hexValueMovesTheCurrentCell_data();
    void hexValueMovesTheCurrentCell();
    void showsCodesAndCharacters();
    void doubleClickChoosesTheCell();
    void cancelGivesZero_data();
    void cancelGivesZero();
};

void TestCharTableDialog::hexValueMovesTheCurrentCell_data()
{
    QTest::addColumn<QStringList>("typed"); // each typed over the whole field
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("code");
    QTest::newRow("41 is the capital A") << QStringList{"41"} << 4 << 1 << 65;
    QTest::newRow("lower-case digits") << QStringList{"e9"} << 14 << 9 << 0xE9;
    QTest::newRow("FF is the last cell") << QStringList{"FF"} << 15 << 15 << 255;
    // Each typed digit counts: fff stops at ff.
    QTest::newRow("fff goes as far as ff") << QStringList{"41", "fff"} << 15 << 15 << 255;
    QTest::newRow("100 is too large") << QStringList{"100"} << 1 << 0 << 16;
    QTest::newRow("-1 is no hex number") << QStringList{"41", "-1"} << 4 << 1 << 65;
    QTest::newRow("letters") << QStringList{"41", "xyz"} << 4 << 1 << 65;
    QTest::newRow("empty") << QStringList{"41", ""} << 4 << 1 << 65;
    QTest::newRow("0 cannot be chosen") << QStringList{"0"} << 0 << 0 << 0;
}

void TestCharTableDialog::hexValueMovesTheCurrentCell()
{
    QFETCH(QStringList, typed);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, code);
    int currentRow = -1;
    int currentColumn = -1;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        auto *value = Control<QLineEdit>(dialog, "leValue");
        for (const QString &text : typed) {
            value->selectAll();
            QTest::keyClick(value, Qt::Key_Delete);
            QTest::keyClicks(value, text);
        }
        auto *grid = Control<QTableWidget>(dialog, "CharGrid");
        currentRow = grid->currentRow();
        currentColumn = grid->currentColumn();
        QTest::keyClick(value, Qt::Key_Return);
    });
    QCOMPARE(SelectChar(QPoint(20, 20), QString()), code);
    QVERIFY(driver.Ran());
    QCOMPARE(currentRow, row);
    QCOMPARE(currentColumn, column);
}

void TestCharTableDialog::showsCodesAndCharacters()
{
    QStringList headers;
    QString cellA;
    QString cellLineFeed = QStringLiteral("?");
    QString fontFamily;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        auto *grid = Control<QTableWidget>(dialog, "CharGrid");
        headers << grid->horizontalHeaderItem(0)->text() << grid->horizontalHeaderItem(15)->text()
                << grid->verticalHeaderItem(10)->text();
        cellA = grid->item(4, 1)->text();
        cellLineFeed = grid->item(0, 10)->text();
        fontFamily = grid->item(4, 1)->font().family();
        Control<QPushButton>(dialog, "CancelBtn")->click();
    });
    QCOMPARE(SelectChar(CenterPos, QStringLiteral("DejaVu Serif")), 0);
    QVERIFY(driver.Ran());
    QCOMPARE(headers, QStringList({"00", "0F", "0A"}));
    QCOMPARE(cellA, QStringLiteral("A"));
    QCOMPARE(cellLineFeed, QString());
    QCOMPARE(fontFamily, QStringLiteral("DejaVu Serif"));
}

void TestCharTableDialog::doubleClickChoosesTheCell()
{
    const TModalDriver driver(DialogName, [](QWidget *dialog) {
        auto *grid = Control<QTableWidget>(dialog, "CharGrid");
        const QRect cell = grid->visualItemRect(grid->item(2, 3));
        // A press and release first, as a real double click begins.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    });
    QCOMPARE(SelectChar(CenterPos, QString()), 0x23);
    QVERIFY(driver.Ran());
}

void TestCharTableDialog::cancelGivesZero_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Esc") << true;
}

void TestCharTableDialog::cancelGivesZero()
{
    QFETCH(bool, escape);
    const TModalDriver driver(DialogName, [escape](QWidget *dialog) {
        auto *value = Control<QLineEdit>(dialog, "leValue");
        QTest::keyClicks(value, "41");
        if (escape)
            QTest::keyClick(value, Qt::Key_Escape);
        else
            Control<QPushButton>(dialog, "CancelBtn")->click();
    });
    QCOMPARE(SelectChar(CenterPos, QString()), 0);
    QVERIFY(driver.Ran());
}

QTEST_MAIN(TestCharTableDialog)
#include "tst_chartabledlg.moc"
