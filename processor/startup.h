#pragma once
// The checks the processing program makes before it shows its window.

#include <QString>

namespace Startup {

// The compact JSON answer to the "version" argument.
QByteArray versionJson();

// Why the program must not start, or an empty text: another instance runs
// (runningInstances > 1; a negative count means unknown and is ignored), the
// ini file beside the executable is missing (a folder of that name counts as
// missing) or cannot be written.
QString refusal(const QString &applicationDir, int runningInstances);

} // namespace Startup
