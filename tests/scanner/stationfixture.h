#pragma once
// What the station tests share: a temporary folder with the settings file and
// the simulated sources, and the station built against them.

#include "formscan.h"
#include "mainwindow.h"
#include "simsession.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include "testutil.h"

namespace StationFixture {

// A widget of a generated form by its object name; a missing one ends the
// test program, since every later step would read a null pointer.
template <typename T>
T *findNamed(const QObject *root, const char *name)
{
    T *found = root->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

// Points the layer at the simulated manager (once per test program).
inline void useSimulatedManager()
{
    qputenv("VOSTRA_TWAIN_DSM", TWAIN_SIM_LIBRARY);
}

using TestUtil::writeFile;

// Writes the sources file and the settings file into dir and points the
// manager and the form at them.
inline void prepare(const QTemporaryDir &dir, const QByteArray &sourcesJson, const QByteArray &ini)
{
    const QString settings = dir.filePath(QStringLiteral("Pellwyn.ini"));
    SimSession::writeSourcesFile(dir.path(), sourcesJson);
    QVERIFY(writeFile(settings, ini));
    FormScan::setSettingsFilePathForTesting(settings);
}

// A source of small synthesised pages, as JSON.
inline QByteArray source(const char *name, bool callbacks, int sheets, const QByteArray &extra = QByteArray(),
                         const char *protocol = "2.4")
{
    return QByteArray("{\"productName\": \"") + name + "\", \"manufacturer\": \"Lab\", \"productFamily\": \"Sim\","
           + " \"protocol\": \"" + protocol + "\", \"twain2\": " + (callbacks ? "true" : "false")
           + ", \"pageSize\": [0.6, 0.8], \"sheetCount\": " + QByteArray::number(sheets)
           + (extra.isEmpty() ? QByteArray() : ", " + extra) + "}";
}

inline QByteArray sources(const QList<QByteArray> &list)
{
    QByteArray json = "{\"sources\": [";
    for (int i = 0; i < list.size(); ++i)
        json += (i ? ", " : "") + list[i];
    return json + "]}";
}

inline QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace StationFixture
