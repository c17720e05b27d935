#include "platform/X11Windows.h"

#include "support/X11Fixture.h"

#include <QFile>
#include <QSysInfo>
#include <QtTest>

#include <optional>

using namespace TestSupport;

Q_DECLARE_METATYPE(std::optional<QByteArray>)

namespace {

std::optional<TTaskbarWindow> Find(const QList<TTaskbarWindow> &AList, uint32_t AWindow)
{
    for (const TTaskbarWindow &window : AList) {
        if (window.Window == AWindow)
            return window;
    }
    return std::nullopt;
}

QStringList Titles(const QList<TTaskbarWindow> &AList)
{
    QStringList titles;
    for (const TTaskbarWindow &window : AList)
        titles.append(window.Title);
    return titles;
}

QStringList WindowArgs(const QStringList &ASpecs)
{
    QStringList args;
    for (const QString &spec : ASpecs)
        args << QStringLiteral("--window") << spec;
    return args;
}

// Sets DISPLAY for one test and puts the fixture's back however the test ends.
class TDisplayOverride
{
public:
    explicit TDisplayOverride(const std::optional<QByteArray> &ADisplay) : FSaved(qgetenv("DISPLAY"))
    {
        if (ADisplay)
            qputenv("DISPLAY", *ADisplay);
        else
            qunsetenv("DISPLAY");
    }
    ~TDisplayOverride() { qputenv("DISPLAY", FSaved); }
    TDisplayOverride(const TDisplayOverride &) = delete;
    TDisplayOverride &operator=(const TDisplayOverride &) = delete;

private:
    QByteArray FSaved;
};

// A display number that no server here uses: neither its lock file nor its socket exists.
QByteArray UnusedDisplay()
{
    for (int n = 500;; ++n) {
        if (!QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) &&
            !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            return ':' + QByteArray::number(n);
    }
}

} // namespace

class TestX11Windows final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(FServer.Start(), qPrintable(FServer.Error())); }
    void cleanupTestCase() { FServer.Stop(); }

    void windowKinds_data()
    {
        QTest::addColumn<QStringList>("windows"); // the last one is looked for
        QTest::addColumn<bool>("listed");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("clientPid"); // else no process id

        const QString here = QSysInfo::machineHostName();
        QTest::newRow("normal") << QStringList{"title=Backup notes"} << true << "Backup notes" << true;
        QTest::newRow("type normal") << QStringList{"title=Editor,type=normal"} << true << "Editor" << true;
        QTest::newRow("type dialog") << QStringList{"title=Options,type=dialog"} << true << "Options" << true;
        QTest::newRow("type utility") << QStringList{"title=Palette,type=utility"} << false << "" << false;
        QTest::newRow("type toolbar") << QStringList{"title=Tools,type=toolbar"} << false << "" << false;
        QTest::newRow("type dock") << QStringList{"title=Panel,type=dock"} << false << "" << false;
        QTest::newRow("type desktop") << QStringList{"title=Desktop,type=desktop"} << false << "" << false;
        QTest::newRow("skip taskbar") << QStringList{"title=Tray,skiptaskbar=1"} << false << "" << false;
        QTest::newRow("transient for a window")
            << QStringList{"title=Main", "title=Find,transient=previous"} << false << "" << false;
        QTest::newRow("transient for the root")
            << QStringList{"title=Group dialog,transient=root"} << true << "Group dialog" << true;
        QTest::newRow("untitled") << QStringList{"pid=own"} << false << "" << false;
        QTest::newRow("empty title") << QStringList{"title="} << false << "" << false;
        QTest::newRow("unmapped") << QStringList{"title=Hidden,map=0"} << false << "" << false;
        QTest::newRow("iconic without window manager")
            << QStringList{"title=Iconic,iconic=1"} << false << "" << false;
        QTest::newRow("override redirect") << QStringList{"title=Menu,override=1"} << false << "" << false;
        QTest::newRow("WM_NAME in Latin-1") << QStringList{"wmname=Übersicht"} << true << "Übersicht" << true;
        QTest::newRow("empty _NET_WM_NAME, WM_NAME set")
            << QStringList{"title=,wmname=Legacy"} << true << "Legacy" << true;
        QTest::newRow("_NET_WM_NAME before WM_NAME")
            << QStringList{"title=Sicherung – Übersicht ✓,wmname=Old"} << true << "Sicherung – Übersicht ✓"
            << true;
        QTest::newRow("no process id") << QStringList{"title=No pid,pid=none"} << true << "No pid" << false;
        QTest::newRow("process id beyond pid_t")
            << QStringList{"title=Huge pid,pid=4294967295"} << true << "Huge pid" << false;
        QTest::newRow("other machine")
            << QStringList{"title=Remote,machine=elsewhere.invalid"} << true << "Remote" << false;
        QTest::newRow("this machine")
            << QStringList{QString(QStringLiteral("title=Local,machine=") + here)} << true << "Local" << true;
    }

    void windowKinds()
    {
        QFETCH(QStringList, windows);
        QFETCH(bool, listed);
        QFETCH(QString, title);
        QFETCH(bool, clientPid);

        TX11TestClient client;
        QVERIFY2(client.Start(WindowArgs(windows)), qPrintable(client.Error()));
        QList<TTaskbarWindow> list;
        QVERIFY(GetTaskbarWindows(list));
        const std::optional<TTaskbarWindow> found = Find(list, client.Windows().last());
        QCOMPARE(found.has_value(), listed);
        if (found) {
            QCOMPARE(found->Title, title);
            QCOMPARE(found->Pid, clientPid ? pid_t(client.Pid()) : pid_t(0));
        }
    }

    void titleLimit_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("title");

        const QString a = QStringLiteral("a");
        const QString e = QStringLiteral("é");
        const QString euro = QStringLiteral("€");
        const QString smile = QStringLiteral("😀");
        QTest::newRow("1024 characters") << "title=a,repeat=1024" << a.repeated(1024);
        QTest::newRow("1025 characters") << "title=a,repeat=1025" << a.repeated(1024);
        QTest::newRow("5000 characters") << "title=a,repeat=5000" << a.repeated(1024);
        QTest::newRow("5000 two-byte characters") << "title=é,repeat=5000" << e.repeated(1024);
        QTest::newRow("5000 three-byte characters") << "title=€,repeat=5000" << euro.repeated(1024);
        QTest::newRow("no half surrogate pair at the limit")
            << "prefix=a,title=😀,repeat=600" << a + smile.repeated(511);
    }

    void titleLimit()
    {
        QFETCH(QString, window);
        QFETCH(QString, title);

        TX11TestClient client;
        QVERIFY2(client.Start({QStringLiteral("--window"), window}), qPrintable(client.Error()));
        QList<TTaskbarWindow> list;
        QVERIFY(GetTaskbarWindows(list));
        const std::optional<TTaskbarWindow> found = Find(list, client.Windows().last());
        QVERIFY(found);
        QCOMPARE(found->Title, title);
    }

    void windowsOfOneProcessInStackingOrder()
    {
        TX11TestClient client;
        QVERIFY2(client.Start(WindowArgs({"title=First", "title=Second"})), qPrintable(client.Error()));
        QList<TTaskbarWindow> list;
        QVERIFY(GetTaskbarWindows(list));
        QCOMPARE(Titles(list), QStringList({"First", "Second"}));
        QCOMPARE(list[0].Pid, pid_t(client.Pid()));
        QCOMPARE(list[1].Pid, pid_t(client.Pid()));
        QCOMPARE(list[0].Window, client.Windows()[0]);
        QCOMPARE(list[1].Window, client.Windows()[1]);
    }

    // The window manager's list decides: its order, its iconified windows and windows on
    // other desktops count, and windows it does not manage do not.
    void windowManagerList()
    {
        TX11TestClient outsider;
        QVERIFY2(outsider.Start(WindowArgs({"title=Outsider"})), qPrintable(outsider.Error()));
        TX11TestClient wm;
        QVERIFY2(wm.Start(QStringList{"--wm"} +
                          WindowArgs({"title=Alpha", "title=Beta,iconic=1", "title=Epsilon,map=0",
                                      "title=Gamma,map=0,managed=0", "title=Delta,managed=0"})),
                 qPrintable(wm.Error()));
        QList<TTaskbarWindow> list;
        QVERIFY(GetTaskbarWindows(list));
        QCOMPARE(Titles(list), QStringList({"Epsilon", "Beta", "Alpha"}));
    }

    // A window manager that died leaves its root properties behind. The survivor starts
    // first: a client started later would get the dead one's window ids.
    void deadWindowManagerFallsBackToRootChildren()
    {
        TX11TestClient client;
        QVERIFY2(client.Start(WindowArgs({"title=Survivor"})), qPrintable(client.Error()));
        {
            TX11TestClient wm;
            QVERIFY2(wm.Start(QStringList{"--wm"} + WindowArgs({"title=Gone"})), qPrintable(wm.Error()));
        }
        QList<TTaskbarWindow> list;
        QVERIFY(GetTaskbarWindows(list));
        QCOMPARE(Titles(list), QStringList({"Survivor"}));
    }

    void noDisplay_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("display");
        QTest::newRow("DISPLAY unset") << std::optional<QByteArray>();
        QTest::newRow("display without server") << std::optional<QByteArray>(UnusedDisplay());
        QTest::newRow("malformed DISPLAY") << std::optional<QByteArray>("not a display");
    }

    void noDisplay()
    {
        QFETCH(std::optional<QByteArray>, display);
        TX11TestClient client;
        QVERIFY2(client.Start(WindowArgs({"title=Unseen"})), qPrintable(client.Error()));
        const TDisplayOverride override(display);
        QList<TTaskbarWindow> list{{QStringLiteral("left over"), 1, 1}};
        QVERIFY(!GetTaskbarWindows(list));
        QVERIFY(list.isEmpty());
    }

    void serverThatDoesNotAnswer()
    {
        TX11TestClient client;
        QVERIFY2(client.Start(WindowArgs({"title=Frozen"})), qPrintable(client.Error()));
        QVERIFY(FServer.Suspend());
        QList<TTaskbarWindow> list{{QStringLiteral("left over"), 1, 1}};
        const bool ok = GetTaskbarWindows(list);
        QVERIFY(FServer.Resume());
        QVERIFY(!ok);
        QVERIFY(list.isEmpty());
        // The same display answers again once the server runs.
        QVERIFY(GetTaskbarWindows(list));
        QCOMPARE(Titles(list), QStringList({"Frozen"}));
    }

private:
    TXvfbServer FServer;
};

QTEST_GUILESS_MAIN(TestX11Windows)
#include "tst_x11windows.moc"
