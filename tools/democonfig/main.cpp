// ak_democonfig: writes the starter's configuration for the demo of examples/demo, with
// the task files by absolute path (the loader drops task files it cannot find), so that
// `make run` can start the demo group unattended from any checkout.
//
//   ak_democonfig DEMO_FOLDER CONFIG_FOLDER
//
// The group "Demo" runs both task files in one process under the account that runs the
// program, with a stored password: that account needs none, so nothing is asked.

#include "config/StarterConfig.h"
#include "util/SystemInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

const char *const TaskFiles[] = {"Documents.buj", "Notes.buj"};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: ak_democonfig DEMO_FOLDER CONFIG_FOLDER\n");
        return 2;
    }
    const QDir demo{QFileInfo(args[0]).absoluteFilePath()};
    const QString configFolder = QFileInfo(args[1]).absoluteFilePath();
    if (!QDir().mkpath(configFolder)) {
        std::fprintf(stderr, "ak_democonfig: cannot create %s\n", qPrintable(configFolder));
        return 1;
    }

    TStarterConfig config;
    TTaskProperties &group = *config.Groups[size_t(config.AddGroup(QStringLiteral("Demo")))];
    group.User = GetUserLogonName();
    group.Pwd = QStringLiteral("demo");
    group.PwdPrompt = false;
    for (const char *name : TaskFiles) {
        const QString path = demo.absoluteFilePath(QString::fromLatin1(name));
        if (!QFileInfo(path).isFile()) {
            std::fprintf(stderr, "ak_democonfig: missing task file %s\n", qPrintable(path));
            return 1;
        }
        group.AddTask(path, true);
    }
    config.TaskIndex = 0;
    config.LastTask = group.Desc;

    const QString iniName = configFolder + QStringLiteral("/akstarter.ini");
    const TConfigResult result =
        config.Save(iniName, QStringLiteral("AkStarter"), QStringLiteral(AK_VERSION));
    if (!result.Ok) {
        std::fprintf(stderr, "ak_democonfig: %s\n", qPrintable(result.Message));
        return 1;
    }
    std::printf("%s\n", qPrintable(iniName));
    return 0;
}
