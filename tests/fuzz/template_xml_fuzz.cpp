// The template XML as the platform sends it ("sheet_template"): loaded into
// the model, then made relative to the page origins as the main window does.

#include "fuzzsupport.h"
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
    TemplateModel model;
    QStringList log;
    const TemplateLoadResult result = parseTemplateText(FuzzSupport::bytes(data, size), model, log);
    if (result.ok()) {
        if (model.templatePages.isEmpty() || model.pagesPerSheet != model.templatePages.size())
            std::abort();
        applyPageOrigins(model);
    } else if (result.status == TemplateLoadResult::Invalid
               && (!model.templatePages.isEmpty() || !model.objectItems.isEmpty())) {
        // A refused template leaves nothing behind.
        std::abort();
    }
    return 0;
}
