#pragma once
// libcurl's process-wide state and the TLS trust every libcurl transfer of the
// program uses. Both the results upload and the image uploads go through here,
// so curl_global_init runs exactly once and no transfer ever skips the
// certificate check.

#include <QString>

#include <curl/curl.h>

namespace CurlGlobal {

// Initialises libcurl for the whole process on the first call (thread-safe,
// any thread); later calls only report the first result. libcurl is never
// cleaned up globally while the program runs: a cleanup would pull the
// ground from under a transfer of another thread.
bool ensure();

// Makes `handle` verify the server's certificate chain and host name. The CA
// file named by VOSTRA_EXTRA_CA is trusted in addition to the system store;
// without it the system store alone is used. False with `error` set when the
// extra CA file is named but unreadable (the transfer must not start then).
bool applyTls(CURL *handle, QString *error = nullptr);

} // namespace CurlGlobal
