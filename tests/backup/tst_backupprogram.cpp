#include "backup/BackupProgram.h"

#include <QtTest>

class TestBackupProgram final : public QObject
{
    Q_OBJECT
private slots:
    void optionIsWrittenAsTheBackupProgramReadsIt_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("startapp") << int(boStartApp) << QString(StartAppValue) << "/startapp:akstarter";
        QTest::newRow("prompt") << int(boPrompt) << "quiet"
                                << "/prompt:quiet";
        QTest::newRow("wait") << int(boWait) << "5"
                              << "/wait:5";
        QTest::newRow("ini with blank") << int(boIni) << "/home/a b"
                                        << "/ini:/home/a b";
        QTest::newRow("logdir") << int(boLogDir) << "/var/log/x"
                                << "/logdir:/var/log/x";
        QTest::newRow("hide") << int(boHide) << ""
                              << "/hide";
        QTest::newRow("nosound") << int(boNoSound) << ""
                                 << "/nosound";
        QTest::newRow("elevate") << int(boElevate) << ""
                                 << "/elevate";
        QTest::newRow("delay") << int(boDelay) << "30"
                               << "/delay:30";
        QTest::newRow("xinst") << int(boXInst) << "2"
                               << "/xinst:2";
        QTest::newRow("force") << int(boForce) << ""
                               << "/force";
        QTest::newRow("noaction") << int(boNoAction) << ""
                                  << "/noaction";
        QTest::newRow("edit") << int(boEdit) << ""
                              << "/edit";
        QTest::newRow("empty value is kept") << int(boLogDir) << ""
                                             << "/logdir:";
        QTest::newRow("value of a plain option is dropped") << int(boForce) << "x"
                                                            << "/force";
    }
    void optionIsWrittenAsTheBackupProgramReadsIt()
    {
        QFETCH(int, option);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QCOMPARE(FormatBackupOption(TBackupOption(option), value), expected);
    }

    void statusSelectsThePromptMode_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("word");
        QTest::newRow("0") << 0 << "quiet";
        QTest::newRow("1") << 1 << "delay";
        QTest::newRow("2") << 2 << "wait";
        QTest::newRow("3") << 3 << "error";
        QTest::newRow("4") << 4 << "silent";
        QTest::newRow("5 is out of range") << 5 << "delay";
        QTest::newRow("negative") << -1 << "delay";
    }
    void statusSelectsThePromptMode()
    {
        QFETCH(int, status);
        QFETCH(QString, word);
        QCOMPARE(QString(PromptModeWord(PromptModeForStatus(status))), word);
    }

    void exitCodeReadsAsItsText_data()
    {
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("text");
        QTest::newRow("0 success") << 0 << "";
        QTest::newRow("1") << 1 << "Task not found!";
        QTest::newRow("2") << 2 << "Destination path not found!";
        QTest::newRow("3") << 3 << "Source directory not found!";
        QTest::newRow("4") << 4 << "Errors during backup!";
        QTest::newRow("5") << 5 << "The backup was aborted by the user or due to an error!";
        QTest::newRow("6") << 6 << "Invalid task configuration!";
        QTest::newRow("7") << 7 << "Unexpected error!";
        QTest::newRow("255") << 255 << "Unexpected error!";
        QTest::newRow("256 has low bits 0") << 256 << "";
        QTest::newRow("260 has low bits 4") << 260 << "Errors during backup!";
        QTest::newRow("negative") << -1 << "Unexpected error!";
    }
    void exitCodeReadsAsItsText()
    {
        QFETCH(int, exitCode);
        QFETCH(QString, text);
        QCOMPARE(BackupExitCodeText(exitCode), text);
    }
};

QTEST_GUILESS_MAIN(TestBackupProgram)
#include "tst_backupprogram.moc"
