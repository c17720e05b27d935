#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <functional>

// Drives modal dialogs in GUI tests: exec() blocks the test, so the steps run from a
// timer once the expected dialog is the active modal widget.
namespace ModalHelper {

// Calls AAction with the first modal widget whose objectName is AName (any when empty)
// that appears within ATimeoutMs. The returned flag turns true once AAction ran.
inline std::shared_ptr<bool> OnNextModal(const QString &AName, std::function<void(QWidget *)> AAction,
                                         int ATimeoutMs = 5000)
{
    auto ran = std::make_shared<bool>(false);
    auto *timer = new QTimer(qApp);
    const QDeadlineTimer deadline(ATimeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && (AName.isEmpty() || modal->objectName() == AName)) {
            timer->stop();
            timer->deleteLater();
            *ran = true;
            AAction(modal);
        } else if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    return ran;
}

// The next message dialog's text is stored in AText and the dialog closed.
inline std::shared_ptr<bool> CloseNextMessage(QString *AText)
{
    return OnNextModal(QStringLiteral("ShowMsgDialog"), [AText](QWidget *dialog) {
        if (auto *info = dialog->findChild<QLabel *>(QStringLiteral("stInfo")))
            *AText = info->text();
        dialog->close();
    });
}

} // namespace ModalHelper
