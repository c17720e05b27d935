#include "run/EndActions.h"

#include "support/PrivateSystemBus.h"

#include <QTest>

using namespace TestSupport;

namespace {

const QString kShutdownError = QStringLiteral("  *** Error on shutting down or logging off!\r\n");
const QString kSuspendError = QStringLiteral("  *** Error on suspending system!\r\n");
const QString kDenied = QStringLiteral("Permission denied (org.freedesktop.DBus.Error.AccessDenied)");

} // namespace

// The end actions of an unattended run, carried out against a stand-in logind on a
// private system bus.
class TestEndActions final : public QObject
{
    Q_OBJECT

    TPrivateSystemBus FBus;
    QStringList FShown;

    void Perform(int ALogOffMode, int ASuspendMode)
    {
        PerformEndAction(TDownMode(ALogOffMode), TSuspendMode(ASuspendMode),
                         [this](const QString &AText) { FShown << AText; });
    }

private slots:
    void initTestCase() { QVERIFY2(FBus.Start(), qPrintable(FBus.Error())); }
    void cleanupTestCase() { FBus.Stop(); }

    void init()
    {
        FBus.Reset();
        FShown.clear();
    }

    void endActionReachesLogind_data()
    {
        QTest::addColumn<int>("logOffMode");
        QTest::addColumn<int>("suspendMode");
        QTest::addColumn<QStringList>("calls");
        const QStringList powerOff{QStringLiteral("Manager.PowerOff(false)")};
        QTest::newRow("shutdown") << int(dmShutdown) << int(smNone) << powerOff;
        QTest::newRow("power off: the same call as shutdown") << int(dmPowerOff) << int(smNone) << powerOff;
        QTest::newRow("restart") << int(dmRestart) << int(smNone)
                                 << QStringList{QStringLiteral("Manager.Reboot(false)")};
        QTest::newRow("log off") << int(dmLogOff) << int(smNone)
                                 << QStringList{TPrivateSystemBus::OwnSessionLookup(),
                                                QStringLiteral("Session.Terminate()")};
        QTest::newRow("standby") << int(dmNone) << int(smStandby)
                                 << QStringList{QStringLiteral("Manager.Suspend(false)")};
        QTest::newRow("hibernate") << int(dmNone) << int(smHibernate)
                                   << QStringList{QStringLiteral("Manager.Hibernate(false)")};
        QTest::newRow("restart with hibernate: restarts only")
            << int(dmRestart) << int(smHibernate) << QStringList{QStringLiteral("Manager.Reboot(false)")};
        QTest::newRow("shutdown with standby: shuts down only")
            << int(dmShutdown) << int(smStandby) << powerOff;
        QTest::newRow("no end action: no call") << int(dmNone) << int(smNone) << QStringList();
    }

    void endActionReachesLogind()
    {
        QFETCH(int, logOffMode);
        QFETCH(int, suspendMode);
        QFETCH(QStringList, calls);
        QVERIFY2(FBus.IsCurrent(), "the system bus variable does not name the private bus");
        Perform(logOffMode, suspendMode);
        QCOMPARE(FBus.Calls(), calls);
        QCOMPARE(FShown, QStringList());
    }

    void failureIsShown_data()
    {
        QTest::addColumn<int>("logOffMode");
        QTest::addColumn<int>("suspendMode");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("shutdown refused")
            << int(dmShutdown) << int(smNone) << QStringLiteral("PowerOff") << kShutdownError + kDenied
            << QStringList{QStringLiteral("Manager.PowerOff(false)")};
        QTest::newRow("shutdown with standby refused: no suspend follows")
            << int(dmShutdown) << int(smStandby) << QStringLiteral("PowerOff") << kShutdownError + kDenied
            << QStringList{QStringLiteral("Manager.PowerOff(false)")};
        QTest::newRow("restart refused")
            << int(dmRestart) << int(smNone) << QStringLiteral("Reboot") << kShutdownError + kDenied
            << QStringList{QStringLiteral("Manager.Reboot(false)")};
        QTest::newRow("log off refused")
            << int(dmLogOff) << int(smNone) << QStringLiteral("Terminate") << kShutdownError + kDenied
            << QStringList{TPrivateSystemBus::OwnSessionLookup(), QStringLiteral("Session.Terminate()")};
        QTest::newRow("log off, session lookup refused: nothing terminated")
            << int(dmLogOff) << int(smNone) << QStringLiteral("GetSessionByPID") << kShutdownError + kDenied
            << QStringList{TPrivateSystemBus::OwnSessionLookup()};
        QTest::newRow("standby refused: no shutdown is tried")
            << int(dmNone) << int(smStandby) << QStringLiteral("Suspend") << kSuspendError + kDenied
            << QStringList{QStringLiteral("Manager.Suspend(false)")};
        QTest::newRow("hibernate refused")
            << int(dmNone) << int(smHibernate) << QStringLiteral("Hibernate") << kSuspendError + kDenied
            << QStringList{QStringLiteral("Manager.Hibernate(false)")};
    }

    void failureIsShown()
    {
        QFETCH(int, logOffMode);
        QFETCH(int, suspendMode);
        QFETCH(QString, refused);
        QFETCH(QString, shown);
        QFETCH(QStringList, calls);
        FBus.Refuse(refused);
        QVERIFY2(FBus.IsCurrent(), "the system bus variable does not name the private bus");
        Perform(logOffMode, suspendMode);
        QCOMPARE(FShown, QStringList{shown});
        QCOMPARE(FBus.Calls(), calls);
    }

    // A run without a display may hand in no reporter: the failure then goes unseen.
    void failureWithoutReporter()
    {
        FBus.Refuse(QStringLiteral("PowerOff"));
        QVERIFY2(FBus.IsCurrent(), "the system bus variable does not name the private bus");
        PerformEndAction(dmShutdown, smNone, {});
        QCOMPARE(FBus.Calls(), QStringList{QStringLiteral("Manager.PowerOff(false)")});
    }

    void missingBusIsShown_data()
    {
        QTest::addColumn<int>("logOffMode");
        QTest::addColumn<int>("suspendMode");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("shutdown") << int(dmShutdown) << int(smNone) << kShutdownError;
        QTest::newRow("log off") << int(dmLogOff) << int(smNone) << kShutdownError;
        QTest::newRow("standby") << int(dmNone) << int(smStandby) << kSuspendError;
    }

    void missingBusIsShown()
    {
        QFETCH(int, logOffMode);
        QFETCH(int, suspendMode);
        QFETCH(QString, firstLine);
        const TMissingSystemBus missing;
        const QString socket = missing.SocketPath();
        QVERIFY(!socket.isEmpty());
        Perform(logOffMode, suspendMode);
        QCOMPARE(FShown.size(), 1);
        QVERIFY2(FShown.first().startsWith(firstLine), qPrintable(FShown.first()));
        QVERIFY2(FShown.first().mid(firstLine.size()).contains(socket), qPrintable(FShown.first()));
    }
};

QTEST_GUILESS_MAIN(TestEndActions)
#include "tst_endactions.moc"
