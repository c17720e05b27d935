#include "util/SystemInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSysInfo>

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <vector>

namespace {

// The effective user's password-database entry field, empty when there is none.
QString PasswordField(bool home)
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0)
        size = 16384;
    std::vector<char> buffer(size_t(size), '\0');
    passwd entry{};
    passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString();
    return QFile::decodeName(home ? found->pw_dir : found->pw_name);
}

// An XDG base folder from its variable; XDG ignores relative values.
QString XdgBaseFolder(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    const QString home = GetUserProfileFolder();
    return home.isEmpty() ? QString() : home + u'/' + fallback;
}

// The value of NAME="..." in user-dirs.dirs: "$HOME/..." or an absolute path in double
// quotes, with backslash escapes as a shell would read them. Empty when the line is
// missing or malformed; the last valid line of a name wins, as in a shell.
QString UserDirFromFile(const char *name)
{
    QFile file(GetAppDataFolder() + QStringLiteral("/user-dirs.dirs"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray prefix = QByteArray(name) + "=\"";
    QString result;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(64 * 1024).trimmed();
        if (!line.startsWith(prefix))
            continue;
        QByteArray value;
        bool closed = false;
        for (qsizetype i = prefix.size(); i < line.size(); ++i) {
            const char c = line[i];
            if (c == '\\' && i + 1 < line.size()) {
                value += line[++i];
            } else if (c == '"') {
                closed = i + 1 == line.size();
                break;
            } else {
                value += c;
            }
        }
        if (!closed)
            continue;
        QString path = QFile::decodeName(value);
        if (path == QLatin1String("$HOME") || path.startsWith(QLatin1String("$HOME/")))
            path = GetUserProfileFolder() + path.mid(5);
        if (QDir::isAbsolutePath(path))
            result = QDir::cleanPath(path);
    }
    return result;
}

QString UserDir(const char *name, const char *fallback)
{
    const QString dir = UserDirFromFile(name);
    if (!dir.isEmpty())
        return dir;
    const QString home = GetUserProfileFolder();
    return home.isEmpty() ? QString() : home + u'/' + QLatin1String(fallback);
}

} // namespace

QString GetUserLogonName()
{
    return PasswordField(false);
}

QString GetDomainUserName()
{
    return GetUserLogonName();
}

QString GetComputerNameText()
{
    const QString host = QSysInfo::machineHostName();
    return host.left(host.indexOf(u'.'));
}

QString GetUserProfileFolder()
{
    const QString home = qEnvironmentVariable("HOME");
    return QDir::cleanPath(home.isEmpty() ? PasswordField(true) : home);
}

QString GetAppDataFolder()
{
    return XdgBaseFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString GetLocalAppDataFolder()
{
    return XdgBaseFolder("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString GetDocumentsFolder()
{
    return UserDir("XDG_DOCUMENTS_DIR", "Documents");
}

QString GetDesktopFolder()
{
    return UserDir("XDG_DESKTOP_DIR", "Desktop");
}

QString GetPublicFolder()
{
    return UserDir("XDG_PUBLICSHARE_DIR", "Public");
}

QString GetFavoritesFolder()
{
    return QString();
}

QString GetProgramFilesFolder()
{
    const QString program = QCoreApplication::instance()
                                ? QCoreApplication::applicationFilePath()
                                : QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (program.isEmpty())
        return QString();
    return QDir::cleanPath(program + QStringLiteral("/../.."));
}

QString GetAllUsersFolder()
{
    return QStringLiteral("/var/lib");
}

bool IsWindows64()
{
    utsname name{};
    if (uname(&name) != 0)
        return false;
    // x86_64, aarch64, ppc64le, riscv64, ... and the two that do not say so.
    const QByteArray machine(name.machine);
    return machine.contains("64") || machine == "s390x" || machine == "alpha";
}

bool IsProcess64()
{
    return sizeof(void *) == 8;
}
