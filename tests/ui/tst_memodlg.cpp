#include "ModalHelper.h"
#include "ui/MemoDlg.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

using namespace ModalHelper;

namespace {

const QString DialogName = QStringLiteral("MemoDialog");

} // namespace

class TestMemoDialog final : public QObject
{
    Q_OBJECT

private slots:
    void returnsLinesWithBreaks_data();
    void returnsLinesWithBreaks();
    void cancelKeepsTheText();
    void widensForLongLinesUpToHalfTheScreen_data();
    void widensForLongLinesUpToHalfTheScreen();
    void f11ShowsTheHeading();
};

void TestMemoDialog::returnsLinesWithBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::newRow("unchanged lines") << "first\r\nsecond"
                                     << ""
                                     << "first\nsecond\n";
    QTest::newRow("typed at the end") << "<Query>"
                                      << "\n</Query>"
                                      << "<Query>\n</Query>\n";
    QTest::newRow("final break starts no line") << "one\n"
                                                << ""
                                                << "one\n";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("empty lines kept") << "a\n\nb"
                                      << ""
                                      << "a\n\nb\n";
}

void TestMemoDialog::returnsLinesWithBreaks()
{
    QFETCH(QString, text);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    bool closeBox = true;
    QString heading;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        closeBox = dialog->windowFlags().testFlag(Qt::WindowCloseButtonHint);
        heading = Control<QLabel>(dialog, "Descriptor")->text();
        auto *memo = Control<QPlainTextEdit>(dialog, "Memo");
        // The caret waits at the end.
        for (const QChar c : typed) {
            if (c == u'\n')
                QTest::keyClick(memo, Qt::Key_Return);
            else
                QTest::keyClicks(memo, QString(c));
        }
        Control<QPushButton>(dialog, "OKBtn")->click();
    });
    QVERIFY(EditMemoText(CenterPos, "Event", "Event query:", text));
    QVERIFY(driver.Ran());
    QVERIFY(!closeBox);
    QCOMPARE(heading, QStringLiteral("Event query:"));
    QCOMPARE(text, result);
}

void TestMemoDialog::cancelKeepsTheText()
{
    const TModalDriver driver(DialogName, [](QWidget *dialog) {
        auto *memo = Control<QPlainTextEdit>(dialog, "Memo");
        QTest::keyClicks(memo, "more");
        QTest::keyClick(memo, Qt::Key_Escape);
    });
    QString text = QStringLiteral("query");
    QVERIFY(!EditMemoText(CenterPos, "Event", "Event query:", text));
    QVERIFY(driver.Ran());
    QCOMPARE(text, QStringLiteral("query"));
}

void TestMemoDialog::widensForLongLinesUpToHalfTheScreen_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("wide");
    QTest::newRow("short lines keep the width") << "a\nb" << false;
    QTest::newRow("one long line") << QString(400, QChar(u'x')) << true;
    QTest::newRow("10000 characters") << QStringLiteral("word ").repeated(2000) << true;
    QTest::newRow("500 lines")
        << QStringLiteral("<Select Path=\"System\">*[System[(EventID=1)]]</Select>\n").repeated(500) << true;
}

void TestMemoDialog::widensForLongLinesUpToHalfTheScreen()
{
    QFETCH(QString, text);
    QFETCH(bool, wide);
    QRect frame;
    QRect area;
    int width = 0;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        frame = dialog->frameGeometry();
        width = dialog->width();
        area = dialog->screen()->availableGeometry();
        Control<QPushButton>(dialog, "OKBtn")->click();
    });
    const QString heading = QStringLiteral("A long heading. ").repeated(wide ? 600 : 1);
    QVERIFY(EditMemoText(QPoint(5, 5), "Event", heading, text));
    QVERIFY(driver.Ran());
    QVERIFY(area.contains(frame));
    if (wide)
        QCOMPARE(width, area.width() / 2);
    else
        QVERIFY(width < area.width() / 2);
}

void TestMemoDialog::f11ShowsTheHeading()
{
    QString shown;
    const TModalDriver driver(DialogName, [&](QWidget *dialog) {
        shown = PressF11(Control<QPlainTextEdit>(dialog, "Memo"));
        Control<QPushButton>(dialog, "CancelBtn")->click();
    });
    QString text;
    QVERIFY(!EditMemoText(CenterPos, "Event", "Event query:", text));
    QVERIFY(driver.Ran());
    QCOMPARE(shown, QStringLiteral("Event query:"));
}

QTEST_MAIN(TestMemoDialog)
#include "tst_memodlg.moc"
