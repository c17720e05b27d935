#pragma once

#include <QString>

// Placeholders are words between two "%" that task files and the starter's command line
// use for folders, names, dates and the like. Each expansion function knows its own fixed
// list, matches a placeholder as a whole without regard to case, replaces every occurrence
// and leaves any other text alone.

// The folders of the user profile and of the program (without a trailing "/"), the user
// and computer names; used on the "ini" option's value. "%progpath%" is the program's
// folder of the running program's environment.
QString ExpandFolderPlaceholders(const QString &text);
// The same with the program's folder given.
QString ExpandFolderPlaceholders(const QString &text, const QString &programDir);
