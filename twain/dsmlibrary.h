#pragma once
// Loads the TWAIN data source manager at run time. The library is named by
// its full path and checked by a trust check before a single byte of it runs;
// then "DSM_Entry" is resolved. The check is a seam: the default one below
// stands in for a code-signature check, tests put their own.
//
// Which manager: the environment variable VOSTRA_TWAIN_DSM names the library
// (a file name, or a full path that is taken as it is), VOSTRA_TWAIN_DSM_DIR
// the folder to look in; without them "libtwaindsm.so" is looked for in the
// system's library folders. Nothing is taken from the working directory or
// the loader's search path.

#include "twain.h"

#include <QString>
#include <QStringList>

#include <functional>

struct DsmTrust
{
    bool trusted = false;
    QString reason;  // why not, for the operator and the log
};

// Gets the canonical path of an existing file.
using DsmTrustCheck = std::function<DsmTrust(const QString &path)>;

// The default check: a regular file, owned by root or by the user running
// the program, that other users may not write, in a folder that other users
// may not write either (whoever can write one of them could swap the code).
// Nothing more: no signature is read.
DsmTrust defaultDsmTrustCheck(const QString &path);

class DsmLibrary
{
public:
    explicit DsmLibrary(DsmTrustCheck check = defaultDsmTrustCheck);
    ~DsmLibrary();
    DsmLibrary(const DsmLibrary &) = delete;
    DsmLibrary &operator=(const DsmLibrary &) = delete;

    // Loads the library at the absolute path fullPath (symbolic links resolved
    // first, and the target is what is checked and loaded). False, with
    // errorString(), when the path is relative or missing, the check refuses,
    // the system cannot load it, or it has no "DSM_Entry"; a library without
    // the entry point is not kept loaded.
    bool load(const QString &fullPath);
    void unload();
    bool isLoaded() const;
    QString path() const;
    QString errorString() const;

    DSMENTRYPROC entry() const;
    // Any other exported symbol of the loaded library, or null.
    void *resolve(const char *symbol) const;

    // The manager named by the environment (see above), as an absolute path,
    // or an empty text (with the folders tried in searched) when none exists.
    static QString locate(QStringList *searched = nullptr);
    static QString defaultFileName();

private:
    DsmTrustCheck m_check;
    void *m_module = nullptr;
    DSMENTRYPROC m_entry = nullptr;
    QString m_path;
    QString m_error;
};
