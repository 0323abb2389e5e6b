#pragma once

// Small helpers for tests that drive the real windows.

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <functional>
#include <initializer_list>

namespace kolta::test {

template<typename T>
T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

// Runs action on the modal window of type T once it is up, while the code
// that showed it waits in it.
template<typename T>
void onModal(std::function<void(T *)> action)
{
    QTimer::singleShot(0, [action] {
        for (int i = 0; i < 300; ++i) {
            if (auto *window = qobject_cast<T *>(QApplication::activeModalWidget())) {
                action(window);
                return;
            }
            QTest::qWait(10);
        }
    });
}

// Runs command, which shows a window of type T modally; script runs while it
// is up. Whatever the script leaves open is hidden so that command returns.
template<typename T>
void whileModal(const std::function<void()> &command, const std::function<void(T &)> &script)
{
    bool ran = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ran = true;
        QPointer<T> window = qobject_cast<T *>(QApplication::activeModalWidget());
        QVERIFY2(window, qPrintable(QLatin1String(T::staticMetaObject.className()) + " is not shown modally"));
        script(*window);
        if (window && window->isVisible())
            window->hide();
    });
    timer.start(0);
    command();
    QVERIFY(ran);
}

// A control as the form lays it out: name, place in twips, caption.
struct Control
{
    const char *name;
    QRect twips;
    const char *text;
};

// Compares each control's place (twips / 15 = pixels) and the caption of
// labels and buttons; the first difference fails the calling test.
inline bool controlsAsDesigned(QWidget *window, std::initializer_list<Control> controls)
{
    for (const Control &c : controls) {
        QWidget *w = child<QWidget>(window, c.name);
        if (!QTest::qVerify(w != nullptr, c.name, "control exists", __FILE__, __LINE__))
            return false;
        const QRect pixels(c.twips.x() / 15, c.twips.y() / 15, c.twips.width() / 15, c.twips.height() / 15);
        if (!QTest::qCompare(w->geometry(), pixels, c.name, "design", __FILE__, __LINE__))
            return false;
        QString caption;
        if (auto *label = qobject_cast<QLabel *>(w))
            caption = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            caption = button->text();
        else
            continue;
        if (!QTest::qCompare(caption, QString::fromLatin1(c.text), c.name, "caption", __FILE__, __LINE__))
            return false;
    }
    return true;
}

// The names of the first count widgets that Tab reaches, starting at first.
inline QStringList tabOrder(QWidget *first, int count)
{
    QStringList order;
    QWidget *w = first;
    for (int i = 0; i < count && w; ++i) {
        order << w->objectName();
        do
            w = w->nextInFocusChain();
        while (w != first && (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(first->window())
                              || w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))));
    }
    return order;
}

} // namespace kolta::test
