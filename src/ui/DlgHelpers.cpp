#include "ui/DlgHelpers.h"

#include "ui/FormUtils.h"
#include "ui/ShowMessageDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

void TPlacedDialog::Place(QPoint APos)
{
    FPos = APos;
    if (layout())
        layout()->activate();
    PlaceForm(this, FPos);
}

void TPlacedDialog::reject()
{
    done(mrCancel);
}

void TPlacedDialog::showEvent(QShowEvent *AEvent)
{
    QDialog::showEvent(AEvent);
    PlaceForm(this, FPos);
}

QString ControlHint(const QWidget *AControl)
{
    if (!AControl)
        return {};
    const QLineEdit *edit = qobject_cast<const QLineEdit *>(AControl);
    if (const auto *combo = qobject_cast<const QComboBox *>(AControl))
        edit = combo->lineEdit();
    if (edit && !edit->placeholderText().isEmpty())
        return edit->placeholderText();
    // The line edit inside a combo box carries no tool tip of its own.
    if (AControl->toolTip().isEmpty() && edit && edit != AControl)
        return edit->toolTip();
    return AControl->toolTip();
}

void AddHintKey(QWidget *AForm)
{
    auto *shortcut = new QShortcut(QKeySequence(Qt::Key_F11), AForm);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, AForm, [] {
        // An empty hint shows nothing.
        TypedMsgDlg(ControlHint(QApplication::focusWidget()), mdtCustom);
    });
}

void FitTextArea(TFitScrollArea *AArea, QLabel *ALabel, const QScreen *AScreen, int AWidthShare,
                 int AHeightShare)
{
    const QRect area = AScreen ? AScreen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize maxSize(qMax(100, area.width() * AWidthShare / 100),
                        qMax(50, area.height() * AHeightShare / 100));
    // Keeps the text off a scroll bar.
    ALabel->setContentsMargins(0, 0, 6, 0);
    ALabel->setWordWrap(false);
    if (ALabel->sizeHint().width() > maxSize.width())
        ALabel->setWordWrap(true);
    AArea->SetMaxHint(maxSize);
}

TFitScrollArea *NewTextArea(QLabel *ALabel, const char *AObjectName, QWidget *AParent)
{
    ALabel->setObjectName(QString::fromLatin1(AObjectName));
    ALabel->setTextFormat(Qt::PlainText);
    ALabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *area = new TFitScrollArea(AParent);
    area->setWidget(ALabel);
    return area;
}

QIcon ThemedIcon(const QString &AThemeName, const QPalette &APalette,
                 const std::function<void(QPainter &, const QColor &)> &ADraw)
{
    const QIcon themed = QIcon::fromTheme(AThemeName);
    if (!themed.isNull())
        return themed;
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    ADraw(painter, APalette.color(QPalette::ButtonText));
    painter.end();
    return QIcon(pixmap);
}

QPushButton *NewResultButton(QDialog *ADialog, QWidget *AParent, const QString &ACaption,
                             const char *AObjectName, int AResult, bool ADefault,
                             std::function<bool()> ACheck)
{
    auto *button = new QPushButton(ACaption, AParent);
    button->setObjectName(QString::fromLatin1(AObjectName));
    button->setDefault(ADefault);
    QObject::connect(button, &QPushButton::clicked, ADialog, [ADialog, AResult, check = std::move(ACheck)] {
        if (!check || check())
            ADialog->done(AResult);
    });
    return button;
}
