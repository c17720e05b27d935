#include "util/Translate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <libintl.h>

namespace {
constexpr const char *kProgramDomain = "akstarter";
constexpr const char *kDialogsDomain = "dialogs";
} // namespace

QString Tr(const char *text) { return QString::fromUtf8(dgettext(kProgramDomain, text)); }

QString DTr(const char *text) { return QString::fromUtf8(dgettext(kDialogsDomain, text)); }

QString TrN(const char *singular, const char *plural, unsigned long count)
{
    return QString::fromUtf8(dngettext(kProgramDomain, singular, plural, count));
}

void InitTranslation(const QString &localeDir)
{
    const QByteArray dir = QFile::encodeName(localeDir);
    for (const char *domain : {kProgramDomain, kDialogsDomain}) {
        bindtextdomain(domain, dir.constData());
        bind_textdomain_codeset(domain, "UTF-8");
    }
}

QString DefaultLocaleDir()
{
    const QString buildDir = QStringLiteral(AK_LOCALE_BUILD_DIR);
    const QString appDir = QCoreApplication::applicationDirPath();
    // Running from the build tree: use the catalogues compiled there.
    if (!appDir.isEmpty() && QFileInfo(buildDir).isDir() &&
        QDir::cleanPath(appDir).startsWith(QDir::cleanPath(buildDir + QStringLiteral("/.."))))
        return buildDir;
    return QDir::cleanPath(appDir + QStringLiteral("/../share/locale"));
}
