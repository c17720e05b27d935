#pragma once

#include <QString>

#include <sys/types.h>

namespace TestSupport {

// A real account for the life of the object, created with useradd -m and chpasswd and
// removed with userdel -r, so that PAM checks real passwords. Names are unique per test
// run ("aktu" + process id + "n" + count); accounts left behind by a crashed run of a
// process that no longer exists are removed the next time one is created. Needs root:
// otherwise, or when an account tool fails, Created() is false and Error() says why, for
// the test's QSKIP.
class TTestUser
{
public:
    // AWithGroup also creates a group of its own that the account is a member of, so
    // that supplementary groups can be checked.
    explicit TTestUser(const QString &APassword, bool AWithGroup = false);
    ~TTestUser();
    TTestUser(const TTestUser &) = delete;
    TTestUser &operator=(const TTestUser &) = delete;

    bool Created() const { return FCreated; }
    const QString &Error() const { return FError; }

    const QString &Name() const { return FName; }
    const QString &Password() const { return FPassword; }
    uid_t Uid() const { return FUid; }
    gid_t Gid() const { return FGid; }
    const QString &Home() const { return FHome; }
    // The extra group (only with AWithGroup); its id is 0 otherwise.
    const QString &GroupName() const { return FGroupName; }
    gid_t GroupId() const { return FGroupId; }

private:
    QString FName;
    QString FPassword;
    QString FGroupName;
    QString FHome;
    uid_t FUid = 0;
    gid_t FGid = 0;
    gid_t FGroupId = 0;
    bool FCreated = false;
    bool FUserAdded = false;
    bool FGroupAdded = false;
    QString FError;
};

} // namespace TestSupport
