#include "frmlogin.h"
#include "ui_frmlogin.h"

#include "texts.h"
#include "windowstyle.h"

namespace kolta {

frmLogin::frmLogin(Module1 &session, Desktop &desktop, QWidget *parent)
    : Dialog(parent, Escape::Cancels)
    , m_ui(std::make_unique<Ui::frmLogin>())
    , m_session(session)
    , m_cmd(desktop, this)
{
    m_ui->setupUi(this);
    makeFixedDialog(this, 409, 154);
    m_ui->txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    m_cmd.Filter = QString(texts::SystemDbFilter);

    connect(m_ui->cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(m_ui->cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
    connect(m_ui->Command1, &QPushButton::clicked, this, &frmLogin::Command1_Click);
}

frmLogin::~frmLogin() = default;

void frmLogin::cmdOK_Click()
{
    m_session.gSystemDatabase = m_ui->Text1->text();
    m_session.gUserId = m_ui->txtUserName->text();
    m_session.gPassword = m_ui->txtPassword->text();
    m_session.gLoginCancelled = 0;
    hide();
}

void frmLogin::cmdCancel_Click()
{
    m_session.gLoginCancelled = -1;
    hide();
}

void frmLogin::Command1_Click()
{
    if (m_cmd.ShowOpen() != DialogResult::Ok)
        return;
    m_ui->Text1->setText(m_cmd.FileName);
}

void frmLogin::showModal()
{
    if (!isVisible())
        centerOnScreen(this);
    m_ui->Text1->setFocus();
    exec();
}

void frmLogin::reject()
{
    cmdCancel_Click();
}

} // namespace kolta
