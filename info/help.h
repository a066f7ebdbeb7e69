#pragma once

#include "common/modalwindow.h"

#include <memory>

namespace Ui {
class Help;
}

// The help window: the fixed help text, read-only, and OK.
class Help : public ModalWindow
{
    Q_OBJECT

public:
    explicit Help(QWidget *parent);
    ~Help() override;

    // The help text exactly as shipped: 63 lines, each ended by CR LF.
    static QString text();

private:
    void OKButton_Click();

    std::unique_ptr<Ui::Help> ui;
};
