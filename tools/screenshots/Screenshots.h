#pragma once

#include <QString>

#include <functional>
#include <vector>

// One picture of the screenshot tool. Show opens a dialog modally, as the program does;
// the tool waits for the dialog, grabs it to "<name>-light.png" and "<name>-dark.png" and
// closes it. A control that is no dialog is shown inside a QDialog built for the purpose.
struct TScreenshot
{
    QString Name;
    std::function<void()> Show;
};

// The shots in the order they were registered.
std::vector<TScreenshot> &Screenshots();

// Registers a shot during static initialisation, so that each file of dialogs adds its own:
//   static const TScreenshotRegistrar info("msg-info", [] { InfoMsgDlg("..."); });
struct TScreenshotRegistrar
{
    TScreenshotRegistrar(const char *AName, std::function<void()> AShow)
    {
        Screenshots().push_back({QString::fromUtf8(AName), std::move(AShow)});
    }
};
