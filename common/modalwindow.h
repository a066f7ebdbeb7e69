#pragma once

#include <QDialog>

// What the program's secondary windows share: a fixed dialog border without minimise or
// maximise, the program's icon, no task-bar entry, and unloading on close. Esc closes only
// windows that have a cancel button.
class ModalWindow : public QDialog
{
    Q_OBJECT

public:
    explicit ModalWindow(QWidget *parent, bool escapeCloses = false);

protected:
    // Call at the end of the constructor, once the layout has its size.
    void fixLayout();
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_escapeCloses;
};
