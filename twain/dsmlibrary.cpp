#include "dsmlibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

DsmTrust defaultDsmTrustCheck(const QString &path)
{
    struct stat file;
    const QByteArray encoded = QFile::encodeName(path);
    if (::lstat(encoded.constData(), &file) != 0)
        return {false, QStringLiteral("%1 cannot be read").arg(path)};
    if (!S_ISREG(file.st_mode))
        return {false, QStringLiteral("%1 is not a regular file").arg(path)};
    if (file.st_uid != 0 && file.st_uid != ::geteuid())
        return {false, QStringLiteral("%1 belongs to another user").arg(path)};
    if (file.st_mode & S_IWOTH)
        return {false, QStringLiteral("%1 may be written by any user").arg(path)};
    const QString folder = QFileInfo(path).absolutePath();
    struct stat dir;
    if (::stat(QFile::encodeName(folder).constData(), &dir) != 0)
        return {false, QStringLiteral("the folder %1 cannot be read").arg(folder)};
    if (dir.st_mode & S_IWOTH)
        return {false, QStringLiteral("the folder %1 may be written by any user").arg(folder)};
    return {true, QString()};
}

DsmLibrary::DsmLibrary(DsmTrustCheck check) : m_check(std::move(check))
{
}

DsmLibrary::~DsmLibrary()
{
    unload();
}

bool DsmLibrary::load(const QString &fullPath)
{
    unload();
    m_error.clear();
    if (fullPath.isEmpty() || !QDir::isAbsolutePath(fullPath)) {
        m_error = QStringLiteral("The data source manager must be named by its full path, not \"%1\".").arg(fullPath);
        return false;
    }
    // Check and load the file itself, so a link cannot point elsewhere
    // between the two.
    const QString canonical = QFileInfo(fullPath).canonicalFilePath();
    if (canonical.isEmpty()) {
        m_error = QStringLiteral("The data source manager %1 does not exist.").arg(fullPath);
        return false;
    }
    const DsmTrust trust = m_check ? m_check(canonical) : DsmTrust{false, QStringLiteral("no trust check")};
    if (!trust.trusted) {
        m_error = QStringLiteral("The data source manager %1 is not trusted: %2.").arg(canonical, trust.reason);
        return false;
    }
    void *module = ::dlopen(QFile::encodeName(canonical).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char *why = ::dlerror();
        m_error = QStringLiteral("Could not load the data source manager %1: %2")
                      .arg(canonical, QString::fromLocal8Bit(why ? why : "unknown error"));
        return false;
    }
    auto entry = reinterpret_cast<DSMENTRYPROC>(::dlsym(module, "DSM_Entry"));
    if (!entry) {
        ::dlclose(module);
        m_error = QStringLiteral("Could not find DSM_Entry in the data source manager %1.").arg(canonical);
        return false;
    }
    m_module = module;
    m_entry = entry;
    m_path = canonical;
    return true;
}

void DsmLibrary::unload()
{
    if (m_module)
        ::dlclose(m_module);
    m_module = nullptr;
    m_entry = nullptr;
    m_path.clear();
}

bool DsmLibrary::isLoaded() const
{
    return m_module != nullptr;
}

QString DsmLibrary::path() const
{
    return m_path;
}

QString DsmLibrary::errorString() const
{
    return m_error;
}

DSMENTRYPROC DsmLibrary::entry() const
{
    return m_entry;
}

void *DsmLibrary::resolve(const char *symbol) const
{
    return m_module ? ::dlsym(m_module, symbol) : nullptr;
}

QString DsmLibrary::defaultFileName()
{
    return QStringLiteral("libtwaindsm.so");
}

QString DsmLibrary::locate(QStringList *searched)
{
    const QString name = qEnvironmentVariableIsEmpty("VOSTRA_TWAIN_DSM") ? defaultFileName()
                                                                         : qEnvironmentVariable("VOSTRA_TWAIN_DSM");
    if (QDir::isAbsolutePath(name)) {
        if (searched)
            *searched << QFileInfo(name).absolutePath();
        return QFileInfo::exists(name) ? name : QString();
    }
    // A bare file name only: "../x.so" would leave the folders below.
    if (name.contains(QLatin1Char('/')))
        return QString();
    QStringList folders;
    if (!qEnvironmentVariableIsEmpty("VOSTRA_TWAIN_DSM_DIR"))
        folders << qEnvironmentVariable("VOSTRA_TWAIN_DSM_DIR");
    else
        folders << QStringLiteral("/usr/local/lib") << QStringLiteral("/usr/lib")
                << QStringLiteral("/usr/lib/x86_64-linux-gnu") << QStringLiteral("/usr/lib64");
    for (const QString &folder : folders) {
        if (!QDir::isAbsolutePath(folder))
            continue;
        if (searched)
            *searched << folder;
        const QString candidate = QDir(folder).absoluteFilePath(name);
        if (QFileInfo(candidate).isFile())
            return QDir::cleanPath(candidate);
    }
    return QString();
}
