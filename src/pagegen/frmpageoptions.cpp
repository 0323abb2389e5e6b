#include "frmpageoptions.h"
#include "ui_frmpageoptions.h"

#include "windowstyle.h"

namespace kolta {

namespace {

inline constexpr int MostRowsPerPage = 9999;

} // namespace

frmPageOptions::frmPageOptions(Module1 &session, Desktop &desktop, QWidget *parent)
    : Dialog(parent, Escape::Cancels)
    , m_ui(std::make_unique<Ui::frmPageOptions>())
    , m_session(session)
    , m_desktop(desktop)
{
    m_ui->setupUi(this);
    makeFixedDialog(this, 360, 130);
    centerOnScreen(this);
    m_ui->txtRows->setText(QString::number(session.gRowsPerPage));
    m_ui->txtNoRecords->setText(session.gNoRecordsText);
    m_ui->txtRows->setFocus();

    connect(m_ui->OKButton, &QPushButton::clicked, this, &frmPageOptions::OKButton_Click);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &frmPageOptions::CancelButton_Click);
}

frmPageOptions::~frmPageOptions() = default;

void frmPageOptions::OKButton_Click()
{
    // Digits only: toInt alone would take a sign or blanks around the number.
    const QString typed = m_ui->txtRows->text().trimmed();
    bool whole = !typed.isEmpty() && typed.size() <= 4;
    for (const QChar ch : typed)
        whole = whole && ch >= u'0' && ch <= u'9';
    if (!whole || typed.toInt() > MostRowsPerPage) {
        m_desktop.messageBox(this, QStringLiteral("Rows per page must be a whole number from 0 to %1 (0 shows every "
                                                  "record on one page).")
                                       .arg(MostRowsPerPage));
        m_ui->txtRows->setFocus();
        m_ui->txtRows->selectAll();
        return;
    }
    m_session.gRowsPerPage = typed.toInt();
    m_session.gNoRecordsText = m_ui->txtNoRecords->text();
    hide();
}

void frmPageOptions::CancelButton_Click()
{
    hide();
}

} // namespace kolta
