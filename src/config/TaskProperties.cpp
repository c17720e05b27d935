#include "config/TaskProperties.h"

TTaskProperties::TTaskProperties(const QString &ADesc) : Desc(ADesc)
{
    Reset();
}

void TTaskProperties::Reset()
{
    User.clear();
    Pwd.clear();
    AltLogDir.clear();
    PwdPrompt = true;
    NoSplash = false;
    PlaySound = false;
    ParProc = false;
    RunAs = false;
    Delay = 5;
    StartDelay = 0;
    Status = 1;
    ClearTasks();
}

void TTaskProperties::ClearTasks()
{
    Tasks.clear();
}

int TTaskProperties::AddTask(const QString &AFilename, bool AEnabled)
{
    Tasks.push_back(TTaskEntry{AFilename, AEnabled, -1});
    return int(Tasks.size()) - 1;
}

bool TTaskProperties::IsChecked(int AIndex) const
{
    return AIndex >= 0 && AIndex < TaskCount() && Tasks[size_t(AIndex)].Enabled;
}

void TTaskProperties::RemoveTask(int AIndex)
{
    if (AIndex >= 0 && AIndex < TaskCount())
        Tasks.erase(Tasks.begin() + AIndex);
}
