#pragma once
// Helpers shared by the platform client's tests: a trusted local platform,
// an ini file of the test's own, and answering a modal dialog from inside
// its event loop.

#include "platformrequest.h"
#include "platformsimulator.h"

#include <QApplication>
#include <QFile>
#include <QMap>
#include <QSettings>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace PlatformTest {

// Starts the simulator, points the programs at it and trusts its CA.
inline bool startTrusted(PlatformSimulator &sim, QString *error)
{
    if (!sim.start(error))
        return false;
    sim.exportEnvironment();
    return PlatformRequest::installExtraCa(error);
}

// A 302 to `location` whose body is a JSON object, as a misconfigured
// proxy sends it: a client that reads the body anyway sees "code" 0.
inline PlatformSimulator::Reply redirectReply(const QString &location)
{
    PlatformSimulator::Reply reply;
    reply.status = 302;
    reply.body = "{\"moved\":true}";
    reply.headers << qMakePair(QByteArray("Location"), location.toUtf8());
    return reply;
}

// Replaces the file with exactly these keys (UTF-8, ini format).
inline void writeIni(const QString &path, const QMap<QString, QString> &values)
{
    QFile::remove(path);
    QFile touch(path);
    touch.open(QIODevice::WriteOnly);
    touch.close();
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
}

inline QString iniValue(const QString &path, const QString &key)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    return settings.value(key).toString();
}

// Runs `action` on the modal dialog of type T as soon as it shows (polling
// every 20 ms for up to 10 s). Whatever else is modal when time runs out is
// closed, so a test never hangs.
template <class T>
void answerModal(std::function<void(T *)> action, int tries = 500)
{
    QTimer::singleShot(20, [action, tries]() {
        if (T *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            action(dialog);
            return;
        }
        if (tries > 0)
            answerModal<T>(action, tries - 1);
        else if (QWidget *other = QApplication::activeModalWidget())
            other->close();
    });
}

} // namespace PlatformTest
