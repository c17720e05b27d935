#include "ui/MemoDlg.h"

#include "ui/DlgHelpers.h"
#include "ui/FormUtils.h"
#include "ui/ShowMessageDlg.h"
#include "util/Translate.h"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

TMemoDialog::TMemoDialog(QWidget *AParent)
    : TPlacedDialog(AParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("MemoDialog"));

    Descriptor = new QLabel;
    FDescArea = NewTextArea(Descriptor, "Descriptor", this);
    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setTabChangesFocus(true);
    Memo->setMinimumHeight(140);
    Descriptor->setBuddy(Memo);

    OKBtn = NewResultButton(this, this, DTr("OK"), "OKBtn", mrOk, true);
    CancelBtn = NewResultButton(this, this, DTr("Cancel"), "CancelBtn", mrCancel);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(FDescArea);
    layout->addWidget(Memo, 1);
    layout->addLayout(buttons);
    resize(360, 260);

    AddHintKey(this);
    SetScreenReaderTabStops(this);
}

QString TMemoDialog::LinesText(const QString &APlainText)
{
    if (APlainText.isEmpty())
        return {};
    QStringList lines = APlainText.split(u'\n');
    // A final line break ends the last line; it starts no empty one.
    if (lines.last().isEmpty())
        lines.removeLast();
    QString text;
    for (const QString &line : std::as_const(lines))
        text += line + u'\n';
    return text;
}

bool TMemoDialog::Execute(QPoint APos, const QString &Titel, const QString &Desc, QString &AText)
{
    setWindowTitle(Titel);
    Descriptor->setText(Desc);
    FDescArea->setVisible(!Desc.isEmpty());
    Memo->setToolTip(Desc);

    // Measured unwrapped: as wide as the widest line needs, by a tenth more.
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QString text = QString(AText).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Memo->setPlainText(text);
    int widest = 0;
    for (const QString &line : text.split(u'\n'))
        widest = qMax(widest, Memo->fontMetrics().horizontalAdvance(line));
    const int needed = widest * 110 / 100;
    Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo->moveCursor(QTextCursor::End);
    Memo->setFocus();

    Place(APos);
    const QScreen *screen = ScreenNearest(frameGeometry().topLeft());
    const int halfScreen = screen ? screen->availableGeometry().width() / 2 : 640;
    FitTextArea(FDescArea, Descriptor, screen, 45, 15);
    layout()->activate();
    const int frame = width() - Memo->viewport()->width();
    if (Memo->viewport()->width() < needed)
        resize(qMin(needed + frame, halfScreen), height());
    Place(APos);

    if (exec() != mrOk)
        return false;
    AText = LinesText(Memo->toPlainText());
    return true;
}

bool EditMemoText(QPoint APos, const QString &Titel, const QString &Desc, QString &AText)
{
    TMemoDialog dialog(QApplication::activeWindow());
    return dialog.Execute(APos, Titel, Desc, AText);
}
