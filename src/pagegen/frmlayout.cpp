#include "frmlayout.h"
#include "ui_frmlayout.h"

#include "pageheader.h"
#include "windowstyle.h"

#include <QKeyEvent>
#include <QToolButton>

namespace kolta {

UpDown::UpDown(QWidget *parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    setFocusPolicy(Qt::StrongFocus);
    for (QToolButton *button : {m_up, m_down}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void UpDown::setMinimum(int minimum)
{
    m_minimum = minimum;
    m_maximum = std::max(m_maximum, minimum);
    setValue(m_value);
}

void UpDown::setMaximum(int maximum)
{
    m_maximum = maximum;
    m_minimum = std::min(m_minimum, maximum);
    setValue(m_value);
}

void UpDown::setValue(int value)
{
    value = std::clamp(value, m_minimum, m_maximum);
    if (value == m_value)
        return;
    m_value = value;
    if (m_buddy)
        m_buddy->setText(QString::number(m_value));
    Q_EMIT valueChanged(m_value);
}

void UpDown::stepBy(int steps)
{
    // Widened so that a large step near the ends of int cannot overflow.
    const qint64 target = qint64(m_value) + qint64(steps) * m_singleStep;
    setValue(int(std::clamp<qint64>(target, m_minimum, m_maximum)));
}

void UpDown::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        stepBy(1);
        break;
    case Qt::Key_Down:
        stepBy(-1);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void UpDown::resizeEvent(QResizeEvent *)
{
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}

frmLayout::frmLayout(Module1 &session, Desktop &desktop, QWidget *parent)
    : Dialog(parent, Escape::Ignored)
    , m_ui(std::make_unique<Ui::frmLayout>())
    , m_session(session)
    , m_cmd(desktop, this)
{
    m_ui->setupUi(this);
    // 7620 x 4830 twips.
    makeFixedDialog(this, 508, 322);
    centerOnScreen(this);

    // The first control in the tab order has the focus when the window first shows.
    m_ui->OKButton->setFocus();

    m_ui->UpDown1->setBuddy(m_ui->Text4);
    m_ui->UpDown2->setBuddy(m_ui->Text6);
    m_ui->UpDown3->setBuddy(m_ui->Text7);

    connect(m_ui->OKButton, &QPushButton::clicked, this, &frmLayout::OKButton_Click);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &frmLayout::CancelButton_Click);
    connect(m_ui->Command1, &QPushButton::clicked, this, &frmLayout::Command1_Click);
    connect(m_ui->Command2, &QPushButton::clicked, this, &frmLayout::Command2_Click);
}

frmLayout::~frmLayout() = default;

void frmLayout::OKButton_Click()
{
    const Ui::frmLayout &f = *m_ui;
    m_session.gPageHeader = pagegen::BuildPageHeader(
        f.Text1->text(), f.Text2->text(), f.Text3->text(), f.Combo1->currentText(), f.Text4->text(),
        f.Text5->text(), f.Combo2->currentText(), f.Text6->text(), f.Text7->text());
    hide();
}

void frmLayout::CancelButton_Click()
{
    hide();
}

void frmLayout::Command1_Click()
{
    pickColor(m_ui->Text2, m_ui->Picture1);
}

void frmLayout::Command2_Click()
{
    pickColor(m_ui->Text5, m_ui->Picture2);
}

void frmLayout::pickColor(QLineEdit *box, QWidget *swatch)
{
    // A cancelled dialog ends the handler: box and swatch keep what they show.
    if (m_cmd.ShowColor() != DialogResult::Ok)
        return;
    const quint32 color = m_cmd.Color;
    box->setText(pagegen::ColorToText(color));
    QPalette palette = swatch->palette();
    palette.setColor(QPalette::Window, QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    swatch->setPalette(palette);
}

} // namespace kolta
