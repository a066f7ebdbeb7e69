// Opening the tag editor from the Edit Tags button and the Edit menu.
#include "app/form1.h"

#include "tageditor.h"

void Form1::openTagEditor()
{
    if (!m_dialog)
        m_dialog = new Dialog(*m_encoder, *m_prompter, this);
    m_dialog->exec(); // deletes itself on close
}

void Form1::bttags_Click()
{
    openTagEditor();
}

void Form1::mnuedittags_Click()
{
    openTagEditor();
}
