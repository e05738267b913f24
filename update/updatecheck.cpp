#include "update/updatecheck.h"

#include "app/settings.h"
#include "app/sitehosts.h"
#include "buildconfig.h"
#include "platform/platform.h"
#include "update/updatepolicy.h"
#include "update/updatereply.h"

#include <QDebug>
#include <QGuiApplication>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>

QUrl updateCheckUrl()
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral(FERRULE_UPDATE_HOST));
    url.setPort(8001);
    url.setPath(QStringLiteral("/api2/public/v1/app/update"));
    url.setQuery(QStringLiteral("device=1&client=4&version=0"));
    return url;
}

QUrl productPageUrl()
{
    // The address is kept without a scheme, as users type it; the URL opener
    // needs one to hand it to a browser rather than look for a file.
    return QUrl::fromUserInput(QStringLiteral(FERRULE_PRODUCT_HOST "/mouse"));
}

QNetworkReply *startUpdateCheck(const QUrl &url, const QUrl &page)
{
    if (updatePolicy(*settingsMap()) == UpdatePolicy::Never) {
        qDebug() << "update check off !";
        return nullptr;
    }
    if (isPlaceholderHost(url.host())) {
        qDebug().noquote() << "update check off: this build names no update server (" + url.host() +
                                  ") !";
        return nullptr;
    }
    // Lives for the whole run: one check per process.
    auto *manager = new QNetworkAccessManager;
    QObject::connect(
        manager, &QNetworkAccessManager::finished, manager,
        [page](QNetworkReply *reply) { handleUpdateReply(reply, page); }, Qt::DirectConnection);
    return manager->get(QNetworkRequest(url));
}

void handleUpdateReply(QNetworkReply *reply, const QUrl &page)
{
    // An error status still comes with a body worth reading.
    if (reply->error() != QNetworkReply::NoError)
        qDebug().noquote() << "Error:" << reply->errorString();
    const QString version = announcedVersion(reply->readAll());
    if (version.isNull() || !isNewerThanRunning(version))
        return;

    // Read now: the user may have changed the choice since the start.
    const UpdatePolicy policy = updatePolicy(*settingsMap());
    if (policy == UpdatePolicy::Never)
        return;
    const bool remind = policy == UpdatePolicy::Remind;
    const auto openPage = [&page] {
        if (isPlaceholderHost(page.host()))
            qDebug().noquote() << "product page not opened: this build names no product site (" +
                                      page.host() + ") !";
        else
            platform().openUrl(page);
    };
    if (!remind)
        openPage();
    // The main window is hidden: closing the notice must not end the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QMessageBox notice;
    notice.setWindowTitle(QStringLiteral("塔沃更新提醒"));
    notice.setText(QStringLiteral("塔沃软件更新啦！为了你更好的体验，请前往官网下载更新吧！！！"));
    if (!remind) {
        notice.setStandardButtons(QMessageBox::Ok);
        notice.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
        notice.exec();
        return;
    }
    // Reminded only: the page opens when the user agrees, not before.
    notice.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    notice.button(QMessageBox::Ok)->setText(QStringLiteral("前往官网"));
    notice.button(QMessageBox::Cancel)->setText(QStringLiteral("以后再说"));
    if (notice.exec() == QMessageBox::Ok)
        openPage();
}
