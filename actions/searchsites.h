#pragma once

#include <QByteArray>

// Search pages of outside services that the spoken commands use; the encoded
// search term is appended to each.
namespace searchsites {

// Music search: the parameters travel in the fragment, not in the query.
inline const QByteArray musicSearch = QByteArrayLiteral(
    "https://y.qq.com/portal/search.html#page=1&searchid=1&remoteplace=txt.yqq.top&t=song&w=");

inline const QByteArray restaurantSearch = QByteArrayLiteral("http://www.dianping.com/s/?w=");

} // namespace searchsites
