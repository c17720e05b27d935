#pragma once

#include <QMainWindow>

// The program's main window: edits the groups and starts them.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TMainForm(QWidget *parent = nullptr);
};
