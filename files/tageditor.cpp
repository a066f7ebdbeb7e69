#include "tageditor.h"
#include "ui_tageditor.h"

#include "common/prompter.h"

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
    for (Member tag : {Member::TagAlbum, Member::TagArtist, Member::TagGenre, Member::TagTitle,
                       Member::TagYear})
        (void)m_encoder.write(tag, m_encoder.read(tag).toString());
}

void Dialog::OKButton_Click()
{
    const std::pair<Member, QLineEdit *> writes[] = {
        {Member::TagAlbum, ui->Text3}, {Member::TagArtist, ui->Text1}, {Member::TagGenre, ui->Text4},
        {Member::TagTitle, ui->Text2}, {Member::TagYear, ui->Text5},
    };
    for (const auto &[member, box] : writes) {
        if (const Outcome written = m_encoder.write(member, box->text()); !written) {
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
