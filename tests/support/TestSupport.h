#pragma once

#include <QByteArray>
#include <QString>

// Shared helpers for the tests.
namespace TestSupport {

// Path of a file below tests/data.
QString DataFile(const QString &name);

// Whole content of a file, or an empty array when it cannot be read.
QByteArray ReadAll(const QString &fileName);

// Writes bytes to a file (replacing it); false on failure.
bool WriteAll(const QString &fileName, const QByteArray &bytes);

// Permission bits (st_mode & 07777) of a file, -1 when it does not exist.
int FileMode(const QString &fileName);

// True when the process runs as root (some tests need it and skip otherwise).
bool IsRoot();

// A small tmpfs mounted on an existing folder for the life of the object, to make a file
// system read-only or full under a test. Needs root (CAP_SYS_ADMIN); where mounting is
// refused, Mounted() is false and Error() says why, for the test's QSKIP.
class TScratchMount
{
public:
    TScratchMount(const QString &folder, qint64 sizeBytes);
    ~TScratchMount();
    TScratchMount(const TScratchMount &) = delete;
    TScratchMount &operator=(const TScratchMount &) = delete;

    bool Mounted() const { return FMounted; }
    const QString &Error() const { return FError; }
    bool RemountReadOnly();

private:
    QByteArray FFolder;
    bool FMounted = false;
    QString FError;
};

} // namespace TestSupport
