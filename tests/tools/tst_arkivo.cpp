#include "backup/BackupProgram.h"
#include "support/TaskFiles.h"
#include "support/TestSupport.h"

#include <QtTest>

#include <memory>

using namespace TestSupport;

namespace {

struct TRun
{
    int ExitCode = -1;
    QString Output; // standard output and standard error
};

// The files of every source tree the tests back up, with their content.
const QList<QPair<QString, QByteArray>> TreeFiles = {
    {QStringLiteral("a.txt"), "alpha\n"},
    {QStringLiteral("sub/b.txt"), "beta\n"},
    {QStringLiteral(".hidden"), "hidden\n"},
};

// The options the starter passes on every sequential run.
QStringList StarterOptions()
{
    return {FormatBackupOption(boStartApp, StartAppValue),
            FormatBackupOption(boPrompt, PromptModeWord(pmDelay)),
            FormatBackupOption(boNoSound),
            FormatBackupOption(boWait, QStringLiteral("5")),
            FormatBackupOption(boForce),
            FormatBackupOption(boNoAction)};
}

int CountLines(const QString &text, const QString &start)
{
    int count = 0;
    for (const QString &line : text.split(u'\n'))
        if (line.startsWith(start))
            ++count;
    return count;
}

} // namespace

// The stand-in backup program, run as a real process.
class TestArkivo final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FTemp;

    // "@" stands for the test's temporary folder.
    QString At(QString text) const { return text.replace(u'@', FTemp->path()); }
    QStringList At(QStringList texts) const
    {
        for (QString &text : texts)
            text = At(text);
        return texts;
    }

    void MakeTree(const QString &folder, const QList<QPair<QString, QByteArray>> &files = TreeFiles)
    {
        for (const auto &[name, content] : files) {
            const QString path = folder + u'/' + name;
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(WriteAll(path, content));
        }
    }

    void VerifyTree(const QString &folder)
    {
        for (const auto &[name, content] : TreeFiles)
            QCOMPARE(ReadAll(folder + u'/' + name), content);
    }

    void WriteTask(const QString &fileName, const QString &destination, const QStringList &sources,
                   const QString &logName = QString())
    {
        TTaskFile task;
        task.Destination = destination;
        task.Sources = sources;
        task.LogName = logName;
        QVERIFY(WriteTaskFile(fileName, task));
    }

    TRun Run(const QStringList &args, const QString &workDir = QString(),
             const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workDir.isEmpty() ? FTemp->path() : workDir);
        process.start(QStringLiteral(AK_ARKIVO_PATH), args);
        TRun run;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            run.Output = QStringLiteral("arkivo did not end normally: ") + process.errorString();
            return run;
        }
        run.ExitCode = process.exitCode();
        run.Output = QString::fromUtf8(process.readAll());
        return run;
    }

private slots:
    void init()
    {
        FTemp = std::make_unique<QTemporaryDir>();
        QVERIFY(FTemp->isValid());
        for (const char *folder : {"dest", "logs", "elsewhere"})
            QVERIFY(QDir(FTemp->path()).mkdir(QString::fromLatin1(folder)));
        MakeTree(At(QStringLiteral("@/src")));
    }
    void cleanup() { FTemp.reset(); }

    void copiesTheSourcesIntoTheDestination_data()
    {
        QTest::addColumn<QString>("taskFile");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("logName");
        QTest::addColumn<QStringList>("extraArgs");
        QTest::addColumn<QString>("copyRoot");
        QTest::addColumn<QString>("logFile");

        QTest::newRow("absolute paths") << "@/task.buj"
                                        << "@/dest"
                                        << "@/src"
                                        << "@/backup.log" << QStringList() << "@/dest/src"
                                        << "@/backup.log";
        // Run from another folder: relative paths count from the task file's folder.
        QTest::newRow("relative to the task folder") << "@/task.buj"
                                                     << "dest"
                                                     << "src"
                                                     << "%TaskName%.log" << QStringList() << "@/dest/src"
                                                     << "@/task.log";
        QTest::newRow("relative log into the log folder")
            << "@/task.buj"
            << "@/dest"
            << "@/src"
            << "run.log" << QStringList{"/logdir:@/logs"} << "@/dest/src"
            << "@/logs/run.log";
        QTest::newRow("no log name") << "@/task.buj"
                                     << "@/dest"
                                     << "@/src"
                                     << "" << QStringList() << "@/dest/src"
                                     << "";
        QTest::newRow("missing last level of the destination") << "@/task.buj"
                                                               << "@/dest/new"
                                                               << "@/src"
                                                               << "" << QStringList() << "@/dest/new/src"
                                                               << "";
        QTest::newRow("names with blanks and umlauts") << "@/mein Täsk.buj"
                                                       << "@/dest"
                                                       << "@/Eigene Dateien/Grüße"
                                                       << "%taskname%.log" << QStringList() << "@/dest/Grüße"
                                                       << "@/mein Täsk.log";
        QTest::newRow("dash options")
            << "@/task.buj"
            << "@/dest"
            << "@/src"
            << "" << QStringList{"-PROMPT:wait", "-hide", "-xinst:2", "-ini:@"} << "@/dest/src"
            << "";
    }
    void copiesTheSourcesIntoTheDestination()
    {
        QFETCH(QString, taskFile);
        QFETCH(QString, destination);
        QFETCH(QString, source);
        QFETCH(QString, logName);
        QFETCH(QStringList, extraArgs);
        QFETCH(QString, copyRoot);
        QFETCH(QString, logFile);

        MakeTree(QDir(FTemp->path()).absoluteFilePath(At(source)));
        WriteTask(At(taskFile), At(destination), {At(source)}, At(logName));
        const TRun run = Run(StarterOptions() + At(extraArgs) + QStringList{At(taskFile)}, At("@/elsewhere"));

        QCOMPARE(run.ExitCode, 0);
        VerifyTree(At(copyRoot));
        QCOMPARE(CountLines(run.Output, QStringLiteral("Arkivo - ")), 1);
        if (logFile.isEmpty()) {
            QDirIterator logs(FTemp->path(), {QStringLiteral("*.log")}, QDir::Files,
                              QDirIterator::Subdirectories);
            QVERIFY2(!logs.hasNext(), qPrintable(logs.hasNext() ? logs.next() : QString()));
        } else {
            const QString log = QString::fromUtf8(ReadAll(At(logFile)));
            QVERIFY2(log.startsWith(QStringLiteral("Arkivo - ")), qPrintable(log));
            QCOMPARE(CountLines(log, QStringLiteral("      Copied ")), TreeFiles.size());
            QCOMPARE(CountLines(log, QStringLiteral("  *** ")), 0);
        }
    }

    void secondRunRefreshesCopiesAndDeletesNothing()
    {
        WriteTask(At("@/task.buj"), At("@/dest"), {At("@/src")}, At("@/task.log"));
        QCOMPARE(Run({At("@/task.buj")}).ExitCode, 0);
        QVERIFY(WriteAll(At("@/src/a.txt"), "changed\n"));
        QVERIFY(QFile::remove(At("@/src/sub/b.txt")));

        QCOMPARE(Run({At("@/task.buj")}).ExitCode, 0);
        QCOMPARE(ReadAll(At("@/dest/src/a.txt")), QByteArray("changed\n"));
        QCOMPARE(ReadAll(At("@/dest/src/sub/b.txt")), QByteArray("beta\n"));
        // The log is appended to, one section per run.
        QCOMPARE(CountLines(QString::fromUtf8(ReadAll(At("@/task.log"))), QStringLiteral("Arkivo - ")), 2);
    }

    void destinationInsideTheSourceIsNotCopiedIntoItself()
    {
        QVERIFY(QDir().mkdir(At("@/src/backup")));
        WriteTask(At("@/task.buj"), At("@/src/backup"), {At("@/src")});
        QCOMPARE(Run({At("@/task.buj")}).ExitCode, 0);
        VerifyTree(At("@/src/backup/src"));
        QVERIFY(!QFileInfo::exists(At("@/src/backup/src/backup")));
    }

    void failureEndsWithItsExitCode_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");

        const QString dest = QStringLiteral("@/dest");
        const QStringList src{QStringLiteral("@/src")};
        const QStringList task{QStringLiteral("@/task.buj")};
        QTest::newRow("task file missing")
            << dest << src << QStringList() << QStringList{"@/none.buj"} << int(beTaskNotFound);
        QTest::newRow("task file is a folder")
            << dest << src << QStringList() << QStringList{"@/src"} << int(beTaskNotFound);
        QTest::newRow("no task file") << dest << src << QStringList() << QStringList() << int(beTaskNotFound);
        QTest::newRow("destination missing")
            << "@/none/dest" << src << QStringList() << task << int(beDestNotFound);
        QTest::newRow("destination is a file")
            << "@/src/a.txt" << src << QStringList() << task << int(beDestNotFound);
        QTest::newRow("source missing")
            << dest << QStringList{"@/none"} << QStringList() << task << int(beSourceNotFound);
        QTest::newRow("one of two sources missing")
            << dest << QStringList{"@/none", "@/src"} << QStringList() << task << int(beSourceNotFound);
        QTest::newRow("source is a file")
            << dest << QStringList{"@/src/a.txt"} << QStringList() << task << int(beSourceNotFound);
        // Permissions do not stop root; a folder in the way of a file stops everyone.
        QTest::newRow("file cannot be copied")
            << dest << src << QStringList{"@/dest/src/a.txt"} << task << int(beBackupErrors);
        QTest::newRow("no destination") << "" << src << QStringList() << task << int(beInvalidTask);
        QTest::newRow("empty source")
            << dest << QStringList{""} << QStringList() << task << int(beInvalidTask);
        QTest::newRow("no source") << dest << QStringList() << QStringList() << task << int(beInvalidTask);
        QTest::newRow("unknown option")
            << dest << src << QStringList() << QStringList{"-bogus", "@/task.buj"} << 255;
        QTest::newRow("delay not a number")
            << dest << src << QStringList() << QStringList{"/delay:soon", "@/task.buj"} << 255;
        QTest::newRow("unknown prompt mode")
            << dest << src << QStringList() << QStringList{"/prompt:loud", "@/task.buj"} << 255;
        QTest::newRow("xinst 0") << dest << src << QStringList() << QStringList{"/xinst:0", "@/task.buj"}
                                 << 255;
        QTest::newRow("plain option with a value")
            << dest << src << QStringList() << QStringList{"/force:yes", "@/task.buj"} << 255;
        QTest::newRow("valued option without value")
            << dest << src << QStringList() << QStringList{"/prompt", "@/task.buj"} << 255;
        QTest::newRow("edit before any task file")
            << dest << src << QStringList() << QStringList{"/edit", "@/task.buj"} << 255;
    }
    void failureEndsWithItsExitCode()
    {
        QFETCH(QString, destination);
        QFETCH(QStringList, sources);
        QFETCH(QStringList, folders);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);

        for (const QString &folder : At(folders))
            QVERIFY(QDir().mkpath(folder));
        WriteTask(At("@/task.buj"), At(destination), At(sources), At("@/task.log"));
        const TRun run = Run(At(args));

        QVERIFY2(run.ExitCode == exitCode, qPrintable(QString::number(run.ExitCode) + u'\n' + run.Output));
        if (exitCode == 255) {
            QVERIFY2(run.Output.contains(QStringLiteral("usage:")), qPrintable(run.Output));
            QVERIFY(!QFileInfo::exists(At("@/task.log")));
            return;
        }
        QVERIFY2(CountLines(run.Output, QStringLiteral("  *** ")) > 0, qPrintable(run.Output));
        // Once the task file is read, its log tells what went wrong.
        const QString log = QString::fromUtf8(ReadAll(At("@/task.log")));
        QCOMPARE(CountLines(log, QStringLiteral("  *** ")) > 0, exitCode != beTaskNotFound);
    }

    void severalTaskFilesRunInOrder_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("copied");

        QTest::newRow("all succeed") << QStringList{"@/one.buj", "@/two.buj"} << 0
                                     << QStringList{"@/dest/one/src", "@/dest/two/src"};
        QTest::newRow("missing task file in between")
            << QStringList{"@/one.buj", "@/none.buj", "@/two.buj"} << int(beTaskNotFound)
            << QStringList{"@/dest/one/src", "@/dest/two/src"};
        QTest::newRow("first failure decides") << QStringList{"@/nosource.buj", "@/nodest.buj", "@/two.buj"}
                                               << int(beSourceNotFound) << QStringList{"@/dest/two/src"};
    }
    void severalTaskFilesRunInOrder()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QStringList, copied);

        WriteTask(At("@/one.buj"), At("@/dest/one"), {At("@/src")});
        WriteTask(At("@/two.buj"), At("@/dest/two"), {At("@/src")});
        WriteTask(At("@/nosource.buj"), At("@/dest/one"), {At("@/none")});
        WriteTask(At("@/nodest.buj"), At("@/none/dest"), {At("@/src")});
        const TRun run = Run(At(args));

        QVERIFY2(run.ExitCode == exitCode, qPrintable(QString::number(run.ExitCode) + u'\n' + run.Output));
        for (const QString &folder : At(copied))
            VerifyTree(folder);
        // In the order of the command line.
        qsizetype previous = -1;
        for (const QString &arg : At(args)) {
            const qsizetype at = run.Output.indexOf(arg);
            QVERIFY2(at > previous, qPrintable(run.Output));
            previous = at;
        }
    }

    void stopSignalEndsTheRunWithCode5_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("signalAfter");

        QTest::newRow("during the delay") << QStringList{"/delay:10", "@/task.buj"} << "Waiting";
        QTest::newRow("during the copy") << QStringList{"@/task.buj"} << "Copied";
    }
    void stopSignalEndsTheRunWithCode5()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, signalAfter);

        // Enough files that the signal arrives while they are being copied.
        QList<QPair<QString, QByteArray>> many;
        const QByteArray content(64 * 1024, 'x');
        for (int i = 0; i < 400; ++i)
            many.append({QStringLiteral("f%1.bin").arg(i, 4, 10, QLatin1Char('0')), content});
        MakeTree(At("@/many"), many);
        WriteTask(At("@/task.buj"), At("@/dest"), {At("@/many")}, At("@/task.log"));

        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(AK_ARKIVO_PATH), At(args));
        QVERIFY(process.waitForStarted());
        QString output;
        while (!output.contains(signalAfter) && process.state() == QProcess::Running) {
            process.waitForReadyRead(10000);
            output += QString::fromUtf8(process.readAll());
        }
        if (process.state() != QProcess::Running)
            QSKIP("arkivo ended before the signal could be sent");
        process.terminate();
        QVERIFY(process.waitForFinished(20000));
        output += QString::fromUtf8(process.readAll());

        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), int(beAborted));
        QVERIFY2(output.contains(BackupExitCodeText(beAborted)), qPrintable(output));
        // The file in hand was finished: every copy is whole, no temporary file is left.
        const QDir copies(At("@/dest/many"));
        for (const QString &name : copies.entryList(QDir::Files | QDir::Hidden)) {
            QVERIFY2(name.startsWith(u'f') && name.endsWith(QStringLiteral(".bin")), qPrintable(name));
            QCOMPARE(ReadAll(copies.filePath(name)), content);
        }
    }

    void quietPromptPrintsNothing_data()
    {
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QString>("taskFile");
        QTest::addColumn<int>("exitCode");

        QTest::newRow("success") << QStringList{"@/src"} << "@/task.buj" << 0;
        QTest::newRow("source missing") << QStringList{"@/none"} << "@/task.buj" << int(beSourceNotFound);
        QTest::newRow("task missing") << QStringList{"@/src"} << "@/none.buj" << int(beTaskNotFound);
    }
    void quietPromptPrintsNothing()
    {
        QFETCH(QStringList, sources);
        QFETCH(QString, taskFile);
        QFETCH(int, exitCode);

        WriteTask(At("@/task.buj"), At("@/dest"), At(sources), At("@/task.log"));
        QStringList args = StarterOptions();
        args.replaceInStrings(FormatBackupOption(boPrompt, PromptModeWord(pmDelay)),
                              FormatBackupOption(boPrompt, PromptModeWord(pmQuiet)));
        const TRun run = Run(args + QStringList{At(taskFile)});
        QCOMPARE(run.ExitCode, exitCode);
        QCOMPARE(run.Output, QString());
        // Quiet on the terminal, not in the log.
        if (taskFile == QStringLiteral("@/task.buj"))
            QVERIFY(ReadAll(At("@/task.log")).startsWith("Arkivo - "));
    }

    void editOpensTheTaskInsteadOfRunningIt_data()
    {
        QTest::addColumn<int>("editorExit");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("opened");

        QTest::newRow("the preceding task only")
            << 0 << QStringList{"@/one.buj", "/edit", "@/two.buj"} << 0 << QStringList{"@/one.buj"};
        QTest::newRow("editor fails")
            << 4 << QStringList{"@/one.buj", "/edit"} << 255 << QStringList{"@/one.buj"};
        QTest::newRow("task missing")
            << 0 << QStringList{"@/none.buj", "/edit"} << int(beTaskNotFound) << QStringList();
    }
    void editOpensTheTaskInsteadOfRunningIt()
    {
        QFETCH(int, editorExit);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QStringList, opened);

        // An xdg-open of our own on PATH records what it is asked to open.
        QVERIFY(QDir().mkdir(At("@/bin")));
        const QString editor = At("@/bin/xdg-open");
        QVERIFY(WriteAll(editor, QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\nexit %2\n")
                                     .arg(At("@/opened.txt"))
                                     .arg(editorExit)
                                     .toUtf8()));
        QVERIFY(QFile::setPermissions(editor, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"), At("@/bin:") + env.value(QStringLiteral("PATH")));
        WriteTask(At("@/one.buj"), At("@/dest/one"), {At("@/src")});
        WriteTask(At("@/two.buj"), At("@/dest/two"), {At("@/src")});

        const TRun run = Run(At(args), QString(), env);
        QVERIFY2(run.ExitCode == exitCode, qPrintable(QString::number(run.ExitCode) + u'\n' + run.Output));
        const QString openedText = QString::fromUtf8(ReadAll(At("@/opened.txt")));
        QCOMPARE(openedText.split(u'\n', Qt::SkipEmptyParts), At(opened));
        QVERIFY(!QFileInfo::exists(At("@/dest/one")));
        if (args.contains(QStringLiteral("@/two.buj")))
            VerifyTree(At("@/dest/two/src"));
    }
};

QTEST_GUILESS_MAIN(TestArkivo)
#include "tst_arkivo.moc"
