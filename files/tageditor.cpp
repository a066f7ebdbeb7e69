#include "tageditor.h"
#include "ui_tageditor.h"

#include "common/prompter.h"
#include "encoder/core/tagfields.h"

#include <algorithm>
#include <string_view>
#include <vector>

using Member = LameEncoderX::Member;

namespace {

// The form's box for each typed tag text, by its objectName.
struct TagBox
{
    TagKey key;
    const char *box;
};

constexpr TagBox kTagBoxes[] = {
    {TagKey::Artist, "Text1"}, {TagKey::Title, "Text2"}, {TagKey::Album, "Text3"},
    {TagKey::Genre, "Text4"},  {TagKey::Year, "Text5"},
};

const char *boxFor(TagKey key)
{
    const auto found = std::ranges::find(kTagBoxes, key, &TagBox::key);
    return found == std::end(kTagBoxes) ? nullptr : found->box;
}

// The editor reads and writes the tags in the order of their names (album, artist, genre,
// title, year), which decides the first refusal shown; the table's order is the ID3 tag's.
std::vector<TagField> tagsByName()
{
    std::vector<TagField> tags(tagFields().begin(), tagFields().end());
    std::ranges::sort(tags, {}, [](const TagField &tag) { return std::string_view(tag.name); });
    return tags;
}

} // namespace

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
    for (const TagField &tag : tagsByName())
        (void)m_encoder.write(tag.member, m_encoder.read(tag.member).toString());
}

void Dialog::OKButton_Click()
{
    for (const TagField &tag : tagsByName()) {
        const char *name = boxFor(tag.key);
        const QLineEdit *box = name ? findChild<QLineEdit *>(QLatin1String(name)) : nullptr;
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
