#pragma once
// Benchmarks run with nobody at the screen: every message box is answered at
// once, as Escape would answer it, and reported on stderr; platform requests
// go to a test address unless the benchmark serves one of its own.

#include "messagebox.h"

#include <QByteArray>

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

private:
    MessageBoxRecorder m_recorder;
};

// Nothing listens on port 1 here: a request fails at once instead of
// reaching the real platform.
inline void useUnreachablePlatform()
{
    qputenv("VOSTRA_PLATFORM_HOST", QByteArrayLiteral("127.0.0.1:1"));
}
