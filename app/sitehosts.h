#pragma once

#include <QString>

// The update server and the product site are named when Ferrule is built
// (FERRULE_UPDATE_HOST, FERRULE_PRODUCT_HOST). Their defaults lie in the
// reserved domain .example, which names no server: a build that keeps them
// asks no server and opens no page.
bool isPlaceholderHost(const QString &host);

// Whether this build names a real product site.
bool productSiteSet();

// What the menu entries say where the build names no site.
QString noProductSitePrompt();
