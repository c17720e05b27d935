#include "ui/FormUtils.h"

#include <QBoxLayout>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

namespace {

QRect WorkArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

int Scaled(int n)
{
    return ScaleForScreen(n, QGuiApplication::primaryScreen());
}

} // namespace

class TestFormUtils final : public QObject
{
    Q_OBJECT

private slots:
    void clampKeepsWindowsOnTheWorkArea_data();
    void clampKeepsWindowsOnTheWorkArea();
    void placeFormByPositionConstants();
    void placeFormAtPoint_data();
    void placeFormAtPoint();
    void cornerPoints();
    void measuresMultiLineTexts_data();
    void measuresMultiLineTexts();
    void screenReaderDecidesTabStops_data();
    void screenReaderDecidesTabStops();
    void fitToButton();
};

void TestFormUtils::clampKeepsWindowsOnTheWorkArea_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("expected");

    const QRect area = WorkArea();
    const int right = area.x() + area.width();
    const int bottom = area.y() + area.height();
    const QSize size(200, 100);
    QTest::newRow("inside") << area.topLeft() + QPoint(10, 10) << size << area.topLeft() + QPoint(10, 10);
    QTest::newRow("touching the right edge")
        << QPoint(right - 200, area.y() + 10) << size << QPoint(right - 200, area.y() + 10);
    QTest::newRow("one pixel beyond the right edge")
        << QPoint(right - 199, area.y() + 10) << size << QPoint(right - 200 - Scaled(20), area.y() + 10);
    QTest::newRow("left of the left edge")
        << QPoint(area.x() - 5, area.y() + 10) << size << QPoint(area.x() + Scaled(20), area.y() + 10);
    QTest::newRow("beyond the bottom edge")
        << QPoint(area.x() + 10, bottom - 50) << size << QPoint(area.x() + 10, bottom - 100 - Scaled(30));
    QTest::newRow("above the top edge")
        << QPoint(area.x() + 10, area.y() - 1) << size << QPoint(area.x() + 10, area.y() + Scaled(20));
    QTest::newRow("beyond right and bottom")
        << QPoint(right, bottom) << size << QPoint(right - 200 - Scaled(20), bottom - 100 - Scaled(30));
    // Far outside every screen: the nearest screen takes it.
    QTest::newRow("far right of the screens")
        << QPoint(right + 5000, area.y() + 10) << size << QPoint(right - 200 - Scaled(20), area.y() + 10);
    QTest::newRow("wider than the work area: the left edge wins")
        << QPoint(area.x() + 10, area.y() + 10) << QSize(area.width() + 100, 100)
        << QPoint(area.x() + Scaled(20), area.y() + 10);
}

void TestFormUtils::clampKeepsWindowsOnTheWorkArea()
{
    QFETCH(QPoint, pos);
    QFETCH(QSize, size);
    QFETCH(QPoint, expected);

    QCOMPARE(ClampToWorkArea(pos, size), expected);
}

void TestFormUtils::placeFormByPositionConstants()
{
    QDialog form;
    form.resize(300, 200);
    PlaceForm(&form, ScreenCenterPos);
    QCOMPARE(form.frameGeometry().center(), WorkArea().center());

    // Without a main window CenterPos centres on the screen too.
    form.move(0, 0);
    PlaceForm(&form, CenterPos);
    QCOMPARE(form.frameGeometry().center(), WorkArea().center());

    QMainWindow mainWindow;
    mainWindow.setGeometry(WorkArea().x() + 40, WorkArea().y() + 30, 500, 400);
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    PlaceForm(&form, CenterPos);
    QCOMPARE(form.frameGeometry().center(), mainWindow.frameGeometry().center());
}

void TestFormUtils::placeFormAtPoint_data()
{
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<bool>("above");
    QTest::addColumn<QPoint>("expected");

    const QPoint origin = WorkArea().topLeft();
    QTest::newRow("at the point") << origin + QPoint(5, 5) << origin + QPoint(100, 150) << false
                                  << origin + QPoint(100, 150);
    QTest::newRow("above the point") << origin + QPoint(5, 5) << origin + QPoint(100, 150) << true
                                     << origin + QPoint(100, 50);
    QTest::newRow("negative x keeps the current x")
        << origin + QPoint(70, 5) << QPoint(-5, origin.y() + 150) << false << origin + QPoint(70, 150);
    QTest::newRow("negative y keeps the current y")
        << origin + QPoint(70, 60) << QPoint(origin.x() + 120, -2) << false << origin + QPoint(120, 60);
    QTest::newRow("above the top: clamped")
        << origin + QPoint(5, 5) << origin + QPoint(100, 40) << true << origin + QPoint(100, Scaled(20));
}

void TestFormUtils::placeFormAtPoint()
{
    QFETCH(QPoint, start);
    QFETCH(QPoint, pos);
    QFETCH(bool, above);
    QFETCH(QPoint, expected);

    QDialog form;
    form.setGeometry(QRect(start, QSize(200, 100)));
    PlaceForm(&form, pos, above);
    QCOMPARE(form.frameGeometry().topLeft(), expected);
}

void TestFormUtils::cornerPoints()
{
    QWidget form;
    form.setGeometry(WorkArea().x() + 50, WorkArea().y() + 60, 300, 200);
    QPushButton button(&form);
    button.setGeometry(20, 30, 80, 25);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QPoint origin = form.mapToGlobal(QPoint(20, 30));
    QCOMPARE(TopLeftPos(&button), origin);
    QCOMPARE(TopRightPos(&button), origin + QPoint(80, 0));
    QCOMPARE(BottomRightPos(&button), origin + QPoint(80, 25));
    QCOMPARE(BottomLeftPos(&button), origin + QPoint(0, 25));
    QCOMPARE(BottomLeftPos(&button, QPoint(4, 2)), origin + QPoint(4, 27));
}

void TestFormUtils::measuresMultiLineTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("widest");

    QTest::newRow("one line") << "Backup" << 1 << "Backup";
    QTest::newRow("empty") << "" << 1 << "";
    QTest::newRow("CR LF lines") << "ab\r\nabcdef\r\nabc" << 3 << "abcdef";
    QTest::newRow("LF lines") << "abcdefgh\nab" << 2 << "abcdefgh";
    QTest::newRow("trailing break") << "abc\r\n" << 2 << "abc";
}

void TestFormUtils::measuresMultiLineTexts()
{
    QFETCH(QString, text);
    QFETCH(int, lines);
    QFETCH(QString, widest);

    const QFont font = QApplication::font();
    const QFontMetrics metrics(font);
    QCOMPARE(TextLineCount(text), lines);
    QCOMPARE(MaxTextWidth(text, font), metrics.horizontalAdvance(widest));
    QCOMPARE(TextExtent(text, font), QSize(metrics.horizontalAdvance(widest),
                                           metrics.boundingRect(QLatin1Char('X')).height() * lines));
}

void TestFormUtils::screenReaderDecidesTabStops_data()
{
    QTest::addColumn<bool>("screenReader");
    QTest::addColumn<int>("label");
    QTest::addColumn<int>("readOnlyEdit");
    QTest::addColumn<int>("readOnlyMemo");

    QTest::newRow("no screen reader")
        << false << int(Qt::NoFocus) << int(Qt::ClickFocus) << int(Qt::ClickFocus);
    QTest::newRow("screen reader") << true << int(Qt::StrongFocus) << int(Qt::StrongFocus)
                                   << int(Qt::StrongFocus);
}

void TestFormUtils::screenReaderDecidesTabStops()
{
    QFETCH(bool, screenReader);
    QFETCH(int, label);
    QFETCH(int, readOnlyEdit);
    QFETCH(int, readOnlyMemo);

    QDialog form;
    auto *group = new QWidget(&form);
    auto *text = new QLabel(QStringLiteral("Text"), group);
    auto *readOnly = new QLineEdit(group);
    readOnly->setReadOnly(true);
    auto *memo = new QPlainTextEdit(&form);
    memo->setReadOnly(true);
    auto *editable = new QLineEdit(&form);
    auto *button = new QPushButton(&form);

    OverrideScreenReader(screenReader);
    SetScreenReaderTabStops(&form);
    OverrideScreenReader(std::nullopt);
    QCOMPARE(int(text->focusPolicy()), label);
    QCOMPARE(int(readOnly->focusPolicy()), readOnlyEdit);
    QCOMPARE(int(memo->focusPolicy()), readOnlyMemo);
    QCOMPARE(editable->focusPolicy(), Qt::StrongFocus);
    QCOMPARE(button->focusPolicy(), Qt::StrongFocus);
}

void TestFormUtils::fitToButton()
{
    QWidget form;
    form.resize(400, 300);
    QPushButton button(&form);
    button.setGeometry(100, 150, 80, 25);
    FitToButton(&form, &button, 8);
    QCOMPARE(form.size(), QSize(188, 183));
    form.resize(400, 300);
    FitToButton(&form, &button, 8, false);
    QCOMPARE(form.size(), QSize(188, 300));
}

QTEST_MAIN(TestFormUtils)
#include "tst_formutils.moc"
