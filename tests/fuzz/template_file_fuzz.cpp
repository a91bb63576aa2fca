// A template file as the designer stores it: every byte complemented. The
// complement is undone and the text loaded like the platform's XML.

#include "fuzzsupport.h"
#include "templateformat.h"
#include "templateloader.h"
#include "templatemodel.h"

#include <QStringList>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::quietQtLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray stored = FuzzSupport::bytes(data, size);
    const QByteArray xml = TemplateFormat::complementBytes(stored);
    // The complement is its own inverse: storing again gives the same bytes.
    if (TemplateFormat::complementBytes(xml) != stored)
        std::abort();

    TemplateModel model;
    QStringList log;
    if (parseTemplateText(xml, model, log).ok())
        applyPageOrigins(model);
    return 0;
}
