#include "app/MainForm.h"

#include "util/Translate.h"

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(Tr("Start Arkivo under different user account"));
    resize(640, 480);
}
