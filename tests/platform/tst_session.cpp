#include "platform/Session.h"

#include "support/PrivateSystemBus.h"

#include <QScopeGuard>
#include <QTest>

using namespace TestSupport;

namespace {

enum TOperation
{
    opLock,
    opLogOff,
    opPowerOff,
    opReboot,
    opSuspend,
    opHibernate
};

TSessionResult Perform(int AOperation)
{
    switch (TOperation(AOperation)) {
    case opLock:
        return LockWorkStation();
    case opLogOff:
        return LogOffSession();
    case opPowerOff:
        return PowerOffComputer();
    case opReboot:
        return RebootComputer();
    case opSuspend:
        return SuspendComputer();
    case opHibernate:
        return HibernateComputer();
    }
    return {false, QStringLiteral("unknown operation")};
}

const QString kAccessDenied = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");

} // namespace

// The session operations against a stand-in logind on a private system bus.
class TestSession final : public QObject
{
    Q_OBJECT

    TPrivateSystemBus FBus;

private slots:
    void initTestCase() { QVERIFY2(FBus.Start(), qPrintable(FBus.Error())); }
    void cleanupTestCase() { FBus.Stop(); }

    void init() { FBus.Reset(); }

    void operationReachesLogind_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("lock: the own session's Lock")
            << int(opLock)
            << QStringList{TPrivateSystemBus::OwnSessionLookup(), QStringLiteral("Session.Lock()")};
        QTest::newRow("log off: the own session's Terminate")
            << int(opLogOff)
            << QStringList{TPrivateSystemBus::OwnSessionLookup(), QStringLiteral("Session.Terminate()")};
        QTest::newRow("power off") << int(opPowerOff)
                                   << QStringList{QStringLiteral("Manager.PowerOff(false)")};
        QTest::newRow("reboot") << int(opReboot) << QStringList{QStringLiteral("Manager.Reboot(false)")};
        QTest::newRow("suspend") << int(opSuspend) << QStringList{QStringLiteral("Manager.Suspend(false)")};
        QTest::newRow("hibernate") << int(opHibernate)
                                   << QStringList{QStringLiteral("Manager.Hibernate(false)")};
    }

    void operationReachesLogind()
    {
        QFETCH(int, operation);
        QFETCH(QStringList, calls);
        QVERIFY2(FBus.IsCurrent(), "the system bus variable does not name the private bus");
        const TSessionResult result = Perform(operation);
        QVERIFY2(result.Ok, qPrintable(result.Error));
        QCOMPARE(FBus.Calls(), calls);
    }

    void refusalIsTheFailure_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("errorName");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("calls");
        const QString denied = QStringLiteral("Permission denied (org.freedesktop.DBus.Error.AccessDenied)");
        const QString permission = QStringLiteral("Permission denied");
        QTest::newRow("lock, no session for the process: Lock is not tried")
            << int(opLock) << QStringLiteral("GetSessionByPID")
            << QStringLiteral("org.freedesktop.login1.NoSessionForPID")
            << QStringLiteral("PID 1 does not belong to any known session")
            << QStringLiteral(
                   "PID 1 does not belong to any known session (org.freedesktop.login1.NoSessionForPID)")
            << QStringList{TPrivateSystemBus::OwnSessionLookup()};
        QTest::newRow("lock refused")
            << int(opLock) << QStringLiteral("Lock") << kAccessDenied << permission << denied
            << QStringList{TPrivateSystemBus::OwnSessionLookup(), QStringLiteral("Session.Lock()")};
        QTest::newRow("log off refused")
            << int(opLogOff) << QStringLiteral("Terminate") << kAccessDenied << permission << denied
            << QStringList{TPrivateSystemBus::OwnSessionLookup(), QStringLiteral("Session.Terminate()")};
        QTest::newRow("power off refused")
            << int(opPowerOff) << QStringLiteral("PowerOff") << kAccessDenied << permission << denied
            << QStringList{QStringLiteral("Manager.PowerOff(false)")};
        QTest::newRow("reboot refused")
            << int(opReboot) << QStringLiteral("Reboot") << kAccessDenied << permission << denied
            << QStringList{QStringLiteral("Manager.Reboot(false)")};
        QTest::newRow("suspend refused")
            << int(opSuspend) << QStringLiteral("Suspend") << kAccessDenied << permission << denied
            << QStringList{QStringLiteral("Manager.Suspend(false)")};
        QTest::newRow("hibernate refused, no message: the error name alone")
            << int(opHibernate) << QStringLiteral("Hibernate")
            << QStringLiteral("org.freedesktop.login1.SleepVerbNotSupported") << QString()
            << QStringLiteral("org.freedesktop.login1.SleepVerbNotSupported")
            << QStringList{QStringLiteral("Manager.Hibernate(false)")};
    }

    void refusalIsTheFailure()
    {
        QFETCH(int, operation);
        QFETCH(QString, refused);
        QFETCH(QString, errorName);
        QFETCH(QString, message);
        QFETCH(QString, error);
        QFETCH(QStringList, calls);
        FBus.Refuse(refused, errorName, message);
        QVERIFY2(FBus.IsCurrent(), "the system bus variable does not name the private bus");
        const TSessionResult result = Perform(operation);
        QVERIFY(!result.Ok);
        QCOMPARE(result.Error, error);
        QCOMPARE(FBus.Calls(), calls);
    }

    // An answer later than the time-out counts as a failure, so a logind that hangs
    // cannot hold up the end of a run for long.
    void lateAnswerIsAFailure()
    {
        FBus.Delay(QStringLiteral("Suspend"), SessionCallTimeoutMs / 1000.0 + 3);
        QVERIFY2(FBus.IsCurrent(), "the system bus variable does not name the private bus");
        const TSessionResult result = SuspendComputer();
        QVERIFY(!result.Ok);
        QVERIFY2(result.Error.contains(QLatin1String("org.freedesktop.DBus.Error.NoReply")),
                 qPrintable(result.Error));
    }

    // A bus that takes the connection but never answers must not hang the caller.
    void stalledBusIsAFailure()
    {
        QVERIFY2(FBus.IsCurrent(), "the system bus variable does not name the private bus");
        QVERIFY(FBus.PauseBus());
        const auto resume = qScopeGuard([this] { FBus.ResumeBus(); });
        const TSessionResult result = LockWorkStation();
        QVERIFY(!result.Ok);
        QCOMPARE(result.Error,
                 QStringLiteral("The system bus does not answer (org.freedesktop.DBus.Error.Timeout)"));
        QCOMPARE(FBus.Calls(), QStringList());
    }

    void missingBusIsAFailure_data()
    {
        QTest::addColumn<int>("operation");
        QTest::newRow("lock") << int(opLock);
        QTest::newRow("power off") << int(opPowerOff);
    }

    void missingBusIsAFailure()
    {
        QFETCH(int, operation);
        const TMissingSystemBus missing;
        const QString socket = missing.SocketPath();
        QVERIFY(!socket.isEmpty());
        const TSessionResult result = Perform(operation);
        QVERIFY(!result.Ok);
        QVERIFY2(result.Error.contains(socket), qPrintable(result.Error));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
