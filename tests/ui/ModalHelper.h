#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

// Drives modal dialogs in GUI tests: exec() blocks the test, so the steps run from a
// timer once the expected dialog is the active modal window.
namespace ModalHelper {

// Calls the action with the first modal widget named AName (any when empty) that is shown
// and active within ATimeoutMs. When the time is up, a modal widget still open is closed,
// and so is the dialog the action left open ten seconds after it returned: a failing test
// ends instead of waiting for a dialog nobody answers. The driver stops when it goes out
// of scope, so that it never acts on a later test's dialog.
class TModalDriver
{
public:
    TModalDriver(const QString &AName, std::function<void(QWidget *)> AAction, int ATimeoutMs = 5000)
        : FAction(std::move(AAction)), FDeadline(ATimeoutMs)
    {
        QObject::connect(&FTimer, &QTimer::timeout, &FTimer, [this, AName] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal && modal->isVisible() && modal->isActiveWindow() &&
                (AName.isEmpty() || modal->objectName() == AName)) {
                FTimer.stop();
                FRan = true;
                QPointer<QWidget> dialog = modal;
                FAction(modal);
                QTimer::singleShot(10000, &FTimer, [dialog] {
                    if (dialog && dialog->isVisible())
                        dialog->close();
                });
            } else if (FDeadline.hasExpired()) {
                FTimer.stop();
                if (modal)
                    modal->close();
            }
        });
        FTimer.start(10);
    }
    TModalDriver(const TModalDriver &) = delete;
    TModalDriver &operator=(const TModalDriver &) = delete;

    bool Ran() const { return FRan; }

private:
    std::function<void(QWidget *)> FAction;
    QDeadlineTimer FDeadline;
    QTimer FTimer;
    bool FRan = false;
};

// Notes the text of the next message dialog and closes it.
class TMessageCatcher
{
public:
    TMessageCatcher()
        : FDriver(QStringLiteral("ShowMsgDialog"), [this](QWidget *dialog) {
              if (auto *info = dialog->findChild<QLabel *>(QStringLiteral("stInfo")))
                  FText = info->text();
              dialog->close();
          })
    {
    }

    bool Ran() const { return FDriver.Ran(); }
    const QString &Text() const { return FText; }
    // Waits (processing events) until the message was seen; false after the time-out.
    bool Wait() const
    {
        return QTest::qWaitFor([this] { return FDriver.Ran(); });
    }

private:
    QString FText;
    TModalDriver FDriver;
};

// The control named AName in ADialog; a missing one ends the test run, since every step
// after it would fail anyway.
template <typename T> T *Control(QWidget *ADialog, const char *AName)
{
    T *control = ADialog->findChild<T *>(QString::fromLatin1(AName));
    if (!control)
        qFatal("no control %s", AName);
    return control;
}

// Gives AControl the focus, presses F11 and returns the text of the hint message that
// appeared (empty when none did).
inline QString PressF11(QWidget *AControl)
{
    AControl->setFocus();
    const TMessageCatcher catcher;
    QTest::keyClick(AControl, Qt::Key_F11);
    return catcher.Wait() ? catcher.Text() : QString();
}

} // namespace ModalHelper
