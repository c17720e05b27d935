#include "app/MainForm.h"

#include <QtTest>

class TestMainForm final : public QObject
{
    Q_OBJECT
private slots:
    void showsTheProgramTitle()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Start Arkivo under different user account"));
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
