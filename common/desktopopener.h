#pragma once
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

// Hands files, folders and web pages to the desktop (the user's file manager
// or browser). Every call goes through one replaceable hook so tests can
// record it instead of starting a program.
namespace DesktopOpener {

using Handler = std::function<bool(const QUrl &)>;

// Opens the URL with the desktop's handler; false when nothing took it.
bool openUrl(const QUrl &url);

// Opens a local folder (or file). Accepts a plain path or a "file:" URL text,
// so "file:///" + path builds the same as the path itself. False for an empty path.
bool openLocalPath(const QString &pathOrFileUrl);

// Shows a file to the user: opens the folder that holds it. Desktops offer no
// portable way to select the file inside it.
bool showFile(const QString &filePath);

// The local-file URL for a plain path or a "file:" URL text; invalid when empty.
QUrl localUrl(const QString &pathOrFileUrl);

// Installs a hook in place of the desktop (an empty one restores it); returns the previous one.
Handler setHandler(Handler handler);

} // namespace DesktopOpener

// Test aid: while it lives, every opened URL is recorded and answered with `result`.
class DesktopOpenRecorder {
public:
    DesktopOpenRecorder();
    ~DesktopOpenRecorder();
    DesktopOpenRecorder(const DesktopOpenRecorder &) = delete;
    DesktopOpenRecorder &operator=(const DesktopOpenRecorder &) = delete;

    QList<QUrl> urls;
    bool result = true;

private:
    DesktopOpener::Handler previous_;
};
