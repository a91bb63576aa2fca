#pragma once
#include <QString>

// Number of running processes whose executable file name (without folder)
// is `name`, this process included; -1 when the process table cannot be read,
// in which case callers skip their check. Names are compared exactly.
// `procRoot` is the process file system; tests point it at a fixture tree.
int countRunningProcesses(const QString &name, const QString &procRoot = QStringLiteral("/proc"));
