// Linked into every test program: tests never write the user's Qt settings,
// caches or data (file dialogs, for one, remember their last folder).
#include <QCoreApplication>
#include <QStandardPaths>

static void enableTestMode()
{
    QStandardPaths::setTestModeEnabled(true);
}
Q_COREAPP_STARTUP_FUNCTION(enableTestMode)
