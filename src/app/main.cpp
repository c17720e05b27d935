#include "app/MainForm.h"
#include "config/ProgramEnv.h"
#include "run/CommandLine.h"
#include "util/Translate.h"

#include <QApplication>
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
} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QFile::decodeName(argv[i]);
    StartProgramEnv(args);
    if (!HasDisplay()) {
        std::fprintf(stderr, "%s\n",
                     qPrintable(Tr("AkStarter needs a graphical display to show its window.")));
        return 1;
    }
    QApplication app(argc, argv);
    InitLanguage(ProgramEnv().LanguageCode, DefaultLocaleDir());
    // The arguments without those Qt has taken for itself.
    CompleteProgramEnv(ParseCommandLine(QCoreApplication::arguments().mid(1)).AIniPath);
    TMainForm mainForm;
    mainForm.show();
    return app.exec();
}
