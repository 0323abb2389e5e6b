#include "working.h"

#include "texts.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kolta {

WorkingIndicator::WorkingIndicator(QWidget *owner, int showAfterMs)
    : m_owner(owner), m_showAfterMs(showAfterMs)
{
}

WorkingIndicator::~WorkingIndicator() = default;

QDialog *WorkingIndicator::window() const
{
    return m_window && m_window->isVisible() ? m_window.get() : nullptr;
}

jet::WaitHooks WorkingIndicator::hooks()
{
    return {[this] { begin(); }, [this](int elapsedMs) { return wait(elapsedMs); }, [this] { end(); }};
}

void WorkingIndicator::begin()
{
    m_stopped = false;
}

bool WorkingIndicator::wait(int elapsedMs)
{
    if (elapsedMs < m_showAfterMs)
        return !m_stopped;
    if (!m_window) {
        m_window = std::make_unique<QDialog>(m_owner, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
        m_window->setObjectName(QStringLiteral("frmWorking"));
        m_window->setWindowTitle(QString(texts::AppTitle));
        m_window->setWindowModality(Qt::ApplicationModal);
        auto *layout = new QVBoxLayout(m_window.get());
        layout->addWidget(new QLabel(QStringLiteral("Working..."), m_window.get()));
        auto *stop = new QPushButton(QStringLiteral("&Stop"), m_window.get());
        stop->setObjectName(QStringLiteral("cmdStop"));
        layout->addWidget(stop, 0, Qt::AlignHCenter);
        QObject::connect(stop, &QPushButton::clicked, [this] { m_stopped = true; });
        m_window->setFixedSize(m_window->sizeHint().expandedTo(QSize(200, 0)));
    }
    if (!m_window->isVisible() && !m_stopped) {
        m_window->show();
        QApplication::setOverrideCursor(Qt::BusyCursor);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !m_stopped;
}

void WorkingIndicator::end()
{
    if (m_window && m_window->isVisible()) {
        m_window->hide();
        QApplication::restoreOverrideCursor();
    }
}

} // namespace kolta
