#pragma once

#include "commondialog.h"
#include "dialog.h"
#include "module1.h"

#include <QLineEdit>
#include <QPointer>
#include <memory>

class QToolButton;

namespace Ui { class frmLayout; }

namespace kolta {

// An up-down control bound to a text box: its arrows (and the arrow keys)
// step the value within its range, and every change of the value is written
// into the bound box as decimal digits. The box is left alone until then.
class UpDown : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int singleStep READ singleStep WRITE setSingleStep)
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)
public:
    explicit UpDown(QWidget *parent = nullptr);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int singleStep() const { return m_singleStep; }
    int value() const { return m_value; }
    QLineEdit *buddy() const { return m_buddy; }

    void setMinimum(int minimum);
    void setMaximum(int maximum);
    void setSingleStep(int step) { m_singleStep = step; }
    // Clamped to the range; a value that differs from the current one is a change.
    void setValue(int value);
    void setBuddy(QLineEdit *buddy) { m_buddy = buddy; }
    void stepBy(int steps);

    QToolButton *upButton() const { return m_up; }
    QToolButton *downButton() const { return m_down; }

Q_SIGNALS:
    void valueChanged(int value);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QToolButton *m_up;
    QToolButton *m_down;
    QPointer<QLineEdit> m_buddy;
    int m_minimum = 0;
    int m_maximum = 10;
    int m_singleStep = 1;
    int m_value = 0;
};

// The page layout editor: nine fields from which OK composes gPageHeader.
class frmLayout : public Dialog
{
    Q_OBJECT
public:
    frmLayout(Module1 &session, Desktop &desktop, QWidget *parent = nullptr);
    ~frmLayout() override;

    Ui::frmLayout &ui() { return *m_ui; }
    CommonDialog &cmd() { return m_cmd; }

    void OKButton_Click();
    void CancelButton_Click();
    void Command1_Click();
    void Command2_Click();

private:
    void pickColor(QLineEdit *box, QWidget *swatch);

    std::unique_ptr<Ui::frmLayout> m_ui;
    Module1 &m_session;
    CommonDialog m_cmd;
};

} // namespace kolta
