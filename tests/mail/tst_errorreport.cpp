#include "mail/ErrorReport.h"

#include "config/ProgramEnv.h"
#include "config/StarterConfig.h"
#include "mail/PasswordCrypt.h"
#include "support/SmtpServer.h"
#include "support/TaskFiles.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

using namespace TestSupport;

namespace {

const QString kUser = QStringLiteral("backup");
const QByteArray kPassword = "s3cret-Pä55";
const QString kVersionName = QStringLiteral("akstarter (Version 6.1.2)");

// The run log of a run with a failed task; one line starts with a dot, which SMTP has to
// carry through unchanged.
const QStringList kLogList = {
    QStringLiteral("akstarter - 64-bit (Version 6.1.2.0)"),
    QStringLiteral("  ==> Start: 11.12.2025 02:00:00"),
    QStringLiteral("  ->  Backup group: Dokumente - User name: jörg"),
    QStringLiteral("      Backup task: /home/jörg/Dokumente.buj"),
    QStringLiteral("  *** Error reported by Arkivo: Destination not found"),
    QStringLiteral(".hidden line"),
    QStringLiteral("  ==> End: 11.12.2025 02:00:05"),
};

// The body lines as a mail program shows them.
QStringList BodyLines(const TReceivedMail &AMail)
{
    const QList<QJsonObject> parts = AMail.Parts();
    if (parts.size() != 1)
        return {QStringLiteral("%1 parts").arg(parts.size())};
    QString text = QString::fromUtf8(TReceivedMail::Payload(parts.first()));
    if (text.endsWith(QLatin1String("\r\n")))
        text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}

} // namespace

// The report as a real SMTP server on loopback receives it.
class TestErrorReport final : public QObject
{
    Q_OBJECT

    TSmtpServer FServer;
    QTemporaryDir FIniDir;
    QTemporaryDir FProgramDir;

    // Settings for the running server with a login.
    TMailData MailData() const
    {
        TMailData mail = TMailData::DefaultValues();
        mail.SMTP = QStringLiteral("127.0.0.1");
        mail.Port = FServer.Port();
        mail.Username = kUser;
        mail.Password = kPassword;
        mail.Sender = QStringLiteral("starter@example.org");
        mail.Recipients = QStringLiteral("admin@example.org");
        mail.Subject = QStringLiteral("Backup failed");
        mail.Enabled = true;
        return mail;
    }

    QString LogFile() const { return FIniDir.filePath(QStringLiteral("AkSmtp.log")); }

    bool SingleMessage(TReceivedMail &AMail)
    {
        const QList<TReceivedMail> messages = FServer.Messages();
        if (messages.size() != 1) {
            qWarning().noquote() << messages.size() << "messages;" << FServer.Log();
            return false;
        }
        AMail = messages.first();
        return true;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(setlocale(LC_CTYPE, "C.UTF-8"));
        QLocale::setDefault(QLocale::c());
        QVERIFY(FIniDir.isValid());
        QVERIFY(FProgramDir.isValid());
        TProgramEnv env;
        env.ProgramDir = FProgramDir.path() + u'/';
        env.IniDir = FIniDir.path() + u'/';
        env.ProgVersName = kVersionName;
        SetProgramEnv(env);
    }

    void init()
    {
        // A server of its own for each test, so a test sees only its own messages.
        TSmtpServerOptions options;
        options.Mechanisms = QStringList{QStringLiteral("PLAIN"), QStringLiteral("LOGIN")};
        options.User = kUser;
        options.Password = PasswordFromBytes(kPassword);
        options.AuthRequired = true;
        QVERIFY2(FServer.Start(options), qPrintable(FServer.Error()));
        QFile::remove(LogFile());
    }

    void cleanupTestCase() { FServer.Stop(); }

    void report_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("replyTo");
        QTest::addColumn<QString>("recipients");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<int>("errCount");
        QTest::addColumn<QString>("mailFrom");
        QTest::addColumn<QStringList>("rcptTos");
        QTest::addColumn<QString>("fromHeader");
        QTest::addColumn<QString>("replyToHeader"); // null: no such header
        QTest::addColumn<QString>("subjectHeader");
        QTest::addColumn<QString>("firstLine");

        const QString starter = QStringLiteral("starter@example.org");
        const QString ops = QStringLiteral("ops@example.org");
        const QStringList admin = {QStringLiteral("admin@example.org")};
        QTest::newRow("one error") << starter << ""
                                   << "admin@example.org"
                                   << "Backup failed" << 1 << starter << admin
                                   << "AkStarter <starter@example.org>" << QString() << "Backup failed"
                                   << "AkStarter error report - 1 error:";
        QTest::newRow("12,345 errors") << starter << ""
                                       << "admin@example.org"
                                       << "Backup failed" << 12345 << starter << admin
                                       << "AkStarter <starter@example.org>" << QString() << "Backup failed"
                                       << "AkStarter error report - 12,345 errors:";
        QTest::newRow("sender as display name") << "Backup Box" << ops << "admin@example.org"
                                                << "Backup failed" << 2 << ops << admin
                                                << "Backup Box <ops@example.org>" << ops << "Backup failed"
                                                << "AkStarter error report - 2 errors:";
        QTest::newRow("reply address set") << starter << ops << "admin@example.org"
                                           << "Backup failed" << 1 << starter << admin
                                           << "AkStarter <starter@example.org>" << ops << "Backup failed"
                                           << "AkStarter error report - 1 error:";
        QTest::newRow("several recipients with empty items")
            << starter << ""
            << " a@example.org, ,b@example.org,,"
            << "Backup failed" << 1 << starter
            << QStringList{QStringLiteral("a@example.org"), QStringLiteral("b@example.org")}
            << "AkStarter <starter@example.org>" << QString() << "Backup failed"
            << "AkStarter error report - 1 error:";
        QTest::newRow("empty subject") << starter << ""
                                       << "admin@example.org"
                                       << "" << 1 << starter << admin << "AkStarter <starter@example.org>"
                                       << QString() << "AkStarter error report"
                                       << "AkStarter error report - 1 error:";
        QTest::newRow("sender with a display name of its own")
            << "Backup Box <box@example.org>"
            << ""
            << "admin@example.org"
            << "Backup failed" << 1 << "box@example.org" << admin << "AkStarter <box@example.org>"
            << QString() << "Backup failed"
            << "AkStarter error report - 1 error:";
        // Line breaks in the settings never start header lines or commands of their own.
        QTest::newRow("line breaks in subject and names")
            << "Box\r\nX-Injected: yes"
            << "ops@example.org"
            << "admin@example.org"
            << "Failed\r\nBcc: spy@example.org" << 1 << "ops@example.org" << admin
            << "\"Box  X-Injected: yes\" <ops@example.org>"
            << "ops@example.org"
            << "Failed  Bcc: spy@example.org"
            << "AkStarter error report - 1 error:";
    }

    void report()
    {
        QFETCH(QString, sender);
        QFETCH(QString, replyTo);
        QFETCH(QString, recipients);
        QFETCH(QString, subject);
        QFETCH(int, errCount);
        QFETCH(QString, mailFrom);
        QFETCH(QStringList, rcptTos);
        QFETCH(QString, fromHeader);
        QFETCH(QString, replyToHeader);
        QFETCH(QString, subjectHeader);
        QFETCH(QString, firstLine);

        TMailData mail = MailData();
        mail.Sender = sender;
        mail.ReplyTo = replyTo;
        mail.Recipients = recipients;
        mail.Subject = subject;
        QVERIFY(SendErrorReport(mail, kLogList, errCount));

        TReceivedMail received;
        QVERIFY(SingleMessage(received));
        QCOMPARE(received.MailFrom(), mailFrom);
        QCOMPARE(received.RcptTos(), rcptTos);
        QCOMPARE(received.Record.value(QStringLiteral("helo")).toString(), "Arkivo");
        QCOMPARE(received.Record.value(QStringLiteral("login")).toString(), kUser);
        QCOMPARE(received.Header(QStringLiteral("From")), fromHeader);
        QCOMPARE(received.Header(QStringLiteral("Sender")), mailFrom);
        QCOMPARE(received.Header(QStringLiteral("Reply-To")), replyToHeader);
        QCOMPARE(received.Header(QStringLiteral("Subject")), subjectHeader);
        QCOMPARE(received.Header(QStringLiteral("User-Agent")), kVersionName);
        QCOMPARE(received.Header(QStringLiteral("To")).split(QStringLiteral(", ")), rcptTos);
        QVERIFY(received.Header(QStringLiteral("Bcc")).isNull());
        QVERIFY(received.Header(QStringLiteral("X-Injected")).isNull());
        QCOMPARE(received.Parts().first().value(QStringLiteral("content_type")).toString(), "text/plain");
        QCOMPARE(received.Parts().first().value(QStringLiteral("charset")).toString(), "utf-8");
        QCOMPARE(BodyLines(received), QStringList({firstLine, QString()}) + kLogList);
        // The protocol log is off unless the settings ask for it.
        QVERIFY(!QFile::exists(LogFile()));
    }

    // The protocol log goes to the settings folder and never shows the login.
    void protocolLog()
    {
        TMailData mail = MailData();
        mail.WriteLog = true;
        QVERIFY(SendErrorReport(mail, kLogList, 1));

        const QByteArray log = ReadAll(LogFile());
        QVERIFY2(log.contains("EHLO Arkivo"), log.constData());
        QVERIFY2(log.contains("***"), log.constData());
        const QByteArray plain = '\0' + kUser.toUtf8() + '\0' + kPassword;
        for (const QByteArray &secret : {kPassword, kPassword.toBase64(), plain.toBase64()})
            QVERIFY2(!log.contains(secret), log.constData());
    }

    void failedSend_data()
    {
        QTest::addColumn<bool>("serverDown");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("logged");

        QTest::newRow("server down") << true << kPassword << QByteArray("refused");
        QTest::newRow("wrong password") << false << QByteArray("wrong") << QByteArray("535");
    }

    // A report that does not go out is silent; the protocol log tells why.
    void failedSend()
    {
        QFETCH(bool, serverDown);
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, logged);

        TMailData mail = MailData();
        mail.Password = password;
        mail.WriteLog = true;
        if (serverDown)
            FServer.Stop();
        QVERIFY(!SendErrorReport(mail, kLogList, 1));
        QVERIFY(FServer.Messages().isEmpty());
        const QByteArray log = ReadAll(LogFile());
        QVERIFY2(log.contains(logged), log.constData());
    }

    // The report's mailer finds the TLS files that ship in the program's folder and opens
    // the client key with the program's pass phrase.
    void tlsFilesFromProgramFolder()
    {
        TTestCertificates certs;
        QVERIFY2(certs.Create(), qPrintable(certs.Error()));
        const QString programDir = ProgramEnv().ProgramDir;
        QVERIFY(QFile::copy(certs.CaFile(), programDir + QStringLiteral("arkivoroot.pem")));
        QVERIFY(QFile::copy(certs.ClientCert(), programDir + QStringLiteral("arkivo.crt")));
        const QString error = RunSystemTool(
            QStringLiteral("openssl"),
            {QStringLiteral("pkey"), QStringLiteral("-in"), certs.ClientKey(), QStringLiteral("-passin"),
             QStringLiteral("pass:") + QLatin1String(TTestCertificates::ClientKeyPassPhrase),
             QStringLiteral("-aes256"), QStringLiteral("-passout"),
             QStringLiteral("pass:") + QLatin1String(ReportKeyPassPhrase), QStringLiteral("-out"),
             programDir + QStringLiteral("arkivo.key")});
        QVERIFY2(error.isEmpty(), qPrintable(error));

        TSmtpServerOptions options = TSmtpServerOptions::Secure(TSmtpServerOptions::ssRequireStartTls, certs);
        options.RequireClientCert = true;
        QVERIFY2(FServer.Start(options), qPrintable(FServer.Error()));
        TMailData mail = MailData();
        mail.Port = FServer.Port();
        mail.Username.clear();
        mail.SecureMode = stRequired;
        mail.WriteLog = true;
        QVERIFY2(SendErrorReport(mail, kLogList, 1), ReadAll(LogFile()).constData());

        TReceivedMail received;
        QVERIFY(SingleMessage(received));
        QCOMPARE(received.Record.value(QStringLiteral("client_cert")).toString(),
                 TTestCertificates::ClientCommonName);
    }

    void unattendedRun_data()
    {
        QTest::addColumn<bool>("serverDown");

        QTest::newRow("report sent") << false;
        QTest::newRow("server down") << true;
    }

    // The whole program, unattended and without a display: the group's backup fails, so
    // the run mails its log. Whether the mail goes out or not, the run ends the same way.
    void unattendedRun()
    {
#ifndef AK_STARTER_PATH
        QSKIP("the program is built only with its window");
#else
        QFETCH(bool, serverDown);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString configDir = dir.filePath(QStringLiteral("config"));
        QVERIFY(QDir().mkpath(configDir));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("Documents"))));
        // The destination's parent folder is missing: the backup program ends with code 2.
        TTaskFile task;
        task.Destination = dir.filePath(QStringLiteral("missing/Backup"));
        task.Sources = {dir.filePath(QStringLiteral("Documents"))};
        task.LogName = dir.filePath(QStringLiteral("Documents.log"));
        const QString taskFile = dir.filePath(QStringLiteral("Documents.buj"));
        QVERIFY(WriteTaskFile(taskFile, task));

        TStarterConfig config;
        TTaskProperties &group = *config.Groups[size_t(config.AddGroup(QStringLiteral("Demo")))];
        group.PwdPrompt = false;
        group.Pwd = QStringLiteral("unused");
        group.Status = 0;
        group.AddTask(taskFile, true);
        config.MailData = MailData();
        const TConfigResult saved = config.Save(configDir + QStringLiteral("/akstarter.ini"),
                                                QStringLiteral("AkStarter"), QStringLiteral("6.0"));
        QVERIFY2(saved.Ok, qPrintable(saved.Message));
        if (serverDown)
            FServer.Stop();

        QProcess starter;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("HOME"), dir.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("xdg")));
        environment.insert(QStringLiteral("PATH"), QFileInfo(QStringLiteral(AK_ARKIVO_PATH)).path() + u':' +
                                                       environment.value(QStringLiteral("PATH")));
        starter.setProcessEnvironment(environment);
        starter.setWorkingDirectory(dir.path());
        starter.start(QStringLiteral(AK_STARTER_PATH),
                      {QStringLiteral("Demo"), QStringLiteral("/force"), QStringLiteral("/logmode:1"),
                       QStringLiteral("/ini:") + configDir + u'/'});
        const auto stop = qScopeGuard([&starter] {
            if (starter.state() != QProcess::NotRunning) {
                starter.kill();
                starter.waitForFinished();
            }
        });
        QVERIFY2(starter.waitForFinished(60000), qPrintable(starter.errorString()));
        const QByteArray output = starter.readAllStandardError() + starter.readAllStandardOutput();
        QCOMPARE(starter.exitStatus(), QProcess::NormalExit);
        QVERIFY2(starter.exitCode() == 1, output.constData());

        // The run's own log file: the lines of this run and an empty line.
        QStringList logLines = QString::fromUtf8(ReadAll(configDir + QStringLiteral("/akstarter.log")))
                                   .split(QStringLiteral("\r\n"));
        QCOMPARE(logLines.mid(logLines.size() - 2), QStringList({QString(), QString()}));
        logLines.resize(logLines.size() - 2);
        QVERIFY2(logLines.filter(QStringLiteral("  *** ")).size() == 1, qPrintable(logLines.join(u'\n')));
        if (serverDown) {
            QVERIFY(FServer.Messages().isEmpty());
            return;
        }
        TReceivedMail received;
        QVERIFY(SingleMessage(received));
        QCOMPARE(received.RcptTos(), QStringList{"admin@example.org"});
        QCOMPARE(received.Header(QStringLiteral("Subject")), "Backup failed");
        QCOMPARE(BodyLines(received),
                 QStringList({QStringLiteral("AkStarter error report - 1 error:"), QString()}) + logLines);
#endif
    }
};

QTEST_GUILESS_MAIN(TestErrorReport)
#include "tst_errorreport.moc"
