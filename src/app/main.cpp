#include "app/GuiQuestions.h"
#include "app/MainForm.h"
#include "config/ProgramEnv.h"
#include "run/CommandLine.h"
#include "run/RunQuestions.h"
#include "run/Starter.h"
#include "util/Translate.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {
// Qt Widgets aborts without a display, so decide before the application object exists.
bool HasDisplay()
{
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

// The rest of the start-up, once the application object exists: the language, the
// command line without what Qt took for itself, and the program's environment.
TRunRequest CompleteStart()
{
    InitLanguage(ProgramEnv().LanguageCode, DefaultLocaleDir());
    const TRunRequest request = ParseCommandLine(QCoreApplication::arguments().mid(1));
    CompleteProgramEnv(request.AIniPath);
    return request;
}

// Non-zero when an unattended run could not do all it was asked to, so that a scheduler
// sees the failure: the backup program is missing, or the run log holds an error.
int ExitCodeOf(const TStarter &AStarter)
{
    if (AStarter.AkPath.isEmpty())
        return 1;
    for (const QString &line : AStarter.Log.LogList)
        if (line.startsWith(RunLogErrorPrefix))
            return 1;
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QFile::decodeName(argv[i]);
    StartProgramEnv(args);
    if (!HasDisplay()) {
        // An unattended run needs no display as long as nothing has to be asked.
        if (!ParseCommandLine(args).Force) {
            std::fprintf(stderr, "%s\n",
                         qPrintable(Tr("AkStarter needs a graphical display to show its window.")));
            return 1;
        }
        QCoreApplication app(argc, argv);
        const TRunRequest request = CompleteStart();
        const std::unique_ptr<TRunQuestions> questions = CreateConsoleQuestions();
        TStarter starter(*questions);
        starter.Setup(request);
        starter.CheckForce();
        return ExitCodeOf(starter);
    }

    QApplication app(argc, argv);
    const TRunRequest request = CompleteStart();
    TGuiQuestions questions;
    TStarter starter(questions);
    starter.ProcessEvents = [] { QCoreApplication::processEvents(); };
    starter.Setup(request);
    TMainForm mainForm;
    if (starter.CheckForce())
        return ExitCodeOf(starter);
    mainForm.show();
    return app.exec();
}
