#pragma once
// Benchmarks run with nobody at the screen: every message box is answered at
// once, as Escape would answer it, and reported on stderr; platform requests
// go to a test address unless the benchmark serves one of its own.

#include "messagebox.h"
#include "platformrequest.h"
#include "platformsimulator.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

class UnattendedBoxes {
public:
    UnattendedBoxes()
    {
        m_recorder.setAnswerFunction([](const MessageBoxSpec &spec) {
            QMessageBox::StandardButton answer = MessageBox::escapeAnswer(spec);
            if (answer == QMessageBox::NoButton)
                answer = spec.defaultButton;
            std::fprintf(stderr, "message box answered with button 0x%x: %s | %s\n", unsigned(answer),
                         qPrintable(spec.title), qPrintable(spec.text));
            return answer;
        });
    }
    int count() const { return m_recorder.count(); }
    MessageBoxSpec last() const { return m_recorder.last(); }
    void clear() { m_recorder.clear(); }

private:
    MessageBoxRecorder m_recorder;
};

// Nothing listens on port 1 here: a request fails at once instead of
// reaching the real platform.
inline void useUnreachablePlatform()
{
    qputenv("VOSTRA_PLATFORM_HOST", QByteArrayLiteral("127.0.0.1:1"));
}

// Benchmarks draw their windows offscreen unless a platform is chosen.
inline void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Starts the local platform, points the program at it and trusts its CA.
inline bool startLocalPlatform(PlatformSimulator &sim, QString *error)
{
    if (!sim.start(error)) {
        *error = QStringLiteral("cannot start the local platform: ") + *error;
        return false;
    }
    sim.exportEnvironment();
    if (!PlatformRequest::installExtraCa(error)) {
        *error = QStringLiteral("cannot trust the local CA: ") + *error;
        return false;
    }
    return true;
}
