#include "frmlabels.h"
#include "ui_frmlabels.h"

#include "windowstyle.h"

namespace kolta {

frmLabels::frmLabels(Module1 &session, QWidget *parent)
    : Dialog(parent, Escape::Ignored)
    , m_ui(std::make_unique<Ui::frmLabels>())
    , m_session(session)
{
    m_ui->setupUi(this);
    makeFixedDialog(this, 402, 213);

    connect(m_ui->Combo1, &QComboBox::currentIndexChanged, this, &frmLabels::Combo1_Click);
    connect(m_ui->cmdSet, &QPushButton::clicked, this, &frmLabels::cmdSet_Click);
    connect(m_ui->cmdClose, &QPushButton::clicked, this, &frmLabels::cmdClose_Click);
}

frmLabels::~frmLabels() = default;

void frmLabels::Combo1_Click()
{
    // Without a selected column that has a heading there is nothing to show.
    const auto label = m_session.gFieldLabels.at(m_ui->Combo1->currentIndex());
    if (label)
        m_ui->Text1->setText(*label);
}

void frmLabels::cmdSet_Click()
{
    m_session.gFieldLabels.set(m_ui->Combo1->currentIndex(), m_ui->Text1->text());
}

void frmLabels::cmdClose_Click()
{
    hide();
}

void frmLabels::clearFields()
{
    m_ui->Combo1->clear();
}

void frmLabels::addField(const QString &name)
{
    m_ui->Combo1->addItem(name);
}

bool frmLabels::selectField(int index)
{
    if (index < 0 || index >= m_ui->Combo1->count())
        return false;
    if (m_ui->Combo1->currentIndex() == index)
        Combo1_Click(); // selecting it again still shows its heading
    else
        m_ui->Combo1->setCurrentIndex(index);
    return true;
}

void frmLabels::showModal()
{
    if (!m_shownBefore) {
        m_shownBefore = true;
        centerOnScreen(this);
        m_ui->cmdSet->setFocus();
    }
    exec();
}

} // namespace kolta
