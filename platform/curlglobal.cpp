#include "curlglobal.h"

#include "platformrequest.h"

#include <QFile>
#include <QFileInfo>

#include <mutex>

namespace CurlGlobal {

bool ensure()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK; });
    return ready;
}

bool applyTls(CURL *handle, QString *error)
{
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    const QString extra = PlatformRequest::extraCaPath();
    if (extra.isEmpty())
        return true;
    if (!QFileInfo(extra).isReadable()) {
        if (error)
            *error = QStringLiteral("%1: CA file not readable").arg(extra);
        return false;
    }
    // CAINFO replaces the built-in bundle file; the built-in CA folder
    // (libcurl's CAPATH) stays in force, so the system's CAs remain trusted.
    // libcurl copies the string.
    if (curl_easy_setopt(handle, CURLOPT_CAINFO, QFile::encodeName(extra).constData()) != CURLE_OK) {
        if (error)
            *error = QStringLiteral("%1: CA file refused by libcurl").arg(extra);
        return false;
    }
    return true;
}

} // namespace CurlGlobal
