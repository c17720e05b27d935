#include "mail/SmtpMailer.h"

#include "support/SmtpServer.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstring>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

const QString kHost = QStringLiteral("127.0.0.1");
const QString kUser = QStringLiteral("backup");
const QString kPassword = QStringLiteral("s3cret-Pa55");
// Short time-outs: a test of a silent server must not take the product's 30 s.
constexpr int kTestTimeoutMs = 1000;
// Attachment content with NUL bytes, 8-bit bytes and lines that need dot-stuffing.
constexpr char kBinary[] = "\x00\x01\xff.\r\n.\r\nbinary";

QString ErrorText(const TSmtpMailer &AMailer)
{
    QStringList items;
    for (const TSendError &error : AMailer.ErrorList())
        items.append(QString::number(error.ErrType) + QStringLiteral(": ") + error.ErrMsg);
    return items.join(u'\n');
}

// "content_type charset transfer_encoding filename", "-" for what a part has not.
QString DescribePart(const QJsonObject &APart)
{
    QStringList fields;
    for (const char *key : {"content_type", "charset", "transfer_encoding", "filename"}) {
        const QJsonValue value = APart.value(QLatin1String(key));
        fields.append(value.isNull() || value.isUndefined() ? QStringLiteral("-") : value.toString());
    }
    return fields.join(u' ');
}

QStringList DescribeParts(const TReceivedMail &AMail)
{
    QStringList result;
    for (const QJsonObject &part : AMail.Parts())
        result.append(DescribePart(part));
    return result;
}

QStringList Attempts(const QList<QJsonObject> &AEvents)
{
    QStringList result;
    for (const QJsonObject &event : AEvents)
        result.append(
            event.value(QStringLiteral("mechanism")).toString() +
            (event.value(QStringLiteral("ok")).toBool() ? QStringLiteral(":ok") : QStringLiteral(":fail")));
    return result;
}

QByteArray CrLfText(const QStringList &ALines)
{
    return ALines.isEmpty() ? QByteArray() : ALines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

} // namespace

// The mailer against a real SMTP server on loopback (aiosmtpd, with real TLS); the server
// parses what it receives with Python's email package, so the checks read the message as
// a mail program would.
class TestSmtpMailer final : public QObject
{
    Q_OBJECT

    TTestCertificates FCerts;
    TSmtpServer FServer;
    QTemporaryDir FFiles;

    // A mailer for the running server with a small valid message. With AClientCert it
    // presents the test client certificate, its key opened with APassPhrase.
    std::unique_ptr<TSmtpMailer>
    NewMailer(TSecTransfer AMode = stNone, bool AClientCert = false,
              const QByteArray &APassPhrase = TTestCertificates::ClientKeyPassPhrase)
    {
        auto mailer = std::make_unique<TSmtpMailer>(nullptr, FCerts.Dir(), QStringLiteral("ca.pem"),
                                                    AClientCert ? QStringLiteral("client.pem") : QString(),
                                                    AClientCert ? QStringLiteral("client.key") : QString(),
                                                    APassPhrase);
        mailer->SetHost(kHost);
        mailer->SetPort(FServer.Port());
        mailer->SetSecureTransfer(AMode);
        mailer->SetFrom({QStringLiteral("AkStarter"), QStringLiteral("starter@example.org")});
        mailer->SetRecipients(QStringLiteral("admin@example.org"));
        mailer->SetSubject(QStringLiteral("Backup report"));
        mailer->SetContentType(ctUtf8);
        mailer->AddToBody(QStringLiteral("All backups done."));
        mailer->SetConnectTimeout(5000);
        mailer->SetReadTimeout(5000);
        return mailer;
    }

    QString MakeFile(const QString &AName, const QByteArray &AContent)
    {
        const QString fileName = FFiles.filePath(AName);
        return WriteAll(fileName, AContent) ? fileName : QString();
    }

    // The one message the server took; fails the test when there is not exactly one.
    bool SingleMessage(TReceivedMail &AMail)
    {
        const QList<TReceivedMail> messages = FServer.Messages();
        if (messages.size() != 1)
            return false;
        AMail = messages.first();
        return true;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(FCerts.Create(), qPrintable(FCerts.Error()));
        QVERIFY(FFiles.isValid());
        QVERIFY(QSslSocket::supportsSsl());
    }

    void cleanup() { FServer.Stop(); }

    // ---- Security modes ---------------------------------------------------------------

    void securityModes_data()
    {
        QTest::addColumn<int>("server");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("encrypted");

        QTest::newRow("no TLS") << int(TSmtpServerOptions::ssPlain) << int(stNone) << false;
        QTest::newRow("explicit without STARTTLS stays plain")
            << int(TSmtpServerOptions::ssPlain) << int(stExplicit) << false;
        QTest::newRow("explicit") << int(TSmtpServerOptions::ssStartTls) << int(stExplicit) << true;
        QTest::newRow("required") << int(TSmtpServerOptions::ssStartTls) << int(stRequired) << true;
        QTest::newRow("required by both")
            << int(TSmtpServerOptions::ssRequireStartTls) << int(stRequired) << true;
        QTest::newRow("implicit") << int(TSmtpServerOptions::ssImplicit) << int(stImplicit) << true;
        QTest::newRow("none ignores STARTTLS") << int(TSmtpServerOptions::ssStartTls) << int(stNone) << false;
        QTest::newRow("unknown mode is none") << int(TSmtpServerOptions::ssStartTls) << 7 << false;
    }

    void securityModes()
    {
        QFETCH(int, server);
        QFETCH(int, mode);
        QFETCH(bool, encrypted);

        QVERIFY2(FServer.Start(TSmtpServerOptions::Secure(TSmtpServerOptions::TSecurity(server), FCerts)),
                 qPrintable(FServer.Error()));
        auto mailer = NewMailer(TSecTransfer(mode));
        QVERIFY2(mailer->Send(), qPrintable(ErrorText(*mailer) + FServer.Log()));
        QVERIFY(mailer->ErrorList().isEmpty());

        TReceivedMail mail;
        QVERIFY(SingleMessage(mail));
        const QString tls = mail.Record.value(QStringLiteral("tls")).toString();
        if (encrypted)
            QVERIFY2(tls == QLatin1String("TLSv1.2") || tls == QLatin1String("TLSv1.3"), qPrintable(tls));
        else
            QVERIFY2(tls.isEmpty(), qPrintable(tls));
        QCOMPARE(mail.MailFrom(), QStringLiteral("starter@example.org"));
        QCOMPARE(mail.RcptTos(), QStringList{QStringLiteral("admin@example.org")});
        QCOMPARE(TReceivedMail::Payload(mail.Parts().value(0)), QByteArray("All backups done.\r\n"));
    }

    void securityFailures_data()
    {
        QTest::addColumn<int>("server");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("rootFile");
        QTest::addColumn<QString>("errorPattern");

        QTest::newRow("required without STARTTLS")
            << int(TSmtpServerOptions::ssPlain) << int(stRequired) << true << "STARTTLS";
        QTest::newRow("server requires STARTTLS")
            << int(TSmtpServerOptions::ssRequireStartTls) << int(stNone) << true << "^530 ";
        // Without the root certificate file only the system's roots count, and they do
        // not know the test CA.
        QTest::newRow("unknown issuer, explicit")
            << int(TSmtpServerOptions::ssStartTls) << int(stExplicit) << false << "TLS handshake";
        QTest::newRow("unknown issuer, implicit")
            << int(TSmtpServerOptions::ssImplicit) << int(stImplicit) << false << "TLS handshake";
        QTest::newRow("implicit against a plain server")
            << int(TSmtpServerOptions::ssPlain) << int(stImplicit) << true << "TLS handshake";
    }

    void securityFailures()
    {
        QFETCH(int, server);
        QFETCH(int, mode);
        QFETCH(bool, rootFile);
        QFETCH(QString, errorPattern);

        QVERIFY2(FServer.Start(TSmtpServerOptions::Secure(TSmtpServerOptions::TSecurity(server), FCerts)),
                 qPrintable(FServer.Error()));
        auto mailer = NewMailer(TSecTransfer(mode));
        if (!rootFile) {
            mailer = std::make_unique<TSmtpMailer>(nullptr, FCerts.Dir(), QStringLiteral("missing-root.pem"),
                                                   QString(), QString(), QByteArray());
            mailer->SetHost(kHost);
            mailer->SetPort(FServer.Port());
            mailer->SetSecureTransfer(TSecTransfer(mode));
            mailer->SetFrom({QString(), QStringLiteral("starter@example.org")});
            mailer->SetRecipients(QStringLiteral("admin@example.org"));
        }
        QVERIFY(!mailer->Send());
        QCOMPARE(mailer->ErrorList().size(), 1);
        QCOMPARE(mailer->ErrorList().first().ErrType, seSmtp);
        QVERIFY2(mailer->ErrorList().first().ErrMsg.contains(QRegularExpression(errorPattern)),
                 qPrintable(ErrorText(*mailer)));
        QVERIFY(FServer.Messages().isEmpty());
    }

    // A server that demands a client certificate gets one only when the key opens.
    void clientCertificate_data()
    {
        QTest::addColumn<QByteArray>("passPhrase");
        QTest::addColumn<QByteArray>("fromEvent");
        QTest::addColumn<bool>("accepted");

        const QByteArray right = TTestCertificates::ClientKeyPassPhrase;
        QTest::newRow("pass phrase given") << right << QByteArray() << true;
        QTest::newRow("pass phrase from the event") << QByteArray() << right << true;
        QTest::newRow("event overrides a wrong one") << QByteArray("wrong") << right << true;
        QTest::newRow("wrong pass phrase") << QByteArray("wrong") << QByteArray() << false;
        QTest::newRow("no pass phrase") << QByteArray() << QByteArray() << false;
    }

    void clientCertificate()
    {
        QFETCH(QByteArray, passPhrase);
        QFETCH(QByteArray, fromEvent);
        QFETCH(bool, accepted);

        TSmtpServerOptions options = TSmtpServerOptions::Secure(TSmtpServerOptions::ssImplicit, FCerts);
        options.RequireClientCert = true;
        QVERIFY2(FServer.Start(options), qPrintable(FServer.Error()));
        auto mailer = NewMailer(stImplicit, true, passPhrase);
        QByteArray offered;
        if (!fromEvent.isEmpty())
            mailer->SetOnSSLPassword([&](QByteArray &APassword) {
                offered = APassword;
                APassword = fromEvent;
            });

        QCOMPARE(mailer->Send(), accepted);
        if (!fromEvent.isEmpty())
            QCOMPARE(offered, passPhrase);
        if (!accepted) {
            QCOMPARE(mailer->ErrorList().size(), 1);
            QCOMPARE(mailer->ErrorList().first().ErrType, seSmtp);
            QVERIFY(FServer.Messages().isEmpty());
            return;
        }
        TReceivedMail mail;
        QVERIFY(SingleMessage(mail));
        QCOMPARE(mail.Record.value(QStringLiteral("client_cert")).toString(),
                 QLatin1String(TTestCertificates::ClientCommonName));
    }

    // OpenSSL asks on the terminal for the pass phrase of an encrypted key when it is
    // given none; an unattended run on a terminal would hang there.
    void encryptedKeyNeverAsks()
    {
        QSslCertificate certificate;
        QSslKey key;
        QVERIFY(LoadClientCertificate(FCerts.ClientCert(), FCerts.ClientKey(),
                                      TTestCertificates::ClientKeyPassPhrase, certificate, key));
        QVERIFY(!key.isNull());

        int master = -1;
        const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
        QVERIFY(child >= 0);
        if (child == 0) {
            // The child's controlling terminal is the pseudo terminal.
            QSslCertificate childCertificate;
            QSslKey childKey;
            const bool loaded = LoadClientCertificate(FCerts.ClientCert(), FCerts.ClientKey(), QByteArray(),
                                                      childCertificate, childKey);
            const char *answer = loaded ? "LOADED\n" : "REFUSED\n";
            (void)!::write(STDOUT_FILENO, answer, strlen(answer));
            _exit(0);
        }
        QByteArray output;
        int status = 0;
        bool ended = false;
        const QDeadlineTimer deadline(10000);
        while (!ended && !deadline.hasExpired()) {
            pollfd fd = {master, POLLIN, 0};
            if (::poll(&fd, 1, 50) > 0) {
                char buffer[256];
                const ssize_t count = ::read(master, buffer, sizeof buffer);
                if (count > 0)
                    output.append(buffer, count);
                else
                    QThread::msleep(10); // the terminal is closed; the child is ending
            }
            ended = ::waitpid(child, &status, WNOHANG) == child;
        }
        if (!ended) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        ::close(master);
        QVERIFY2(ended,
                 qPrintable(QStringLiteral("the child waits on the terminal: ") + QString::fromUtf8(output)));
        QVERIFY2(output.contains("REFUSED"), output.constData());
    }

    // ---- Login ------------------------------------------------------------------------

    void authentication_data()
    {
        QTest::addColumn<QString>("mechanisms");
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("attempts");
        QTest::addColumn<QString>("error");

        const QString all = QStringLiteral("PLAIN LOGIN CRAM-MD5 CRAM-SHA1");
        QTest::newRow("CRAM-SHA1 first") << all << "" << kPassword << QStringList{"CRAM-SHA1:ok"} << "";
        QTest::newRow("CRAM-MD5 next") << "LOGIN PLAIN CRAM-MD5"
                                       << "" << kPassword << QStringList{"CRAM-MD5:ok"} << "";
        QTest::newRow("PLAIN before LOGIN") << "LOGIN PLAIN"
                                            << "" << kPassword << QStringList{"PLAIN:ok"} << "";
        QTest::newRow("LOGIN alone") << "LOGIN"
                                     << "" << kPassword << QStringList{"LOGIN:ok"} << "";
        QTest::newRow("failed mechanism, next one")
            << all << "CRAM-SHA1" << kPassword << QStringList{"CRAM-SHA1:fail", "CRAM-MD5:ok"} << "";
        QTest::newRow("down to LOGIN")
            << all << "CRAM-SHA1 CRAM-MD5 PLAIN" << kPassword
            << QStringList{"CRAM-SHA1:fail", "CRAM-MD5:fail", "PLAIN:fail", "LOGIN:ok"} << "";
        QTest::newRow("wrong password")
            << all << ""
            << "wrong" << QStringList{"CRAM-SHA1:fail", "CRAM-MD5:fail", "PLAIN:fail", "LOGIN:fail"}
            << "Authentication Failed";
        QTest::newRow("no mechanism offered")
            << ""
            << "" << kPassword << QStringList() << "none of the login methods";
        QTest::newRow("no password, no login") << all << ""
                                               << "" << QStringList() << "";
        QTest::newRow("non-ASCII password")
            << "CRAM-MD5"
            << "" << QStringLiteral("Grüße-€") << QStringList{"CRAM-MD5:ok"} << "";
    }

    void authentication()
    {
        QFETCH(QString, mechanisms);
        QFETCH(QString, failing);
        QFETCH(QString, password);
        QFETCH(QStringList, attempts);
        QFETCH(QString, error);

        TSmtpServerOptions options;
        options.Mechanisms = mechanisms.split(u' ', Qt::SkipEmptyParts);
        options.Failing = failing.split(u' ', Qt::SkipEmptyParts);
        options.User = kUser;
        options.Password = QTest::currentDataTag() == QByteArray("non-ASCII password") ? password : kPassword;
        QVERIFY2(FServer.Start(options), qPrintable(FServer.Error()));
        auto mailer = NewMailer();
        mailer->SetUserId(kUser);
        mailer->SetPassword(password);

        const bool sent = mailer->Send();
        const QList<QJsonObject> events = FServer.Events();
        QCOMPARE(Attempts(events), attempts);
        // Every mechanism is tried on the one connection.
        for (const QJsonObject &event : events)
            QCOMPARE(event.value(QStringLiteral("conn")).toInt(), 1);
        if (!error.isEmpty()) {
            QVERIFY(!sent);
            QCOMPARE(mailer->ErrorList().size(), 1);
            QCOMPARE(mailer->ErrorList().first().ErrType, seSmtp);
            QVERIFY2(mailer->ErrorList().first().ErrMsg.contains(error), qPrintable(ErrorText(*mailer)));
            QVERIFY(FServer.Messages().isEmpty());
            return;
        }
        QVERIFY2(sent, qPrintable(ErrorText(*mailer)));
        TReceivedMail mail;
        QVERIFY(SingleMessage(mail));
        const QJsonValue login = mail.Record.value(QStringLiteral("login"));
        if (attempts.isEmpty())
            QVERIFY(login.isNull());
        else
            QCOMPARE(login.toString(), kUser);
    }

    // The log holds the dialogue but never the password or what the login sends.
    void protocolLog_data()
    {
        QTest::addColumn<QString>("mechanism");
        QTest::newRow("CRAM-SHA1") << "CRAM-SHA1";
        QTest::newRow("CRAM-MD5") << "CRAM-MD5";
        QTest::newRow("PLAIN") << "PLAIN";
        QTest::newRow("LOGIN") << "LOGIN";
    }

    void protocolLog()
    {
        QFETCH(QString, mechanism);

        TSmtpServerOptions options;
        options.Mechanisms = {mechanism};
        options.User = kUser;
        options.Password = kPassword;
        QVERIFY2(FServer.Start(options), qPrintable(FServer.Error()));
        auto mailer = NewMailer();
        mailer->SetUserId(kUser);
        mailer->SetPassword(kPassword);
        const QString logName = FFiles.filePath(QStringLiteral("smtp-%1.log").arg(mechanism));
        QFile::remove(logName);
        mailer->SetLogname(logName);
        mailer->SetWriteLogFile(true);
        QVERIFY2(mailer->Send(), qPrintable(ErrorText(*mailer)));
        QVERIFY2(mailer->Send(), qPrintable(ErrorText(*mailer)));

        const QByteArray log = ReadAll(logName);
        QVERIFY2(log.contains("C: EHLO Test\n"), log.constData());
        QVERIFY(log.contains("S: 250 "));
        QVERIFY(log.contains(QByteArray("C: AUTH " + mechanism.toLatin1())));
        QCOMPARE(log.count("C: MAIL FROM:<starter@example.org>"), 2); // appended, not overwritten
        QVERIFY(log.contains("***"));
        const QByteArray user = kUser.toUtf8();
        const QByteArray password = kPassword.toUtf8();
        for (const QByteArray &secret : {password, password.toBase64(), user.toBase64(),
                                         QByteArray('\0' + user + '\0' + password).toBase64()})
            QVERIFY2(!log.contains(secret), secret.constData());
        QCOMPARE(log.count('\n'), log.split('\n').size() - 1);

        mailer->SetWriteLogFile(false);
        QFile::remove(logName);
        QVERIFY(mailer->Send());
        QVERIFY(!QFile::exists(logName));
    }

    // ---- Recipients -------------------------------------------------------------------

    void failedRecipients_data()
    {
        QTest::addColumn<QString>("recipients");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<bool>("continueOnFailed");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<QStringList>("delivered");

        const QString three = QStringLiteral("a@example.org, bad@example.org, c@example.org");
        QTest::newRow("refused, stop") << three << QStringList{"bad@example.org"} << false
                                       << QStringList{"bad@example.org"} << QStringList();
        QTest::newRow("refused, continue")
            << three << QStringList{"bad@example.org"} << true << QStringList{"bad@example.org"}
            << QStringList{"a@example.org", "c@example.org"};
        QTest::newRow("all refused, continue")
            << "a@example.org,b@example.org" << QStringList{"a@example.org", "b@example.org"} << true
            << QStringList{"a@example.org", "b@example.org"} << QStringList();
        QTest::newRow("invalid address, stop") << "a@example.org, bad\r\n@example.org" << QStringList()
                                               << false << QStringList{"bad  @example.org"} << QStringList();
        QTest::newRow("invalid address, continue")
            << "a@example.org, bad\r\n@example.org" << QStringList() << true
            << QStringList{"bad  @example.org"} << QStringList{"a@example.org"};
    }

    void failedRecipients()
    {
        QFETCH(QString, recipients);
        QFETCH(QStringList, refused);
        QFETCH(bool, continueOnFailed);
        QFETCH(QStringList, errors);
        QFETCH(QStringList, delivered);

        TSmtpServerOptions options;
        options.RefusedRecipients = refused;
        QVERIFY2(FServer.Start(options), qPrintable(FServer.Error()));
        auto mailer = NewMailer();
        mailer->SetRecipients(recipients);
        mailer->SetContinueOnFailedRecipient(continueOnFailed);

        QVERIFY(!mailer->Send());
        QStringList reported;
        for (const TSendError &error : mailer->ErrorList()) {
            QCOMPARE(error.ErrType, seFailedRecipient);
            reported.append(error.ErrMsg);
        }
        QCOMPARE(reported, errors);
        const QList<TReceivedMail> messages = FServer.Messages();
        if (delivered.isEmpty()) {
            QVERIFY(messages.isEmpty());
        } else {
            QCOMPARE(messages.size(), 1);
            QCOMPARE(messages.first().RcptTos(), delivered);
        }
    }

    // ---- Message ----------------------------------------------------------------------

    void messageStructure_data()
    {
        QTest::addColumn<int>("contentType");
        QTest::addColumn<QStringList>("body");
        QTest::addColumn<QStringList>("html");
        QTest::addColumn<QStringList>("attachments");
        QTest::addColumn<QString>("topType");
        QTest::addColumn<QStringList>("parts");

        const QStringList body = {QStringLiteral("Errors: 2"), QStringLiteral("Grüße")};
        const QStringList html = {QStringLiteral("<p>Errors: 2</p>")};
        QTest::newRow("UTF-8 text") << int(ctUtf8) << body << QStringList() << QStringList() << "text/plain"
                                    << QStringList{"text/plain utf-8 8bit -"};
        QTest::newRow("ISO-8859-1 text") << int(ctAscii) << body << QStringList() << QStringList()
                                         << "text/plain" << QStringList{"text/plain iso-8859-1 8bit -"};
        QTest::newRow("HTML with text")
            << int(ctHtml) << body << html << QStringList() << "multipart/alternative"
            << QStringList{"text/plain iso-8859-1 8bit -", "text/html iso-8859-1 8bit -"};
        QTest::newRow("HTML alone") << int(ctHtml) << QStringList() << html << QStringList() << "text/html"
                                    << QStringList{"text/html iso-8859-1 8bit -"};
        QTest::newRow("attachments") << int(ctUtf8) << body << QStringList()
                                     << QStringList{"report.pdf|pdf", "notes.txt", "data.bin|image/png",
                                                    "log.dat|text/plain; charset=utf-8", "archive.7z|"}
                                     << "multipart/mixed"
                                     << QStringList{"text/plain utf-8 8bit -",
                                                    "application/pdf - base64 report.pdf",
                                                    "text/plain - 8bit notes.txt",
                                                    "image/png - base64 data.bin",
                                                    "text/plain utf-8 8bit log.dat",
                                                    "application/x-7z-compressed - base64 archive.7z"};
        QTest::newRow("HTML with attachment")
            << int(ctHtml) << body << html << QStringList{"scan.pdf"} << "multipart/mixed"
            << QStringList{"text/plain iso-8859-1 8bit -", "text/html iso-8859-1 8bit -",
                           "application/pdf - base64 scan.pdf"};
    }

    void messageStructure()
    {
        QFETCH(int, contentType);
        QFETCH(QStringList, body);
        QFETCH(QStringList, html);
        QFETCH(QStringList, attachments);
        QFETCH(QString, topType);
        QFETCH(QStringList, parts);

        QVERIFY2(FServer.Start(TSmtpServerOptions()), qPrintable(FServer.Error()));
        auto mailer = NewMailer();
        mailer->SetContentType(TContentType(contentType));
        mailer->SetBody(body);
        mailer->SetHTMLBody(html);
        QStringList entries;
        QList<QByteArray> contents;
        for (const QString &attachment : attachments) {
            const QString name = attachment.section(u'|', 0, 0);
            // Binary content, or text lines for the text types.
            const QByteArray content =
                name.endsWith(QLatin1String(".txt")) || name.endsWith(QLatin1String(".dat"))
                    ? QByteArray("first line\r\nsecond line \xc3\xa4\r\n")
                    : QByteArray(kBinary, sizeof kBinary - 1).repeated(100);
            const QString fileName = MakeFile(name, content);
            QVERIFY(!fileName.isEmpty());
            entries.append(attachment.contains(u'|') ? fileName + u'|' + attachment.section(u'|', 1)
                                                     : fileName);
            contents.append(content);
        }
        mailer->Attachments().SetAttachedFiles(entries);

        QVERIFY2(mailer->Send(), qPrintable(ErrorText(*mailer)));
        TReceivedMail mail;
        QVERIFY(SingleMessage(mail));
        QCOMPARE(mail.Record.value(QStringLiteral("defects")).toArray().size(), 0);
        QCOMPARE(mail.Record.value(QStringLiteral("content_type")).toString(), topType);
        QCOMPARE(DescribeParts(mail), parts);

        const QList<QJsonObject> received = mail.Parts();
        const bool utf8 = contentType == ctUtf8;
        int index = 0;
        if (!body.isEmpty()) {
            QCOMPARE(TReceivedMail::Payload(received.at(index++)),
                     utf8 ? CrLfText(body) : body.join(QStringLiteral("\r\n")).toLatin1() + "\r\n");
        }
        if (contentType == ctHtml)
            QCOMPARE(TReceivedMail::Payload(received.at(index++)), CrLfText(html));
        for (const QByteArray &content : contents)
            QCOMPARE(TReceivedMail::Payload(received.at(index++)), content);
    }

    void transferEncoding_data()
    {
        QTest::addColumn<bool>("eightBitMime");
        QTest::addColumn<QStringList>("body");
        QTest::addColumn<QString>("encoding");

        const QStringList umlauts = {QStringLiteral("Grüße"), QStringLiteral("ok")};
        QTest::newRow("8BITMIME offered") << true << umlauts << "8bit";
        QTest::newRow("no 8BITMIME") << false << umlauts << "quoted-printable";
        QTest::newRow("line over 998 bytes")
            << true << QStringList{QString(997, u'a') + u'ü'} << "quoted-printable";
        QTest::newRow("line of 998 bytes") << true << QStringList{QString(998, u'b')} << "8bit";
        QTest::newRow("dot lines") << true << QStringList{".", "..", ".hidden", "", "end"} << "8bit";
        QTest::newRow("dot lines, quoted-printable")
            << false << QStringList{".", "..", ".x"} << "quoted-printable";
    }

    void transferEncoding()
    {
        QFETCH(bool, eightBitMime);
        QFETCH(QStringList, body);
        QFETCH(QString, encoding);

        TSmtpServerOptions options;
        options.No8BitMime = !eightBitMime;
        QVERIFY2(FServer.Start(options), qPrintable(FServer.Error()));
        auto mailer = NewMailer();
        mailer->SetBody(body);
        QVERIFY2(mailer->Send(), qPrintable(ErrorText(*mailer)));

        TReceivedMail mail;
        QVERIFY(SingleMessage(mail));
        QCOMPARE(mail.MailOptions().contains(QStringLiteral("BODY=8BITMIME")), eightBitMime);
        const QJsonObject part = mail.Parts().value(0);
        QCOMPARE(part.value(QStringLiteral("transfer_encoding")).toString(), encoding);
        QCOMPARE(TReceivedMail::Payload(part), CrLfText(body));
        QVERIFY(mail.Record.value(QStringLiteral("longest_line")).toInt() <= 998);
        // Line ends are CR LF everywhere.
        QCOMPARE(mail.Data.count('\n'), mail.Data.count("\r\n"));
        if (!eightBitMime)
            QVERIFY(
                std::all_of(mail.Data.cbegin(), mail.Data.cend(), [](char c) { return (c & 0x80) == 0; }));
    }

    void headers()
    {
        QVERIFY2(FServer.Start(TSmtpServerOptions()), qPrintable(FServer.Error()));
        auto mailer = NewMailer();
        const QString subject =
            QStringLiteral("Sicherung fehlgeschlagen – Grüße aus März ").repeated(4).trimmed();
        mailer->SetSubject(subject);
        mailer->SetFrom({QStringLiteral("Jörg's Starter"), QStringLiteral("starter@example.org")});
        mailer->SetRecipients(QStringLiteral("\"Doe, John\" <john@example.org>, , jane@example.org"));
        mailer->SetCCList(QStringLiteral("Büro <office@example.org>"));
        mailer->SetBCCList(QStringLiteral("hidden@example.org"));
        mailer->SetPriority(mpHigh);
        mailer->AddExtraHeader(QStringLiteral("User-Agent"), QStringLiteral("AkStarter 1.0"));
        mailer->AddExtraHeader(QStringLiteral("Reply-To"), QStringLiteral("Admin <admin@example.org>"));
        mailer->AddExtraHeader(QStringLiteral("X-Run"), QStringLiteral("first"));
        mailer->AddExtraHeader(QStringLiteral("x-run"), QStringLiteral("Läuft"));
        mailer->AddExtraHeader(QStringLiteral("Content-Type"), QStringLiteral("text/evil"));
        const QString attachmentName =
            QStringLiteral("Bericht für März – ") + QString(80, u'x') + QStringLiteral(".txt");
        const QString fileName = MakeFile(attachmentName, "text\n");
        QVERIFY(!fileName.isEmpty());
        mailer->Attachments().SetAttachedFiles({fileName});

        QVERIFY2(mailer->Send(), qPrintable(ErrorText(*mailer)));
        TReceivedMail mail;
        QVERIFY(SingleMessage(mail));
        QCOMPARE(mail.Record.value(QStringLiteral("defects")).toArray().size(), 0);
        QCOMPARE(mail.Header(QStringLiteral("Subject")), subject);
        QCOMPARE(mail.Header(QStringLiteral("From")), QStringLiteral("Jörg's Starter <starter@example.org>"));
        QCOMPARE(mail.Header(QStringLiteral("To")),
                 QStringLiteral("\"Doe, John\" <john@example.org>, jane@example.org"));
        QCOMPARE(mail.Header(QStringLiteral("Cc")), QStringLiteral("Büro <office@example.org>"));
        QVERIFY(mail.Header(QStringLiteral("Bcc")).isNull());
        QCOMPARE(mail.RcptTos(), (QStringList{"john@example.org", "jane@example.org", "office@example.org",
                                              "hidden@example.org"}));
        QCOMPARE(mail.Header(QStringLiteral("User-Agent")), QStringLiteral("AkStarter 1.0"));
        QCOMPARE(mail.Header(QStringLiteral("Reply-To")), QStringLiteral("Admin <admin@example.org>"));
        QCOMPARE(mail.HeaderNames().filter(QStringLiteral("X-Run"), Qt::CaseInsensitive).size(), 1);
        QCOMPARE(mail.Header(QStringLiteral("X-Run")), QStringLiteral("Läuft"));
        QCOMPARE(mail.Header(QStringLiteral("X-Priority")), QStringLiteral("2 (High)"));
        QCOMPARE(mail.Record.value(QStringLiteral("content_type")).toString(),
                 QStringLiteral("multipart/mixed"));
        QVERIFY(!mail.Header(QStringLiteral("Date")).isEmpty());
        QVERIFY(mail.Header(QStringLiteral("Message-ID")).endsWith(QLatin1String("@example.org>")));
        QCOMPARE(mail.Parts().value(1).value(QStringLiteral("filename")).toString(), attachmentName);
        // Header lines keep to the recommended length where the text allows.
        const QByteArray head = mail.Data.left(mail.Data.indexOf("\r\n\r\n"));
        for (const QByteArray &line : head.split('\n'))
            QVERIFY2(line.size() <= 79, line.constData());
    }

    // Line breaks in any text that reaches a header or a command never start a header
    // or a command of their own.
    void headerInjection_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");

        const QString crlf = QStringLiteral("x\r\nBcc: evil@example.org\r\nX-Injected: yes");
        QTest::newRow("subject") << "subject" << crlf;
        QTest::newRow("subject, bare LF") << "subject" << QStringLiteral("x\nX-Injected: yes");
        QTest::newRow("subject, bare CR") << "subject" << QStringLiteral("x\rX-Injected: yes");
        QTest::newRow("sender name") << "fromName" << crlf;
        QTest::newRow("recipient name")
            << "recipients" << QStringLiteral("\"%1\" <admin@example.org>").arg(crlf);
        QTest::newRow("extra header value") << "extraValue" << crlf;
        QTest::newRow("extra header name") << "extraName" << QStringLiteral("X-A\r\nX-Injected");
        QTest::newRow("attachment type") << "attachmentType" << QStringLiteral("text/x\r\nX-Injected: yes");
        QTest::newRow("HELO name") << "helo" << QStringLiteral("host\r\nX-Injected: yes");
    }

    void headerInjection()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);

        QVERIFY2(FServer.Start(TSmtpServerOptions()), qPrintable(FServer.Error()));
        auto mailer = NewMailer();
        if (field == QLatin1String("subject"))
            mailer->SetSubject(value);
        else if (field == QLatin1String("fromName"))
            mailer->SetFrom({value, QStringLiteral("starter@example.org")});
        else if (field == QLatin1String("recipients"))
            mailer->SetRecipients(value);
        else if (field == QLatin1String("extraValue"))
            mailer->AddExtraHeader(QStringLiteral("X-Note"), value);
        else if (field == QLatin1String("extraName"))
            mailer->AddExtraHeader(value, QStringLiteral("yes"));
        else if (field == QLatin1String("attachmentType"))
            mailer->Attachments().SetAttachedFiles(
                {MakeFile(QStringLiteral("a.bin"), "data") + u'|' + value});
        else if (field == QLatin1String("helo"))
            mailer->SetHeloName(value);

        QVERIFY2(mailer->Send(), qPrintable(ErrorText(*mailer)));
        TReceivedMail mail;
        QVERIFY(SingleMessage(mail));
        QCOMPARE(mail.RcptTos(), QStringList{QStringLiteral("admin@example.org")});
        QVERIFY2(!mail.HeaderNames().contains(QStringLiteral("X-Injected"), Qt::CaseInsensitive),
                 mail.Data.constData());
        QVERIFY(!mail.HeaderNames().contains(QStringLiteral("Bcc"), Qt::CaseInsensitive));
        QVERIFY(!mail.Data.contains("\nX-Injected"));
        QVERIFY(!mail.Data.contains("\nBcc"));
        QVERIFY(!mail.Record.value(QStringLiteral("helo")).toString().contains(u'\n'));
    }

    void saveToFile()
    {
        auto mailer = NewMailer();
        mailer->SetBody({QStringLiteral("."), QStringLiteral("Grüße")});
        mailer->Attachments().SetAttachedFiles({MakeFile(QStringLiteral("saved.pdf"), "%PDF-1.4\n")});
        const QString fileName = FFiles.filePath(QStringLiteral("saved.eml"));
        QVERIFY(mailer->SaveToFile(fileName));
        const QByteArray saved = ReadAll(fileName);
        QVERIFY(saved.startsWith("From: AkStarter <starter@example.org>\r\n"));
        QVERIFY(saved.contains("\r\nContent-Type: multipart/mixed;"));
        QVERIFY(saved.contains("\r\n.\r\nGr\xc3\xbc\xc3\x9f"
                               "e\r\n"));        // no dot-stuffing in a file
        QVERIFY(saved.contains("JVBERi0xLjQK")); // the attachment in base64
        QCOMPARE(saved.count('\n'), saved.count("\r\n"));

        QVERIFY(!mailer->SaveToFile(FFiles.filePath(QStringLiteral("missing/folder/saved.eml"))));
        mailer->Attachments().SetAttachedFiles({FFiles.filePath(QStringLiteral("missing.pdf"))});
        QVERIFY(!mailer->SaveToFile(fileName));
    }

    // ---- Failures before and during the dialogue -------------------------------------

    void preSendErrors_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("errorType");
        QTest::addColumn<QString>("error");

        QTest::newRow("no sender address") << "from"
                                           << "" << int(seSmtp) << "No sender address";
        QTest::newRow("sender with line break")
            << "from"
            << "a\r\n@example.org" << int(seSmtp) << "Invalid sender address: a  @example.org";
        QTest::newRow("no recipient") << "recipients"
                                      << " , ," << int(seSmtp) << "No recipient";
        QTest::newRow("invalid recipient") << "recipients"
                                           << "nobody" << int(seFailedRecipient) << "nobody";
        QTest::newRow("missing attachment") << "attachment"
                                            << "/nonexistent/report.pdf" << int(seUnknown)
                                            << "Cannot read the attachment /nonexistent/report.pdf";
        QTest::newRow("folder as attachment") << "attachment"
                                              << "/" << int(seUnknown) << "Cannot read the attachment";
        QTest::newRow("no server") << "host"
                                   << "" << int(seSmtp) << "No SMTP server";
        QTest::newRow("port out of range") << "port"
                                           << "70000" << int(seSmtp) << "Invalid port number: 70000";
        QTest::newRow("nothing listening") << "port"
                                           << "1" << int(seSmtp) << "Could not connect to 127.0.0.1:1";
    }

    // Mistakes in the settings end the send with one clear error, before any mail goes
    // out. No server runs: port 1 refuses every connection.
    void preSendErrors()
    {
        QFETCH(QString, setting);
        QFETCH(QString, value);
        QFETCH(int, errorType);
        QFETCH(QString, error);

        auto mailer = NewMailer();
        mailer->SetPort(1);
        if (setting == QLatin1String("from"))
            mailer->SetFrom({QStringLiteral("AkStarter"), value});
        else if (setting == QLatin1String("recipients"))
            mailer->SetRecipients(value);
        else if (setting == QLatin1String("attachment"))
            mailer->Attachments().SetAttachedFiles({value});
        else if (setting == QLatin1String("host"))
            mailer->SetHost(value);
        else if (setting == QLatin1String("port"))
            mailer->SetPort(value.toInt());

        QVERIFY(!mailer->Send());
        QCOMPARE(mailer->ErrorList().size(), 1);
        QCOMPARE(int(mailer->ErrorList().first().ErrType), errorType);
        QVERIFY2(mailer->ErrorList().first().ErrMsg.startsWith(error), qPrintable(ErrorText(*mailer)));
    }

    void badServers_data()
    {
        QTest::addColumn<int>("raw");
        QTest::addColumn<int>("security");
        QTest::addColumn<int>("attachmentSize");
        QTest::addColumn<QString>("errorPattern");

        QTest::newRow("never answers")
            << int(TSmtpServerOptions::rwSilent) << int(TSmtpServerOptions::ssPlain) << 0
            << "did not answer within 1 seconds";
        QTest::newRow("never answers over TLS")
            << int(TSmtpServerOptions::rwSilent) << int(TSmtpServerOptions::ssImplicit) << 0
            << "did not answer";
        QTest::newRow("garbage") << int(TSmtpServerOptions::rwGarbage) << int(TSmtpServerOptions::ssPlain)
                                 << 0 << "invalid reply: Welcome, this is not SMTP";
        QTest::newRow("10 MB line") << int(TSmtpServerOptions::rwLongLine) << int(TSmtpServerOptions::ssPlain)
                                    << 0 << "reply line longer than";
        QTest::newRow("silent after EHLO") << int(TSmtpServerOptions::rwSilentAfterEhlo)
                                           << int(TSmtpServerOptions::ssPlain) << 0 << "did not answer";
        QTest::newRow("closes during DATA") << int(TSmtpServerOptions::rwDropInData)
                                            << int(TSmtpServerOptions::ssPlain) << 4 << "closed|reset";
        // Writing on into a dropped TLS connection raises SIGPIPE unless it is handled.
        QTest::newRow("closes during DATA over TLS")
            << int(TSmtpServerOptions::rwDropInData) << int(TSmtpServerOptions::ssImplicit) << 4 << ".";
    }

    void badServers()
    {
        QFETCH(int, raw);
        QFETCH(int, security);
        QFETCH(int, attachmentSize);
        QFETCH(QString, errorPattern);

        TSmtpServerOptions options =
            TSmtpServerOptions::Secure(TSmtpServerOptions::TSecurity(security), FCerts);
        options.Raw = TSmtpServerOptions::TRaw(raw);
        options.DropAfter = 64 * 1024;
        QVERIFY2(FServer.Start(options), qPrintable(FServer.Error()));
        auto mailer = NewMailer(security == TSmtpServerOptions::ssImplicit ? stImplicit : stNone);
        mailer->SetConnectTimeout(kTestTimeoutMs);
        mailer->SetReadTimeout(kTestTimeoutMs);
        if (attachmentSize > 0)
            mailer->Attachments().SetAttachedFiles(
                {MakeFile(QStringLiteral("big.bin"), QByteArray(attachmentSize * 1024 * 1024, 'z'))});

        QVERIFY(!mailer->Send());
        QCOMPARE(mailer->ErrorList().size(), 1);
        QCOMPARE(mailer->ErrorList().first().ErrType, seSmtp);
        QVERIFY2(mailer->ErrorList().first().ErrMsg.contains(QRegularExpression(errorPattern)),
                 qPrintable(ErrorText(*mailer)));
    }

    void largeAttachment()
    {
        TSmtpServerOptions options;
        options.SizeLimit = 32 * 1024 * 1024;
        QVERIFY2(FServer.Start(options), qPrintable(FServer.Error()));
        auto mailer = NewMailer();
        mailer->Attachments().SetAttachedFiles(
            {MakeFile(QStringLiteral("huge.bin"), QByteArray(50 * 1024 * 1024, 'q'))});

        QVERIFY(!mailer->Send());
        QCOMPARE(mailer->ErrorList().size(), 1);
        QCOMPARE(mailer->ErrorList().first().ErrType, seSmtp);
        QVERIFY2(mailer->ErrorList().first().ErrMsg.startsWith(QLatin1String("552 ")),
                 qPrintable(ErrorText(*mailer)));
        QVERIFY(FServer.Messages().isEmpty());
    }

    // ---- Events -----------------------------------------------------------------------

    void events()
    {
        QVERIFY2(FServer.Start(TSmtpServerOptions()), qPrintable(FServer.Error()));
        auto mailer = NewMailer();
        mailer->Attachments().SetAttachedFiles(
            {MakeFile(QStringLiteral("events.bin"), QByteArray(3 * 1024 * 1024, 'e'))});
        QStringList calls;
        int64_t expected = -1;
        QList<int64_t> progress;
        mailer->SetOnConnected([&] { calls.append(QStringLiteral("connected")); });
        mailer->SetOnDisconnected([&] { calls.append(QStringLiteral("disconnected")); });
        mailer->SetOnBeginSend([&](TWorkMode AMode, int64_t AMax, int64_t ASize) {
            calls.append(QStringLiteral("begin"));
            QCOMPARE(AMode, wmWrite);
            QCOMPARE(AMax, ASize);
            expected = ASize;
        });
        mailer->SetOnSending([&](TWorkMode AMode, int64_t ACount) {
            if (AMode == wmWrite)
                progress.append(ACount);
        });
        mailer->SetOnEndSend([&](TWorkMode AMode) {
            QCOMPARE(AMode, wmWrite);
            calls.append(QStringLiteral("end"));
        });

        QVERIFY2(mailer->Send(), qPrintable(ErrorText(*mailer)));
        QCOMPARE(calls, (QStringList{"connected", "begin", "end", "disconnected"}));
        TReceivedMail mail;
        QVERIFY(SingleMessage(mail));
        QCOMPARE(expected, int64_t(mail.Data.size()));
        QVERIFY(!progress.isEmpty());
        QVERIFY(std::is_sorted(progress.cbegin(), progress.cend()));
        QVERIFY(progress.first() > 0 && progress.last() <= expected);
    }

    // While the mailer waits for a slow server the program's events keep flowing.
    void waitsKeepEventsFlowing()
    {
        TSmtpServerOptions options;
        options.Raw = TSmtpServerOptions::rwSilentAfterEhlo;
        QVERIFY2(FServer.Start(options), qPrintable(FServer.Error()));
        auto mailer = NewMailer();
        mailer->SetReadTimeout(kTestTimeoutMs);

        bool sending = false;
        bool timerDuringSend = false;
        QTimer::singleShot(10, this, [&] { timerDuringSend = sending; });
        sending = true;
        QVERIFY(!mailer->Send());
        sending = false;
        QVERIFY(timerDuringSend);

        int calls = 0;
        mailer->SetOnSending([&](TWorkMode, int64_t) { ++calls; });
        QVERIFY(!mailer->Send());
        QVERIFY2(calls >= 2, qPrintable(QString::number(calls)));
    }
};

QTEST_GUILESS_MAIN(TestSmtpMailer)
#include "tst_smtpmailer.moc"
