#include "dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace kolta {

Dialog::Dialog(QWidget *parent, Escape escape) : QDialog(parent), m_escape(escape) {}

void Dialog::closeEvent(QCloseEvent *event)
{
    reject();
    event->accept();
    m_discarded = true;
    deleteLater();
}

void Dialog::keyPressEvent(QKeyEvent *event)
{
    if (m_escape == Escape::Ignored && event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace kolta
