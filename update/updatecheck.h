#pragma once

#include <QUrl>

class QNetworkReply;

// http://<update host>:8001/api2/public/v1/app/update?device=1&client=4&version=0
QUrl updateCheckUrl();

// The product page, http://<product host>/mouse.
QUrl productPageUrl();

// Asks the update server at url once whether a newer version exists and
// returns at once; the reply is handled by handleUpdateReply when it arrives,
// with page as the product page. The returned reply is for callers that want
// to follow it. With "不自动更新" chosen (updatePolicy), or a server of the
// placeholder domain (a build without a real update host), nothing is asked
// and the result is null.
QNetworkReply *startUpdateCheck(const QUrl &url = updateCheckUrl(),
                                const QUrl &page = productPageUrl());

// A newer version opens the product page and then shows the update notice;
// with "有更新时不安装，但提醒我" the notice asks first, and the page opens
// only when the user agrees. A page of the placeholder domain never opens.
void handleUpdateReply(QNetworkReply *reply, const QUrl &page);
