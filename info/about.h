#pragma once

#include "common/modalwindow.h"

#include <functional>
#include <memory>

namespace Ui {
class frmAbout;
}

// The About window: title, description, credits, the home page (a click opens it) and OK,
// which Enter and Esc both press.
class frmAbout : public ModalWindow
{
    Q_OBJECT

public:
    frmAbout(std::function<void()> openHomePage, QWidget *parent);
    ~frmAbout() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void cmdOK_Click();
    void Label4_Click();
    void Label5_Click();

    std::unique_ptr<Ui::frmAbout> ui;
    std::function<void()> m_openHomePage;
};
