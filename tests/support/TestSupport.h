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

} // namespace TestSupport
