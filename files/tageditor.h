#pragma once

#include "encoder/lameencoderx.h"

#include "common/modalwindow.h"

#include <memory>

class Prompter;

namespace Ui {
class Dialog;
}

// The tag editor, "Edit Tags Info": a box for each typed tag field (encoder/core/tagfields.cpp),
// whose texts OK hands to the encoder's tag members. Made afresh for every opening (the boxes always start empty) and deleted on close.
class Dialog : public ModalWindow
{
    Q_OBJECT

public:
    Dialog(LameEncoderX &encoder, Prompter &prompter, QWidget *parent);
    ~Dialog() override;

private:
    void Form_Load();
    void OKButton_Click();
    void CancelButton_Click();

    std::unique_ptr<Ui::Dialog> ui;
    LameEncoderX &m_encoder;
    Prompter &m_prompter;
};
