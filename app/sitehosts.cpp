#include "app/sitehosts.h"

#include "buildconfig.h"

bool isPlaceholderHost(const QString &host)
{
    const QString name = host.trimmed().toLower();
    if (name.endsWith(QLatin1Char('.')))
        return isPlaceholderHost(name.chopped(1));
    // RFC 2606 keeps the top-level names .example and .invalid for names
    // that must never reach a real server.
    return name.isEmpty() || name == QLatin1String("example") ||
           name.endsWith(QLatin1String(".example")) || name == QLatin1String("invalid") ||
           name.endsWith(QLatin1String(".invalid"));
}

bool productSiteSet()
{
    return !isPlaceholderHost(QStringLiteral(FERRULE_PRODUCT_HOST));
}

QString noProductSitePrompt()
{
    return QStringLiteral("此版本未设置产品网站");
}
