#pragma once
// Template XML (as the platform sends it) -> TemplateModel.

#include "templatemodel.h"
#include <QStringList>

namespace tinyxml2 { class XMLDocument; }

struct TemplateLoadResult {
    enum Status { Loaded, VersionTooLow, Invalid };
    Status status = Invalid;
    // VersionTooLow: the box text that ends the program; Invalid: why the
    // document was refused. Empty when loaded.
    QString message;
    bool ok() const { return status == Loaded; }
};

// Replaces `model` with the content of `doc`. Every field is reset first, so
// nothing of an earlier template survives. On VersionTooLow the model is left
// untouched (the program ends); on Invalid it is left empty. Progress lines
// (and notes about unusable printed-text data) are appended to `log`.
// Positions are absolute; call applyPageOrigins afterwards.
TemplateLoadResult parseTemplate(const tinyxml2::XMLDocument &doc, TemplateModel &model, QStringList &log);

// Convenience for callers that hold the text: parses it, then parseTemplate.
TemplateLoadResult parseTemplateText(const QByteArray &xmlUtf8, TemplateModel &model, QStringList &log);
