#pragma once

#include "config/TaskProperties.h"
#include "mail/MailData.h"

#include <QString>

#include <memory>
#include <vector>

// The outcome of loading or saving the configuration: Ok, or the message to show.
struct TConfigResult
{
    bool Ok = true;
    QString Message;
};

// The starter's own state as its configuration file keeps it: the backup groups, the
// current group, the last task folder, the mail settings and the main window's place.
// Owned by the main window; load and save each open the file for one operation only.
class TStarterConfig
{
public:
    // Reads the configuration. A missing file gives the defaults; one that cannot be read
    // gives them too, with the reason as message. Top and Left keep their values when the
    // file has none, so set them to the window's designed position first; Height and
    // Width are never read. ALastTask, the group named on the command line, takes
    // precedence over the one stored. Chooses the current group.
    TConfigResult Load(const QString &AIniName, const QString &ALastTask);

    // Writes the whole configuration; AProgramName and AVersion identify the program in
    // section "Unicode". Sections of other owners keep their content and place. On failure
    // the old file stays as it was, the configuration in memory is unchanged and the
    // message says why ("Error writing to ..."). The file is private to its owner, since
    // the stored passwords can be decrypted by anyone who has the program.
    TConfigResult Save(const QString &AIniName, const QString &AProgramName, const QString &AVersion);

    int GroupCount() const { return int(Groups.size()); }
    // Index of the first group of that name, compared without regard to case; -1 if none.
    int FindGroup(const QString &AName) const;
    // The group at TaskIndex, or nullptr.
    TTaskProperties *CurrentGroup() const;
    // Appends a new group (with the values of TTaskProperties::Reset); returns its index.
    int AddGroup(const QString &ADesc);
    // Deletes a group. TaskIndex stays on the same group; when that is the one deleted,
    // it moves to the next group, or to the last one (-1 when none is left).
    void RemoveGroup(int AIndex);

    // The groups in the order of the group selector.
    std::vector<std::unique_ptr<TTaskProperties>> Groups;
    int TaskIndex = -1;
    QString LastTask;
    QString LastDir;
    TMailData MailData;
    // Main window: top and left in screen pixels, and its client height and width.
    int Top = 0;
    int Left = 0;
    int Height = 0;
    int Width = 0;
};

// The name of a group's section, also the name of a group stored without one.
QString GroupSectionName(int AIndex);
