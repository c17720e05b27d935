#include "support/TestSupport.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace TestSupport {

QString DataFile(const QString &name) { return QStringLiteral(AK_TEST_SUPPORT_DATA_DIR "/") + name; }

QByteArray ReadAll(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteAll(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

int FileMode(const QString &fileName)
{
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

bool IsRoot() { return ::geteuid() == 0; }

} // namespace TestSupport
