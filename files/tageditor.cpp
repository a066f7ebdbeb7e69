#include "tageditor.h"
#include "ui_tageditor.h"

#include "common/prompter.h"
#include "encoder/core/tagfields.h"

using Member = LameEncoderX::Member;

Dialog::Dialog(LameEncoderX &encoder, Prompter &prompter, QWidget *parent)
    : ModalWindow(parent), ui(std::make_unique<Ui::Dialog>()), m_encoder(encoder), m_prompter(prompter)
{
    ui->setupUi(this);
    fixLayout();
    connect(ui->OKButton, &QPushButton::clicked, this, &Dialog::OKButton_Click);
    connect(ui->CancelButton, &QPushButton::clicked, this, &Dialog::CancelButton_Click);
    Form_Load();
}

Dialog::~Dialog() = default;

void Dialog::Form_Load()
{
    // The encoder refuses writes only during a run, and the editor cannot be opened then.
    (void)m_encoder.write(Member::SkipTags, false);
    // Each tag is read and written back unchanged; the boxes stay empty.
    for (const TagField &tag : tagFields())
        (void)m_encoder.write(tag.member, m_encoder.read(tag.member).toString());
}

void Dialog::OKButton_Click()
{
    for (const TagField &tag : tagFields()) {
        const QLineEdit *box = findChild<QLineEdit *>(QLatin1String(tag.editorBox));
        if (!box)
            continue; // a field the form has no box for keeps its text
        if (const Outcome written = m_encoder.write(tag.member, box->text()); !written) {
            // The dialog stays open with what was typed, so nothing is lost.
            showErrorFound(m_prompter, this, written.message);
            return;
        }
    }
    accept();
}

void Dialog::CancelButton_Click()
{
    reject();
}
