#include "frmparameter.h"
#include "ui_frmparameter.h"

#include "jetsql.h"
#include "windowstyle.h"

namespace kolta {

frmParameter::frmParameter(Desktop &desktop, QWidget *parent)
    : Dialog(parent, Escape::Cancels)
    , m_ui(std::make_unique<Ui::frmParameter>())
    , m_desktop(desktop)
{
    m_ui->setupUi(this);
    makeFixedDialog(this, 244, 118);
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &frmParameter::cmdOK_Click);
    connect(m_ui->cmdCancel, &QPushButton::clicked, this, &frmParameter::cmdCancel_Click);
}

frmParameter::~frmParameter() = default;

void frmParameter::cmdOK_Click()
{
    const QString typed = m_ui->txtValue->text();
    const Result<QVariant> value = jetsql::parameterValue(
        jetsql::Parameter{m_parameter.name, int(m_parameter.type), m_parameter.size, true, QString()}, typed);
    if (!value.ok()) {
        m_desktop.messageBox(this, QStringLiteral("The value you entered isn't valid for this parameter."),
                             value.error().message + QStringLiteral(" Type it again, or press Cancel."));
        m_ui->txtValue->selectAll();
        m_ui->txtValue->setFocus();
        return;
    }
    m_accepted = true;
    hide();
}

void frmParameter::cmdCancel_Click()
{
    m_accepted = false;
    hide();
}

void frmParameter::reject()
{
    cmdCancel_Click();
}

std::optional<QString> frmParameter::ask(const QueryParameter &parameter)
{
    m_parameter = parameter;
    m_accepted = false;
    m_ui->lblName->setText(parameter.name);
    m_ui->txtValue->setText(parameter.value);
    m_ui->txtValue->selectAll();
    if (!isVisible())
        centerOnScreen(this);
    m_ui->txtValue->setFocus();
    exec();
    if (!m_accepted)
        return std::nullopt;
    return m_ui->txtValue->text();
}

} // namespace kolta
