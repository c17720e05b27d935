#include "support/TestUsers.h"

#include "support/TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <utility>

namespace TestSupport {

namespace {

const QString UserPrefix = QStringLiteral("aktu");
const QString GroupPrefix = QStringLiteral("aktg");

bool UserExists(const QString &AName)
{
    return getpwnam(AName.toLocal8Bit().constData()) != nullptr;
}

bool GroupExists(const QString &AName)
{
    return getgrnam(AName.toLocal8Bit().constData()) != nullptr;
}

void RemoveUser(const QString &AName)
{
    // userdel fails while the account still runs processes; the tests end theirs, but a
    // forced removal keeps a failed test from leaving the account behind.
    if (!RunSystemTool(QStringLiteral("userdel"), {QStringLiteral("-r"), AName}).isEmpty() &&
        UserExists(AName))
        RunSystemTool(QStringLiteral("userdel"), {QStringLiteral("-r"), QStringLiteral("-f"), AName});
}

// Accounts and groups of earlier runs whose process is gone (a crash, a kill).
void RemoveStaleAccounts()
{
    static bool done = false;
    if (std::exchange(done, true))
        return;
    const QRegularExpression pattern(QStringLiteral("^akt[ug](\\d+)n\\d+$"));
    const auto stale = [&](const char *AName) {
        const auto match = pattern.match(QString::fromLocal8Bit(AName));
        return match.hasMatch() && kill(pid_t(match.captured(1).toLongLong()), 0) != 0 && errno == ESRCH;
    };
    QStringList users, groups;
    setpwent();
    while (const passwd *entry = getpwent())
        if (stale(entry->pw_name))
            users << QString::fromLocal8Bit(entry->pw_name);
    endpwent();
    setgrent();
    while (const group *entry = getgrent())
        if (stale(entry->gr_name))
            groups << QString::fromLocal8Bit(entry->gr_name);
    endgrent();
    for (const QString &name : users)
        RemoveUser(name);
    for (const QString &name : groups)
        if (GroupExists(name))
            RunSystemTool(QStringLiteral("groupdel"), {name});
}

} // namespace

TTestUser::TTestUser(const QString &APassword, bool AWithGroup) : FPassword(APassword)
{
    if (geteuid() != 0) {
        FError = QStringLiteral("creating test accounts needs root");
        return;
    }
    RemoveStaleAccounts();
    static int count = 0;
    const QString suffix = QString::number(getpid()) + u'n' + QString::number(++count);
    FName = UserPrefix + suffix;

    QStringList args{QStringLiteral("-m"), QStringLiteral("-s"), QStringLiteral("/bin/sh")};
    if (AWithGroup) {
        FGroupName = GroupPrefix + suffix;
        FError = RunSystemTool(QStringLiteral("groupadd"), {FGroupName});
        if (!FError.isEmpty())
            return;
        FGroupAdded = true;
        args << QStringLiteral("-G") << FGroupName;
    }
    FError = RunSystemTool(QStringLiteral("useradd"), args << FName);
    if (!FError.isEmpty())
        return;
    FUserAdded = true;
    if (!FPassword.isEmpty()) {
        FError = RunSystemTool(QStringLiteral("chpasswd"), {}, (FName + u':' + FPassword + u'\n').toUtf8());
        if (!FError.isEmpty())
            return;
    }
    const passwd *entry = getpwnam(FName.toLocal8Bit().constData());
    if (entry == nullptr) {
        FError = QStringLiteral("the new account %1 cannot be found").arg(FName);
        return;
    }
    FUid = entry->pw_uid;
    FGid = entry->pw_gid;
    FHome = QString::fromLocal8Bit(entry->pw_dir);
    if (AWithGroup) {
        const group *extra = getgrnam(FGroupName.toLocal8Bit().constData());
        if (extra == nullptr) {
            FError = QStringLiteral("the new group %1 cannot be found").arg(FGroupName);
            return;
        }
        FGroupId = extra->gr_gid;
    }
    FCreated = true;
}

TTestUser::~TTestUser()
{
    if (FUserAdded)
        RemoveUser(FName);
    if (FGroupAdded && GroupExists(FGroupName))
        RunSystemTool(QStringLiteral("groupdel"), {FGroupName});
}

} // namespace TestSupport
