#include "coderegistry.h"

#include <QMutexLocker>

void CodeRegistry::reset(const QSet<QString> &resultCodes, const QMap<int, QString> &sheetCodes)
{
    QMutexLocker lock(&m_mutex);
    m_resultCodes = resultCodes;
    m_sheetCodes.clear();
    for (auto it = sheetCodes.cbegin(); it != sheetCodes.cend(); ++it) {
        if (!it.value().isEmpty())
            m_sheetCodes.insert(it.key(), it.value());
    }
}

CodeRegistry::Claim CodeRegistry::claim(const QString &code, int firstRow)
{
    QMutexLocker lock(&m_mutex);
    Claim result;
    if (m_resultCodes.contains(code)) {
        // QMap iterates in row order, so the lowest other sheet wins.
        for (auto it = m_sheetCodes.cbegin(); it != m_sheetCodes.cend(); ++it) {
            if (it.key() != firstRow && it.value() == code) {
                result.duplicateRow = it.key();
                return result;
            }
        }
    }
    result.hadResultCode = m_resultCodes.contains(code);
    result.hadSheetCode = m_sheetCodes.contains(firstRow);
    result.previousSheetCode = m_sheetCodes.value(firstRow);
    m_resultCodes.insert(code);
    m_sheetCodes.insert(firstRow, code);
    return result;
}

void CodeRegistry::undo(const Claim &claim, const QString &code, int firstRow)
{
    if (claim.duplicateRow >= 0)
        return;
    QMutexLocker lock(&m_mutex);
    if (!claim.hadResultCode)
        m_resultCodes.remove(code);
    if (claim.hadSheetCode)
        m_sheetCodes.insert(firstRow, claim.previousSheetCode);
    else
        m_sheetCodes.remove(firstRow);
}

void CodeRegistry::releaseSheet(int firstRow)
{
    QMutexLocker lock(&m_mutex);
    const QString code = m_sheetCodes.take(firstRow);
    if (!code.isEmpty())
        m_resultCodes.remove(code);
}

void CodeRegistry::removeResultCode(const QString &code)
{
    QMutexLocker lock(&m_mutex);
    m_resultCodes.remove(code);
}

bool CodeRegistry::hasResultCode(const QString &code) const
{
    QMutexLocker lock(&m_mutex);
    return m_resultCodes.contains(code);
}

QString CodeRegistry::sheetCode(int firstRow) const
{
    QMutexLocker lock(&m_mutex);
    return m_sheetCodes.value(firstRow);
}
