#pragma once

#include <QString>

#include <vector>

// One task file of a group.
struct TTaskEntry
{
    QString FileName;
    bool Enabled = true;
    // The pidfd of the entry's backup-program process while a parallel run is in
    // progress; -1 at all other times.
    int ProcessHandle = -1;
};

// One backup group: its name, the account its backups run under, the run options and
// the ordered task files.
class TTaskProperties
{
public:
    // A new group with the values of Reset.
    explicit TTaskProperties(const QString &ADesc);

    // Every field except Desc back to its initial value; the task list is emptied.
    void Reset();
    void ClearTasks();
    // Appends an entry and returns its index.
    int AddTask(const QString &AFilename, bool AEnabled);
    // False for an index outside the list.
    bool IsChecked(int AIndex) const;
    // Does nothing for an index outside the list.
    void RemoveTask(int AIndex);
    int TaskCount() const { return int(Tasks.size()); }

    QString Desc;
    QString User;
    QString Pwd;
    QString AltLogDir;
    bool PwdPrompt = true;
    bool NoSplash = false;
    bool PlaySound = false;
    bool ParProc = false;
    bool RunAs = false;
    int Delay = 5;
    int StartDelay = 0;
    int Status = 1;
    std::vector<TTaskEntry> Tasks;
};
