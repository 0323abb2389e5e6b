#include "testapp.h"

#include "frmlogin.h"
#include "uitest.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

namespace kolta::test {

void typeLogin(frmLogin *login, const QString &system, const QString &user, const QString &password)
{
    child<QLineEdit>(login, "Text1")->setText(system);
    child<QLineEdit>(login, "txtUserName")->setText(user);
    child<QLineEdit>(login, "txtPassword")->setText(password);
}

void pressOK(frmLogin *login)
{
    QTest::mouseClick(child<QPushButton>(login, "cmdOK"), Qt::LeftButton);
}

QAction *App::action(const char *name)
{
    return window.findChild<QAction *>(QLatin1String(name));
}

void App::setDatabase(const std::optional<QString> &file, const QString &system, const QString &user,
                      const QString &password)
{
    desktop.fileAnswers.push_back(file);
    onModal<frmLogin>([=](frmLogin *login) {
        typeLogin(login, system, user, password);
        pressOK(login);
    });
    window.mnSetDatabase_Click();
}

} // namespace kolta::test
