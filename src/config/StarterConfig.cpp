#include "config/StarterConfig.h"

#include "config/UnicodeIniFile.h"
#include "mail/PasswordCrypt.h"
#include "util/Errors.h"
#include "util/FileUtils.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <sys/stat.h>

namespace {

const QString ConfigSection = QStringLiteral("Config");
const QString GlobalSection = QStringLiteral("Global");
const QString TaskFileKey = QStringLiteral("TaskFile");
const QChar DisabledMark = u'#';

// Group sections read beyond the number of sections in the file. Missing group sections
// still give groups with default values, but a damaged "TaskCount" must not create
// billions of them.
constexpr int64_t MissingGroupMargin = 100;

QString TaskFileKeyName(int64_t AIndex)
{
    return TaskFileKey + ZeroPad(2, AIndex);
}

// One more than the highest number of a "TaskFile" key in the section (0 when there is
// none): no key at or beyond it can hold an entry, whatever "Count" claims.
int64_t TaskFileKeyBound(const TIniDocument &AIni, const QString &ASection)
{
    int64_t bound = 0;
    for (const QString &key : AIni.ReadSection(ASection)) {
        if (!key.startsWith(TaskFileKey, Qt::CaseInsensitive))
            continue;
        const QStringView digits = QStringView(key).sliced(TaskFileKey.size());
        if (digits.isEmpty() ||
            !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
            continue;
        bool ok = false;
        const qlonglong index = digits.toLongLong(&ok);
        if (ok && index < INT32_MAX)
            bound = std::max<int64_t>(bound, index + 1);
    }
    return bound;
}

bool TaskFileExists(const QString &AFileName)
{
    const QFileInfo info(AFileName);
    return info.exists() && !info.isDir();
}

std::unique_ptr<TTaskProperties> ReadGroup(const TIniDocument &AIni, const QString &ASection)
{
    auto group =
        std::make_unique<TTaskProperties>(AIni.ReadString(ASection, QStringLiteral("Description"), ASection));
    group->AltLogDir = AIni.ReadString(ASection, QStringLiteral("LogDirectory"), QString());
    group->User = AIni.ReadString(ASection, QStringLiteral("Username"), QString());
    group->Pwd = LoadPassword(AIni.ReadString(ASection, QStringLiteral("Password"), QString()));
    group->PwdPrompt = AIni.ReadBool(ASection, QStringLiteral("PasswordPrompt"), true);
    group->NoSplash = AIni.ReadBool(ASection, QStringLiteral("NoSplash"), false);
    // A new group starts without sounds, but older files without the key had them on.
    group->PlaySound = AIni.ReadBool(ASection, QStringLiteral("PlaySound"), true);
    group->ParProc = AIni.ReadBool(ASection, QStringLiteral("Parallel"), false);
    group->RunAs = AIni.ReadBool(ASection, QStringLiteral("RunAs"), false);
    group->StartDelay = AIni.ReadInteger(ASection, QStringLiteral("StartDelay"), 0);
    group->Delay = AIni.ReadInteger(ASection, QStringLiteral("WaitTime"), 5);
    group->Status = AIni.ReadInteger(ASection, QStringLiteral("StatusWindow"), 1);

    const int64_t count = std::min<int64_t>(AIni.ReadInteger(ASection, QStringLiteral("Count"), 0),
                                            TaskFileKeyBound(AIni, ASection));
    for (int64_t j = 0; j < count; ++j) {
        QString fileName = AIni.ReadString(ASection, TaskFileKeyName(j), QString());
        if (fileName.isEmpty())
            continue;
        const bool enabled = !fileName.startsWith(DisabledMark);
        if (!enabled)
            fileName.remove(0, 1);
        // Task files deleted since the last run are dropped without a word.
        if (TaskFileExists(fileName))
            group->AddTask(fileName, enabled);
    }
    return group;
}

void WriteGroup(TIniDocument &AIni, const QString &ASection, const QString &ADesc,
                const TTaskProperties &AGroup)
{
    AIni.EraseSection(ASection);
    AIni.WriteString(ASection, QStringLiteral("Description"), ADesc);
    AIni.WriteString(ASection, QStringLiteral("LogDirectory"), AGroup.AltLogDir);
    AIni.WriteString(ASection, QStringLiteral("Username"), AGroup.User);
    AIni.WriteString(ASection, QStringLiteral("Password"), StorePassword(AGroup.Pwd));
    AIni.WriteBool(ASection, QStringLiteral("PasswordPrompt"), AGroup.PwdPrompt);
    AIni.WriteBool(ASection, QStringLiteral("NoSplash"), AGroup.NoSplash);
    AIni.WriteBool(ASection, QStringLiteral("PlaySound"), AGroup.PlaySound);
    AIni.WriteBool(ASection, QStringLiteral("Parallel"), AGroup.ParProc);
    AIni.WriteBool(ASection, QStringLiteral("RunAs"), AGroup.RunAs);
    AIni.WriteInteger(ASection, QStringLiteral("StartDelay"), AGroup.StartDelay);
    AIni.WriteInteger(ASection, QStringLiteral("WaitTime"), AGroup.Delay);
    AIni.WriteInteger(ASection, QStringLiteral("StatusWindow"), AGroup.Status);
    AIni.WriteInteger(ASection, QStringLiteral("Count"), AGroup.TaskCount());
    for (int j = 0; j < AGroup.TaskCount(); ++j) {
        const TTaskEntry &entry = AGroup.Tasks[size_t(j)];
        AIni.WriteString(ASection, TaskFileKeyName(j),
                         entry.Enabled ? entry.FileName : DisabledMark + entry.FileName);
    }
}

// The file holds passwords that anyone with the program can decrypt: an existing file
// that others may read is made private before the new content goes into it (the save
// keeps the mode of the file it replaces).
void MakeFilePrivate(const QString &AFileName)
{
    const QByteArray path = QFile::encodeName(AFileName);
    struct stat st
    {
    };
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 077) == 0)
        return;
    if (::chmod(path.constData(), st.st_mode & 07700) != 0)
        qWarning("Cannot make \"%s\" private: %s", path.constData(), strerror(errno));
}

} // namespace

QString GroupSectionName(int AIndex)
{
    return QStringLiteral("Task") + ZeroPad(2, AIndex);
}

TConfigResult TStarterConfig::Load(const QString &AIniName, const QString &ALastTask)
{
    TConfigResult result;
    std::unique_ptr<TUnicodeIniFile> ini;
    try {
        ini = TUnicodeIniFile::CreateForRead(AIniName);
    } catch (const EExtFileStreamError &error) {
        // Go on with the defaults; the file itself stays untouched, since a save cannot
        // read it either.
        result = {false, error.Message()};
        ini = TUnicodeIniFile::CreateForRead(QString());
    }

    Groups.clear();
    TaskIndex = -1;
    Top = ini->ReadInteger(ConfigSection, QStringLiteral("Top"), Top);
    Left = ini->ReadInteger(ConfigSection, QStringLiteral("Left"), Left);
    MailData = TMailData::DefaultValues();
    MailData.LoadFromIni(*ini);
    LastTask = ALastTask.isEmpty() ? ini->ReadString(ConfigSection, QStringLiteral("LastTask"), QString())
                                   : ALastTask;
    LastDir = ini->ReadString(ConfigSection, QStringLiteral("LastDir"), QString());

    const int64_t count = std::min<int64_t>(ini->ReadInteger(ConfigSection, QStringLiteral("TaskCount"), 0),
                                            ini->ReadSections().size() + MissingGroupMargin);
    for (int64_t i = 0; i < count; ++i)
        Groups.push_back(ReadGroup(*ini, GroupSectionName(int(i))));

    TaskIndex = FindGroup(LastTask);
    if (TaskIndex < 0 && !Groups.empty())
        TaskIndex = 0;
    return result;
}

TConfigResult TStarterConfig::Save(const QString &AIniName, const QString &AProgramName,
                                   const QString &AVersion)
{
    try {
        auto ini = TUnicodeIniFile::CreateForWrite(AIniName, false);
        ini->EraseSection(GlobalSection);
        ini->WriteProgramInfo(QStringLiteral("Program"), AProgramName);
        ini->WriteProgramInfo(QStringLiteral("Version"), AVersion);
        ini->WriteInteger(ConfigSection, QStringLiteral("Top"), Top);
        ini->WriteInteger(ConfigSection, QStringLiteral("Left"), Left);
        ini->WriteInteger(ConfigSection, QStringLiteral("Height"), Height);
        ini->WriteInteger(ConfigSection, QStringLiteral("Width"), Width);
        MailData.SaveToIni(*ini);
        ini->WriteString(ConfigSection, QStringLiteral("LastTask"), LastTask);
        ini->WriteString(ConfigSection, QStringLiteral("LastDir"), LastDir);
        ini->WriteInteger(ConfigSection, QStringLiteral("TaskCount"), GroupCount());
        for (int i = 0; i < GroupCount(); ++i) {
            const TTaskProperties &group = *Groups[size_t(i)];
            const QString section = GroupSectionName(i);
            WriteGroup(*ini, section, group.Desc.isEmpty() ? section : group.Desc, group);
        }
        MakeFilePrivate(AIniName);
        ini->Close();
    } catch (const EIniWriteError &error) {
        return {false, error.Message()};
    } catch (const EExtFileStreamError &error) {
        // The existing file cannot be read, so it cannot be updated either.
        return {false, error.Message()};
    }
    // Unnamed groups are known by their section name from now on, as in the file.
    for (int i = 0; i < GroupCount(); ++i)
        if (Groups[size_t(i)]->Desc.isEmpty())
            Groups[size_t(i)]->Desc = GroupSectionName(i);
    return {};
}

int TStarterConfig::FindGroup(const QString &AName) const
{
    for (int i = 0; i < GroupCount(); ++i)
        if (Groups[size_t(i)]->Desc.compare(AName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TTaskProperties *TStarterConfig::CurrentGroup() const
{
    return TaskIndex >= 0 && TaskIndex < GroupCount() ? Groups[size_t(TaskIndex)].get() : nullptr;
}

int TStarterConfig::AddGroup(const QString &ADesc)
{
    Groups.push_back(std::make_unique<TTaskProperties>(ADesc));
    return GroupCount() - 1;
}

void TStarterConfig::RemoveGroup(int AIndex)
{
    if (AIndex < 0 || AIndex >= GroupCount())
        return;
    Groups.erase(Groups.begin() + AIndex);
    if (TaskIndex > AIndex || TaskIndex >= GroupCount())
        --TaskIndex;
}
