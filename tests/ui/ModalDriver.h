#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

// Drives a modal dialog that the code under test opens: once the next modal dialog is
// shown, AAction runs on it (pressing keys or buttons as a user would). Should no dialog
// appear within five seconds, the driver gives up; should AAction leave the dialog open,
// the driver closes it after five seconds so that a failing test ends instead of hanging.
// DialogSeen() tells afterwards whether AAction ran.
class TModalDriver : public QObject
{
public:
    explicit TModalDriver(std::function<void(QWidget *)> AAction) : FAction(std::move(AAction))
    {
        FClock.start();
        connect(&FPoll, &QTimer::timeout, this, [this] { Poll(); });
        FPoll.start(10);
    }

    bool DialogSeen() const { return FSeen; }
    bool ClosedByDriver() const { return FClosedByDriver; }

private:
    void Poll()
    {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!FSeen) {
            if (dialog && dialog->isVisible()) {
                FSeen = true;
                FDialog = dialog;
                FClock.restart();
                // Keys and shortcuts go to the active window, as on a desktop.
                dialog->activateWindow();
                if (QTest::qWaitForWindowActive(dialog) && FDialog)
                    FAction(dialog);
            } else if (FClock.elapsed() > 5000) {
                FPoll.stop();
            }
            return;
        }
        if (!FDialog || QApplication::activeModalWidget() != FDialog) {
            FPoll.stop();
        } else if (FClock.elapsed() > 5000) {
            FPoll.stop();
            FClosedByDriver = true;
            FDialog->close();
        }
    }

    std::function<void(QWidget *)> FAction;
    QTimer FPoll;
    QElapsedTimer FClock;
    QPointer<QWidget> FDialog;
    bool FSeen = false;
    bool FClosedByDriver = false;
};

// Presses a key where the keyboard focus of ADialog is, as the user's keyboard would.
inline void PressKey(QWidget *ADialog, int AKey, Qt::KeyboardModifiers AModifiers = Qt::NoModifier)
{
    QWidget *target = QApplication::focusWidget();
    if (!target || target->window() != ADialog)
        target = ADialog;
    QTest::keyClick(target, Qt::Key(AKey), AModifiers);
}
