#include "run/CommandLine.h"

#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(TRunRequest)
Q_DECLARE_METATYPE(TEarlyOptions)
Q_DECLARE_METATYPE(TStarterCommand)

namespace {

// All fields in one line, so that a failing comparison shows what differs.
QString Describe(const TRunRequest &r)
{
    return QStringLiteral("force=%1 term=%2 log=%3 prompt=%4 lock=%5 dark=%6 down=%7 suspend=%8 "
                          "ini=[%9] last=[%10] list=[%11]")
        .arg(r.Force)
        .arg(r.TermProgs)
        .arg(r.WriteLog)
        .arg(r.ActPrompt)
        .arg(r.FLockScreen)
        .arg(r.UseDarkMode)
        .arg(int(r.LogOffMode))
        .arg(int(r.SuspendMode))
        .arg(r.AIniPath, r.LastTask, r.ConfigList);
}

QString Describe(const TEarlyOptions &o)
{
    return QStringLiteral("lang=%1[%2] ini=%3[%4] portable=%5 iniAfterPortable=%6")
        .arg(o.LangGiven)
        .arg(o.LanguageCode)
        .arg(o.IniGiven)
        .arg(o.IniValue)
        .arg(o.Portable)
        .arg(o.IniAfterPortable);
}

TRunRequest Request(const std::function<void(TRunRequest &)> &change = {})
{
    TRunRequest r;
    if (change)
        change(r);
    return r;
}

TEarlyOptions Early(const std::function<void(TEarlyOptions &)> &change)
{
    TEarlyOptions o;
    change(o);
    return o;
}

TStarterCommand Command(const QStringList &groups, const std::function<void(TStarterCommand &)> &change = {})
{
    TStarterCommand c;
    c.Groups = groups;
    if (change)
        change(c);
    return c;
}

// What the program must read back from a command line it wrote.
TRunRequest ExpectedRequest(const TStarterCommand &c)
{
    TRunRequest r;
    r.Force = true;
    r.LastTask = c.Groups.value(0);
    r.ConfigList = c.Groups.join(u',');
    r.AIniPath = c.IniPath;
    r.WriteLog = c.WriteLog;
    r.FLockScreen = c.LockScreen;
    r.ActPrompt = c.EndAction == eaPrompt;
    r.SuspendMode = c.EndAction == eaStandby ? smStandby : c.EndAction == eaHibernate ? smHibernate : smNone;
    r.LogOffMode = c.EndAction == eaLogOff     ? dmLogOff
                   : c.EndAction == eaShutdown ? dmShutdown
                   : c.EndAction == eaRestart  ? dmRestart
                                               : dmNone;
    r.TermProgs = c.TermProgs && r.LogOffMode != dmNone;
    return r;
}

} // namespace

class TestCommandLine final : public QObject
{
    Q_OBJECT

private slots:
    void mainScan_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<TRunRequest>("expected");

        const auto force = Request([](TRunRequest &r) { r.Force = true; });
        const auto writeLog = Request([](TRunRequest &r) { r.WriteLog = true; });
        const auto lock = Request([](TRunRequest &r) { r.FLockScreen = true; });
        const auto down = [](TDownMode mode) {
            return Request([mode](TRunRequest &r) { r.LogOffMode = mode; });
        };
        const auto suspend = [](TSuspendMode mode) {
            return Request([mode](TRunRequest &r) { r.SuspendMode = mode; });
        };
        const auto none = Request();

        QTest::newRow("no arguments") << QStringList() << none;

        // Leading parts of keywords, either option character, any case.
        QTest::newRow("/FORCE") << QStringList{"/FORCE"} << force;
        QTest::newRow("-force") << QStringList{"-force"} << force;
        QTest::newRow("/f") << QStringList{"/f"} << force;
        QTest::newRow("/Fo") << QStringList{"/Fo"} << force;
        QTest::newRow("slash alone") << QStringList{"/"} << force;
        QTest::newRow("dash alone") << QStringList{"-"} << force;
        QTest::newRow("/t") << QStringList{"/t"} << Request([](TRunRequest &r) { r.TermProgs = true; });
        QTest::newRow("/p") << QStringList{"/p"} << Request([](TRunRequest &r) { r.ActPrompt = true; });
        QTest::newRow("/d") << QStringList{"/d"} << Request([](TRunRequest &r) { r.UseDarkMode = true; });
        QTest::newRow("/l is lockscreen") << QStringList{"/l"} << lock;
        QTest::newRow("/lo is lockscreen") << QStringList{"/lo"} << lock;
        QTest::newRow("/LockScreen") << QStringList{"/LockScreen"} << lock;

        // A keyword followed by anything matches nothing.
        QTest::newRow("/forced") << QStringList{"/forced"} << none;
        QTest::newRow("/force2") << QStringList{"/force2"} << none;
        QTest::newRow("/prompt:x") << QStringList{"/prompt:x"} << none;
        QTest::newRow("unknown option") << QStringList{"/xyz", "-erractions:7"} << none;
        QTest::newRow("early keywords ignored") << QStringList{"/lang:de", "/portable"} << none;

        // logmode: only a value that reads as zero switches the log off.
        QTest::newRow("/logmode:1") << QStringList{"/logmode:1"} << writeLog;
        QTest::newRow("/logmode:5") << QStringList{"/logmode:5"} << writeLog;
        QTest::newRow("/logmode:abc") << QStringList{"/logmode:abc"} << writeLog;
        QTest::newRow("/logmode: empty") << QStringList{"/logmode:"} << writeLog;
        QTest::newRow("/logmode:0 clears") << QStringList{"/logmode:1", "/logmode:0"} << none;
        QTest::newRow("/logmode:00") << QStringList{"/logmode:1", "/logmode:00"} << none;
        QTest::newRow("/logmode:-0") << QStringList{"/logmode:1", "/logmode:-0"} << none;
        QTest::newRow("blanks before, rest after a blank")
            << QStringList{"/logmode:1", "/logmode:  0 x"} << none;
        QTest::newRow("/logmode without colon") << QStringList{"/logmode"} << none;
        QTest::newRow("/logmode without colon keeps") << QStringList{"/logmode:1", "/logmode"} << writeLog;
        QTest::newRow("/l:0 is logmode") << QStringList{"/logmode:1", "/l:0"} << none;
        QTest::newRow("/l:de is logmode") << QStringList{"/l:de"} << writeLog;
        QTest::newRow("/: is logmode, empty value") << QStringList{"/:"} << writeLog;

        // end and suspend with their choice words.
        QTest::newRow("/end:shutdown") << QStringList{"/end:shutdown"} << down(dmShutdown);
        QTest::newRow("/end:Restart") << QStringList{"/end:Restart"} << down(dmRestart);
        QTest::newRow("/end:logoff") << QStringList{"/end:logoff"} << down(dmLogOff);
        QTest::newRow("/end:poweroff") << QStringList{"/end:poweroff"} << down(dmPowerOff);
        QTest::newRow("/end:p") << QStringList{"/end:p"} << down(dmPowerOff);
        QTest::newRow("/end:reboot") << QStringList{"/end:reboot"} << none;
        QTest::newRow("/end:reboot keeps earlier")
            << QStringList{"/end:restart", "/end:reboot"} << down(dmRestart);
        QTest::newRow("/end without colon") << QStringList{"/end"} << none;
        QTest::newRow("/end: empty is shutdown") << QStringList{"/end:"} << down(dmShutdown);
        const auto lockdown = Request([](TRunRequest &r) {
            r.LogOffMode = dmShutdown;
            r.FLockScreen = true;
        });
        QTest::newRow("/end:lockdown") << QStringList{"/end:lockdown"} << lockdown;
        QTest::newRow("/e:l") << QStringList{"/e:l"} << lockdown;
        QTest::newRow("/end:lo") << QStringList{"/end:lo"} << lockdown;
        QTest::newRow("/end:log") << QStringList{"/end:log"} << down(dmLogOff);
        QTest::newRow("later end wins") << QStringList{"/end:restart", "/end:logoff"} << down(dmLogOff);
        QTest::newRow("/suspend:standby") << QStringList{"/suspend:standby"} << suspend(smStandby);
        QTest::newRow("/suspend: empty is standby") << QStringList{"/suspend:"} << suspend(smStandby);
        QTest::newRow("/s:h") << QStringList{"/s:h"} << suspend(smHibernate);
        QTest::newRow("/suspend:sleep") << QStringList{"/suspend:sleep"} << none;
        QTest::newRow("end and suspend both")
            << QStringList{"/end:shutdown", "/suspend:standby"} << Request([](TRunRequest &r) {
                   r.LogOffMode = dmShutdown;
                   r.SuspendMode = smStandby;
               });

        // ini: the value as it stands, colons and case kept.
        QTest::newRow("/ini:D:\\Conf\\")
            << QStringList{"/ini:D:\\Conf\\"} << Request([](TRunRequest &r) { r.AIniPath = "D:\\Conf\\"; });
        QTest::newRow("/i:D:\\Conf") << QStringList{"/i:D:\\Conf"}
                                     << Request([](TRunRequest &r) { r.AIniPath = "D:\\Conf"; });
        QTest::newRow("/ini:other") << QStringList{"/INI:other"}
                                    << Request([](TRunRequest &r) { r.AIniPath = "other"; });
        QTest::newRow("/ini: empty") << QStringList{"/ini:x", "/ini:"} << none;
        QTest::newRow("/ini:path with blank")
            << QStringList{"/ini:/home/u/My Conf/"}
            << Request([](TRunRequest &r) { r.AIniPath = "/home/u/My Conf/"; });

        // Group names, anywhere between options.
        QTest::newRow("two names") << QStringList{"A", "B"} << Request([](TRunRequest &r) {
            r.LastTask = "A";
            r.ConfigList = "A,B";
        });
        QTest::newRow("name twice") << QStringList{"A", "A"} << Request([](TRunRequest &r) {
            r.LastTask = "A";
            r.ConfigList = "A,A";
        });
        QTest::newRow("options between names")
            << QStringList{"/f", "A", "/l", "B b"} << Request([](TRunRequest &r) {
                   r.Force = true;
                   r.FLockScreen = true;
                   r.LastTask = "A";
                   r.ConfigList = "A,B b";
               });
        QTest::newRow("colon alone is a name") << QStringList{":"} << Request([](TRunRequest &r) {
            r.LastTask = ":";
            r.ConfigList = ":";
        });
        QTest::newRow("name with comma") << QStringList{"a,b"} << Request([](TRunRequest &r) {
            r.LastTask = "a,b";
            r.ConfigList = "a,b";
        });
        QTest::newRow("empty name first") << QStringList{"", "B"} << Request([](TRunRequest &r) {
            r.LastTask = "B";
            r.ConfigList = "B";
        });
        QTest::newRow("interactive with end action")
            << QStringList{"Daily", "/end:shutdown"} << Request([](TRunRequest &r) {
                   r.LogOffMode = dmShutdown;
                   r.LastTask = "Daily";
                   r.ConfigList = "Daily";
               });
        QTest::newRow("typical unattended")
            << QStringList{"Daily", "Weekly", "/force", "/logmode:1", "/end:shutdown", "/term"}
            << Request([](TRunRequest &r) {
                   r.Force = true;
                   r.WriteLog = true;
                   r.LogOffMode = dmShutdown;
                   r.TermProgs = true;
                   r.LastTask = "Daily";
                   r.ConfigList = "Daily,Weekly";
               });
    }

    void mainScan()
    {
        QFETCH(QStringList, args);
        QFETCH(TRunRequest, expected);
        QCOMPARE(Describe(ParseCommandLine(args)), Describe(expected));
    }

    void configListSplitsAtEveryComma_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("names");

        QTest::newRow("empty: one empty name") << "" << QStringList{""};
        QTest::newRow("one") << "Daily" << QStringList{"Daily"};
        QTest::newRow("two with blank") << "Daily,My Group" << QStringList{"Daily", "My Group"};
        QTest::newRow("empty inside") << "A,,B" << QStringList{"A", "", "B"};
        QTest::newRow("empty at the end") << "A," << QStringList{"A", ""};
    }

    void configListSplitsAtEveryComma()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, names);
        QCOMPARE(SplitConfigList(list), names);
    }

    void earlyScan_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<TEarlyOptions>("expected");

        QTest::newRow("nothing") << QStringList{"Daily", "/force", "/l"} << TEarlyOptions();
        QTest::newRow("/p") << QStringList{"/p"} << Early([](TEarlyOptions &o) { o.Portable = true; });
        QTest::newRow("slash alone") << QStringList{"/"}
                                     << Early([](TEarlyOptions &o) { o.Portable = true; });
        QTest::newRow("-PORTABLE") << QStringList{"-PORTABLE"}
                                   << Early([](TEarlyOptions &o) { o.Portable = true; });
        QTest::newRow("/portables") << QStringList{"/portables"} << TEarlyOptions();
        QTest::newRow("/l:de") << QStringList{"/l:de"} << Early([](TEarlyOptions &o) {
            o.LangGiven = true;
            o.LanguageCode = "de";
        });
        QTest::newRow("deu gives de") << QStringList{"/lang:deu"} << Early([](TEarlyOptions &o) {
            o.LangGiven = true;
            o.LanguageCode = "de";
        });
        QTest::newRow("lang empty") << QStringList{"/lang:"}
                                    << Early([](TEarlyOptions &o) { o.LangGiven = true; });
        QTest::newRow("/: is lang, empty")
            << QStringList{"/:"} << Early([](TEarlyOptions &o) { o.LangGiven = true; });
        QTest::newRow("lang without colon") << QStringList{"/lang"} << TEarlyOptions();
        QTest::newRow("/i:x") << QStringList{"/i:%HOME%\\x"} << Early([](TEarlyOptions &o) {
            o.IniGiven = true;
            o.IniValue = "%HOME%\\x";
        });
        QTest::newRow("ini then portable")
            << QStringList{"/ini:a", "/portable"} << Early([](TEarlyOptions &o) {
                   o.IniGiven = true;
                   o.IniValue = "a";
                   o.Portable = true;
               });
        QTest::newRow("portable then ini")
            << QStringList{"/portable", "/ini:a"} << Early([](TEarlyOptions &o) {
                   o.IniGiven = true;
                   o.IniValue = "a";
                   o.Portable = true;
                   o.IniAfterPortable = true;
               });
        QTest::newRow("ini, portable, ini")
            << QStringList{"/ini:a", "/p", "/ini:b"} << Early([](TEarlyOptions &o) {
                   o.IniGiven = true;
                   o.IniValue = "b";
                   o.Portable = true;
                   o.IniAfterPortable = true;
               });
        QTest::newRow("portable, ini, portable")
            << QStringList{"/p", "/ini:a", "/p"} << Early([](TEarlyOptions &o) {
                   o.IniGiven = true;
                   o.IniValue = "a";
                   o.Portable = true;
               });
    }

    void earlyScan()
    {
        QFETCH(QStringList, args);
        QFETCH(TEarlyOptions, expected);
        QCOMPARE(Describe(ScanEarlyOptions(args)), Describe(expected));
    }

    // The options taken one by one: "ini" remembers its expanded value, "portable" puts
    // the program folder in when nothing is remembered.
    void rememberedIniValue_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("value");

        QTest::newRow("nothing") << QStringList{"/lang:de"} << "";
        QTest::newRow("ini only") << QStringList{"/ini:%CONF%x"} << "/c/x";
        QTest::newRow("portable only") << QStringList{"/portable"} << "/prog/";
        QTest::newRow("ini then portable") << QStringList{"/ini:a", "/portable"} << "a";
        QTest::newRow("portable then ini") << QStringList{"/portable", "/ini:a"} << "a";
        QTest::newRow("empty ini then portable") << QStringList{"/ini:%UNSET%", "/portable"} << "/prog/";
        QTest::newRow("portable then empty ini") << QStringList{"/portable", "/ini:%UNSET%"} << "";
        QTest::newRow("portable, ini, portable") << QStringList{"/p", "/ini:a", "/p"} << "a";
    }

    void rememberedIniValue()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, value);
        const auto expand = [](const QString &text) {
            return QString(text).replace("%CONF%", "/c/").replace("%UNSET%", "");
        };
        QCOMPARE(ScanEarlyOptions(args).RememberedIniValue("/prog/", expand), value);
    }

    void writer_data()
    {
        QTest::addColumn<TStarterCommand>("command");
        QTest::addColumn<QString>("text");

        QTest::newRow("design example") << Command({"Daily", "Weekly"}, [](TStarterCommand &c) {
            c.WriteLog = true;
            c.EndAction = eaShutdown;
            c.TermProgs = true;
        }) << "Daily Weekly /force /logmode:1 /end:shutdown /term";
        QTest::newRow("nothing chosen") << Command({"Daily"}) << "Daily /force";
        QTest::newRow("name with blank") << Command({"My Group", "B"}) << "\"My Group\" B /force";
        QTest::newRow("name with tab") << Command({"a\tb"}) << "\"a\tb\" /force";
        QTest::newRow("name with quote") << Command({"say \"hi\""}) << "\"say \"\"hi\"\"\" /force";
        QTest::newRow("name with quote, no blank") << Command({"a\"b"}) << "\"a\"\"b\" /force";
        QTest::newRow("name with comma") << Command({"a,b"}) << "a,b /force";
        QTest::newRow("every option in order") << Command({"A"}, [](TStarterCommand &c) {
            c.IniPath = "/home/u/conf/";
            c.WriteLog = true;
            c.LockScreen = true;
            c.EndAction = eaRestart;
            c.TermProgs = true;
            c.ErrActions = 3;
        }) << "A /force /ini:/home/u/conf/ /logmode:1 /lockscreen /end:restart /term /erractions:3";
        QTest::newRow("ini with blank")
            << Command({"A"}, [](TStarterCommand &c) { c.IniPath = "/home/u/my conf/"; })
            << "A /force \"/ini:/home/u/my conf/\"";
        QTest::newRow("prompt, no term") << Command({"A"}, [](TStarterCommand &c) {
            c.EndAction = eaPrompt;
            c.TermProgs = true;
        }) << "A /force /prompt";
        QTest::newRow("standby, no term") << Command({"A"}, [](TStarterCommand &c) {
            c.EndAction = eaStandby;
            c.TermProgs = true;
        }) << "A /force /suspend:standby";
        QTest::newRow("hibernate") << Command({"A"}, [](TStarterCommand &c) { c.EndAction = eaHibernate; })
                                   << "A /force /suspend:hibernate";
        QTest::newRow("logoff with term") << Command({"A"}, [](TStarterCommand &c) {
            c.EndAction = eaLogOff;
            c.TermProgs = true;
        }) << "A /force /end:logoff /term";
        QTest::newRow("none, no term")
            << Command({"A"}, [](TStarterCommand &c) { c.TermProgs = true; }) << "A /force";
        QTest::newRow("erractions 0 dropped")
            << Command({"A"}, [](TStarterCommand &c) { c.ErrActions = 0; }) << "A /force";
        QTest::newRow("erractions negative dropped")
            << Command({"A"}, [](TStarterCommand &c) { c.ErrActions = -2; }) << "A /force";
    }

    void writer()
    {
        QFETCH(TStarterCommand, command);
        QFETCH(QString, text);
        const TCommandLineText result = BuildStarterCommandLine(command);
        QCOMPARE(result.Error, QString());
        QCOMPARE(result.Text, text);
    }

    // Names that would come back as options, or not at all.
    void writerRefuses_data()
    {
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QString>("named");

        QTest::newRow("no groups") << QStringList() << "";
        QTest::newRow("slash") << QStringList{"Daily", "/end:shutdown"} << "/end:shutdown";
        QTest::newRow("dash") << QStringList{"-x"} << "-x";
        QTest::newRow("empty name") << QStringList{"A", ""} << "";
    }

    void writerRefuses()
    {
        QFETCH(QStringList, groups);
        QFETCH(QString, named);
        const TCommandLineText result = BuildStarterCommandLine(Command(groups));
        QVERIFY(!result.Error.isEmpty());
        QVERIFY(result.Error.contains(named));
        QCOMPARE(result.Text, QString());
    }

    void initialOptionText_data()
    {
        QTest::addColumn<QString>("iniPath");
        QTest::addColumn<QString>("text");

        QTest::newRow("no ini") << ""
                                << " /logmode:1";
        QTest::newRow("ini") << "/home/u/conf/"
                             << " /ini:/home/u/conf/ /logmode:1";
        QTest::newRow("ini with blank") << "/home/u/my conf/"
                                        << " \"/ini:/home/u/my conf/\" /logmode:1";
    }

    void initialOptionText()
    {
        QFETCH(QString, iniPath);
        QFETCH(QString, text);
        QCOMPARE(InitialOptionText(iniPath), text);
        // The dialogs read it with the same rules as the program.
        const TRunRequest read = ParseCommandLine(SplitCommandLine(text));
        QCOMPARE(read.AIniPath, iniPath);
        QVERIFY(read.WriteLog);
    }

    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("args");

        QTest::newRow("empty") << "" << QStringList();
        QTest::newRow("blanks only") << " \t " << QStringList();
        QTest::newRow("plain") << "Daily Weekly /force" << QStringList{"Daily", "Weekly", "/force"};
        QTest::newRow("runs of blanks, tabs, trailing") << "  a \t b   " << QStringList{"a", "b"};
        QTest::newRow("quoted") << "\"My Group\" /f" << QStringList{"My Group", "/f"};
        QTest::newRow("doubled quote inside") << "\"say \"\"hi\"\"\"" << QStringList{"say \"hi\""};
        QTest::newRow("quote alone") << "\"\"\"\"" << QStringList{"\""};
        QTest::newRow("empty quoted argument") << "a \"\" b" << QStringList{"a", "", "b"};
        QTest::newRow("quotes within a token") << "/ini:\"/a b\"/c d" << QStringList{"/ini:/a b/c", "d"};
        QTest::newRow("pair outside quotes is empty") << "a\"\"b" << QStringList{"ab"};
        QTest::newRow("unbalanced quote runs to end") << "a \"b c " << QStringList{"a", "b c "};
        QTest::newRow("backslashes plain") << "C:\\x\\ \"D:\\y z\\\"" << QStringList{"C:\\x\\", "D:\\y z\\"};
    }

    void split()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, args);
        QCOMPARE(SplitCommandLine(text), args);
    }

    // What the program writes, it must read back as the same request.
    void roundTrip_data()
    {
        QTest::addColumn<TStarterCommand>("command");

        QTest::newRow("plain") << Command({"Daily", "Weekly"}, [](TStarterCommand &c) {
            c.WriteLog = true;
            c.EndAction = eaShutdown;
            c.TermProgs = true;
        });
        QTest::newRow("blanks, quotes, commas")
            << Command({"My Group", "say \"hi\"", "a,b", " lead", "\""},
                       [](TStarterCommand &c) { c.EndAction = eaPrompt; });
        QTest::newRow("tabs, backslashes, unicode")
            << Command({"a\tb", "C:\\x\\", "Sicherung Größe", "trail\\"}, [](TStarterCommand &c) {
                   c.EndAction = eaHibernate;
                   c.TermProgs = true;
               });
        QTest::newRow("ini with blank and quote") << Command({"A"}, [](TStarterCommand &c) {
            c.IniPath = "/home/u/my \"conf\"/";
            c.LockScreen = true;
            c.EndAction = eaRestart;
            c.TermProgs = true;
            c.ErrActions = 9;
        });
        QTest::newRow("standby") << Command({"A"}, [](TStarterCommand &c) { c.EndAction = eaStandby; });
        QTest::newRow("logoff") << Command({"A"}, [](TStarterCommand &c) { c.EndAction = eaLogOff; });
    }

    void roundTrip()
    {
        QFETCH(TStarterCommand, command);
        const TCommandLineText written = BuildStarterCommandLine(command);
        QCOMPARE(written.Error, QString());
        const TRunRequest read = ParseCommandLine(SplitCommandLine(written.Text));
        QCOMPARE(Describe(read), Describe(ExpectedRequest(command)));
    }

    void badInputDoesNotCrash()
    {
        QStringList many;
        for (int i = 0; i < 10000; ++i)
            many += i % 2 ? QStringLiteral("G%1").arg(i) : QStringLiteral("/end:%1").arg(i);
        const TRunRequest manyRead = ParseCommandLine(many);
        QCOMPARE(SplitConfigList(manyRead.ConfigList).size(), 5000);
        QCOMPARE(manyRead.LastTask, QStringLiteral("G1"));
        QVERIFY(!ScanEarlyOptions(many).Portable);

        const QString huge(100000, u'f');
        const QStringList hugeArgs{u'/' + huge, QStringLiteral("/ini:") + huge, huge, u'-' + huge + u':'};
        const TRunRequest hugeRead = ParseCommandLine(hugeArgs);
        QVERIFY(!hugeRead.Force);
        QCOMPARE(hugeRead.AIniPath, huge);
        QCOMPARE(hugeRead.ConfigList, huge);
        QCOMPARE(ScanEarlyOptions(hugeArgs).IniValue, huge);

        const QString hugeQuoted = QStringLiteral("\"") + QString(100000, u'"') + huge;
        QCOMPARE(SplitCommandLine(hugeQuoted).size(), 1);
        QCOMPARE(SplitCommandLine(QString(100000, u' ')), QStringList());

        QCOMPARE(Describe(ParseCommandLine({"/:", ":"})), Describe(Request([](TRunRequest &r) {
                     r.WriteLog = true;
                     r.LastTask = ":";
                     r.ConfigList = ":";
                 })));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
