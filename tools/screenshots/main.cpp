// Shows every registered dialog with sample texts in the light and the dark appearance
// and saves a picture of each, so that layouts can be looked at without clicking through
// the program. Usage: akscreenshots OUTDIR [NAME-PREFIX...]
#include "Screenshots.h"

#include "ui/Appearance.h"
#include "util/Translate.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

std::vector<TScreenshot> &Screenshots()
{
    static std::vector<TScreenshot> shots;
    return shots;
}

namespace {

// Waits for the shot's modal dialog, lets it lay out and paint, saves it and closes it.
class TGrabber : public QObject
{
public:
    TGrabber(QString AFileName) : FFileName(std::move(AFileName))
    {
        FClock.start();
        connect(&FPoll, &QTimer::timeout, this, [this] { Poll(); });
        FPoll.start(50);
    }

    bool Saved() const { return FSaved; }
    const QString &Error() const { return FError; }

private:
    void Poll()
    {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog) {
            if (FClock.elapsed() > 5000) {
                FError = QStringLiteral("no dialog appeared");
                FPoll.stop();
            }
            return;
        }
        // A few rounds for the window to be exposed and painted.
        if (++FSeen < 4)
            return;
        FPoll.stop();
        if (dialog->grab().save(FFileName))
            FSaved = true;
        else
            FError = QStringLiteral("cannot write ") + FFileName;
        if (auto *modal = qobject_cast<QDialog *>(dialog))
            modal->reject();
        else
            dialog->close();
    }

    QString FFileName;
    QTimer FPoll;
    QElapsedTimer FClock;
    int FSeen = 0;
    bool FSaved = false;
    QString FError;
};

bool Wanted(const QString &AName, const QStringList &APrefixes)
{
    if (APrefixes.isEmpty())
        return true;
    for (const QString &prefix : APrefixes) {
        if (AName.startsWith(prefix))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    InitTranslation(DefaultLocaleDir());
    QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: akscreenshots OUTDIR [NAME-PREFIX...]\n");
        return 2;
    }
    const QDir outDir(args.takeFirst());
    if (!QDir().mkpath(outDir.path())) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(outDir.path()));
        return 1;
    }

    int failures = 0;
    int saved = 0;
    for (const auto &[appearance, suffix] : {std::pair{apLight, "light"}, std::pair{apDark, "dark"}}) {
        ApplyAppearance(appearance);
        for (const TScreenshot &shot : Screenshots()) {
            if (!Wanted(shot.Name, args))
                continue;
            const QString fileName =
                outDir.filePath(shot.Name + QLatin1Char('-') + QLatin1String(suffix) + ".png");
            TGrabber grabber(fileName);
            shot.Show();
            if (!grabber.Saved()) {
                ++failures;
                std::fprintf(stderr, "%s: %s\n", qPrintable(shot.Name),
                             qPrintable(grabber.Error().isEmpty()
                                            ? QStringLiteral("closed before it was grabbed")
                                            : grabber.Error()));
            } else {
                ++saved;
            }
        }
    }
    std::printf("%d pictures in %s\n", saved, qPrintable(outDir.path()));
    return failures == 0 ? 0 : 1;
}
