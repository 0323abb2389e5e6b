#include "frmabout.h"
#include "ui_frmabout.h"

#include "fonts.h"
#include "richtext.h"
#include "rtfreader.h"
#include "windowstyle.h"

namespace kolta {

frmAbout::frmAbout(Module1 &, Desktop &, QWidget *parent)
    : Dialog(parent, Escape::Ignored)
    , m_ui(std::make_unique<Ui::frmAbout>())
{
    m_ui->setupUi(this);
    // Text that carries no font of its own is shown in the classic dialog font.
    const QFont font = classicDialogFont();
    m_ui->RichTextBox1->setFont(font);
    m_ui->RichTextBox1->document()->setDefaultFont(font);
    // 7065 x 4545 twips.
    makeFixedDialog(this, 471, 303);
    centerOnScreen(this);

    connect(m_ui->OKButton, &QPushButton::clicked, this, &frmAbout::OKButton_Click);
    // The first control in the tab order has the focus when the window first shows.
    m_ui->OKButton->setFocus();
}

frmAbout::~frmAbout() = default;

Result<void> frmAbout::LoadFile(const QString &path)
{
    QTextDocument &document = *m_ui->RichTextBox1->document();
    const Result<about::RtfDocument> rtf = about::readRtfFile(path);
    if (!rtf.ok()) {
        document.clear();
        return rtf.error();
    }
    about::fillTextDocument(document, rtf.value());
    m_ui->RichTextBox1->moveCursor(QTextCursor::Start);
    return {};
}

void frmAbout::OKButton_Click()
{
    hide();
}

} // namespace kolta
