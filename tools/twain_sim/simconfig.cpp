#include "simconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct Named
{
    const char *name;
    TW_UINT16 value;
};

const Named kCapabilities[] = {
    {"CAP_XFERCOUNT", CAP_XFERCOUNT},
    {"ICAP_COMPRESSION", ICAP_COMPRESSION},
    {"ICAP_PIXELTYPE", ICAP_PIXELTYPE},
    {"ICAP_UNITS", ICAP_UNITS},
    {"ICAP_XFERMECH", ICAP_XFERMECH},
    {"CAP_FEEDERENABLED", CAP_FEEDERENABLED},
    {"CAP_AUTOFEED", CAP_AUTOFEED},
    {"CAP_INDICATORS", CAP_INDICATORS},
    {"CAP_PAPERDETECTABLE", CAP_PAPERDETECTABLE},
    {"CAP_UICONTROLLABLE", CAP_UICONTROLLABLE},
    {"CAP_DEVICEONLINE", CAP_DEVICEONLINE},
    {"CAP_AUTOSCAN", CAP_AUTOSCAN},
    {"CAP_DUPLEX", CAP_DUPLEX},
    {"CAP_DUPLEXENABLED", CAP_DUPLEXENABLED},
    {"CAP_CAMERASIDE", CAP_CAMERASIDE},
    {"ICAP_IMAGEFILEFORMAT", ICAP_IMAGEFILEFORMAT},
    {"ICAP_XRESOLUTION", ICAP_XRESOLUTION},
    {"ICAP_YRESOLUTION", ICAP_YRESOLUTION},
    {"ICAP_PIXELFLAVOR", ICAP_PIXELFLAVOR},
    {"ICAP_SUPPORTEDBARCODETYPES", ICAP_SUPPORTEDBARCODETYPES},
};

const Named kTypes[] = {
    {"INT8", TWTY_INT8},     {"INT16", TWTY_INT16}, {"INT32", TWTY_INT32}, {"UINT8", TWTY_UINT8},
    {"UINT16", TWTY_UINT16}, {"UINT32", TWTY_UINT32}, {"BOOL", TWTY_BOOL},  {"FIX32", TWTY_FIX32},
};

bool capabilityId(const QString &name, TW_UINT16 *id)
{
    for (const Named &n : kCapabilities)
        if (name == QLatin1String(n.name)) {
            *id = n.value;
            return true;
        }
    bool ok = false;
    const uint value = name.toUInt(&ok, 0);
    if (ok && value > 0 && value <= 0xffff) {
        *id = TW_UINT16(value);
        return true;
    }
    return false;
}

SimCapability make(TW_UINT16 id, TW_UINT16 type, SimCapability::Kind kind, std::vector<CapValue> items,
                   CapValue current, bool readOnly = false)
{
    SimCapability cap;
    cap.id = id;
    cap.itemType = type;
    cap.kind = kind;
    cap.items = std::move(items);
    cap.current = cap.defaultValue = current;
    cap.readOnly = readOnly;
    return cap;
}

CapValue jsonValue(const QJsonValue &value, TW_UINT16 type)
{
    if (type == TWTY_FIX32)
        return simFix32(value.toDouble());
    if (type == TWTY_BOOL)
        return value.isBool() ? CapValue(value.toBool()) : CapValue(value.toDouble() != 0);
    return CapValue(value.toDouble());
}

bool readCapability(const QString &name, const QJsonObject &o, SimCapability *cap, QString *error)
{
    TW_UINT16 type = 0xffff;
    for (const Named &n : kTypes)
        if (o.value(QStringLiteral("type")).toString() == QLatin1String(n.name))
            type = n.value;
    if (type == 0xffff) {
        *error = QStringLiteral("%1: \"type\" must be one of INT8, INT16, INT32, UINT8, UINT16, UINT32, BOOL, FIX32")
                     .arg(name);
        return false;
    }
    cap->itemType = type;
    cap->readOnly = o.value(QStringLiteral("readOnly")).toBool(false);
    auto list = [&](const QJsonArray &a) {
        std::vector<CapValue> items;
        for (const QJsonValue &v : a)
            items.push_back(jsonValue(v, type));
        return items;
    };
    if (o.contains(QStringLiteral("value"))) {
        cap->kind = SimCapability::OneValue;
        cap->current = cap->defaultValue = jsonValue(o.value(QStringLiteral("value")), type);
        return true;
    }
    if (o.contains(QStringLiteral("array"))) {
        cap->kind = SimCapability::Array;
        cap->items = list(o.value(QStringLiteral("array")).toArray());
        cap->readOnly = true;
        return true;
    }
    if (o.contains(QStringLiteral("enumeration"))) {
        cap->kind = SimCapability::Enumeration;
        cap->items = list(o.value(QStringLiteral("enumeration")).toArray());
        if (cap->items.empty()) {
            *error = QStringLiteral("%1: an enumeration needs at least one item").arg(name);
            return false;
        }
    } else if (o.value(QStringLiteral("range")).isObject()) {
        const QJsonObject r = o.value(QStringLiteral("range")).toObject();
        cap->kind = SimCapability::Range;
        cap->minValue = jsonValue(r.value(QStringLiteral("min")), type);
        cap->maxValue = jsonValue(r.value(QStringLiteral("max")), type);
        cap->step = jsonValue(r.value(QStringLiteral("step")), type);
        if (cap->minValue > cap->maxValue || cap->step < 0) {
            *error = QStringLiteral("%1: a range needs min <= max and a step of 0 or more").arg(name);
            return false;
        }
    } else {
        *error = QStringLiteral("%1: give \"value\", \"enumeration\", \"range\" or \"array\"").arg(name);
        return false;
    }
    const CapValue first = cap->kind == SimCapability::Range ? cap->minValue : cap->items.front();
    cap->current = o.contains(QStringLiteral("current")) ? jsonValue(o.value(QStringLiteral("current")), type) : first;
    cap->defaultValue =
        o.contains(QStringLiteral("default")) ? jsonValue(o.value(QStringLiteral("default")), type) : cap->current;
    if (!cap->allows(cap->current) || !cap->allows(cap->defaultValue)) {
        *error = QStringLiteral("%1: the current and default values must be allowed values").arg(name);
        return false;
    }
    return true;
}

bool readSide(const QJsonObject &sheet, const QString &side, const QDir &base, SimSide *out, QString *error)
{
    const QString file = sheet.value(side).toString();
    if (!file.isEmpty()) {
        out->file = QDir::cleanPath(base.absoluteFilePath(file));
        if (!QFileInfo(out->file).isFile()) {
            *error = QStringLiteral("the page image %1 does not exist").arg(out->file);
            return false;
        }
    }
    for (const QJsonValue &v : sheet.value(side + QStringLiteral("Barcodes")).toArray()) {
        const QJsonObject b = v.toObject();
        SimBarcode code;
        code.type = TW_UINT32(b.value(QStringLiteral("type")).toInt(TWBT_QRCODE));
        code.text = b.value(QStringLiteral("text")).toString();
        code.x = TW_UINT32(b.value(QStringLiteral("x")).toInt());
        code.y = TW_UINT32(b.value(QStringLiteral("y")).toInt());
        code.rotation = TW_UINT32(b.value(QStringLiteral("rotation")).toInt(TWBCOR_ROT0));
        code.confidence = TW_UINT32(b.value(QStringLiteral("confidence")).toInt(100));
        code.claimedLength = b.value(QStringLiteral("claimedLength")).toInt(-1);
        out->barcodes.append(code);
    }
    return true;
}

bool readSource(const QJsonObject &o, const QDir &base, SimSourceConfig *source, QString *error)
{
    source->productName = o.value(QStringLiteral("productName")).toString();
    if (source->productName.isEmpty()) {
        *error = QStringLiteral("a source needs a \"productName\"");
        return false;
    }
    source->manufacturer = o.value(QStringLiteral("manufacturer")).toString(QStringLiteral("Vostra Lab"));
    source->productFamily = o.value(QStringLiteral("productFamily")).toString(QStringLiteral("Simulated"));
    const QStringList protocol = o.value(QStringLiteral("protocol")).toString(QStringLiteral("2.4")).split(QLatin1Char('.'));
    source->protocolMajor = TW_UINT16(protocol.value(0).toUInt());
    source->protocolMinor = TW_UINT16(protocol.value(1).toUInt());
    source->twain2 = o.value(QStringLiteral("twain2")).toBool(source->protocolMajor >= 2);
    source->capabilities = simBuiltInCapabilities();
    const QJsonObject caps = o.value(QStringLiteral("capabilities")).toObject();
    for (auto it = caps.begin(); it != caps.end(); ++it) {
        TW_UINT16 id = 0;
        if (!capabilityId(it.key(), &id)) {
            *error = QStringLiteral("unknown capability %1").arg(it.key());
            return false;
        }
        if (it.value().isNull()) {
            source->capabilities.erase(id);
            continue;
        }
        SimCapability cap;
        cap.id = id;
        if (!readCapability(it.key(), it.value().toObject(), &cap, error))
            return false;
        source->capabilities[id] = cap;
    }
    for (const QJsonValue &v : o.value(QStringLiteral("sheets")).toArray()) {
        SimSheet sheet;
        if (!readSide(v.toObject(), QStringLiteral("front"), base, &sheet.front, error)
            || !readSide(v.toObject(), QStringLiteral("back"), base, &sheet.back, error))
            return false;
        source->sheets.append(sheet);
    }
    const int synthesised = o.value(QStringLiteral("sheetCount")).toInt(0);
    if (synthesised < 0 || synthesised > 100000) {
        *error = QStringLiteral("\"sheetCount\" must be between 0 and 100000");
        return false;
    }
    for (int i = 0; i < synthesised; ++i)
        source->sheets.append(SimSheet());
    const QJsonArray size = o.value(QStringLiteral("pageSize")).toArray();
    if (!size.isEmpty()) {
        source->pageWidth = size.at(0).toDouble();
        source->pageHeight = size.at(1).toDouble();
        if (!(source->pageWidth > 0.5 && source->pageWidth <= 20 && source->pageHeight > 0.5 && source->pageHeight <= 30)) {
            *error = QStringLiteral("\"pageSize\" must be [width, height] in inches");
            return false;
        }
    }
    source->countKnown = o.value(QStringLiteral("countKnown")).toBool(true);
    source->pageSide = o.value(QStringLiteral("pageSide")).toBool(true);
    const QJsonObject faults = o.value(QStringLiteral("faults")).toObject();
    source->faults.cancelAtPage = faults.value(QStringLiteral("cancelAtPage")).toInt(0);
    source->faults.failAtPage = faults.value(QStringLiteral("failAtPage")).toInt(0);
    source->faults.stripFailAtPage = faults.value(QStringLiteral("stripFailAtPage")).toInt(0);
    source->faults.stripFailAtStrip = faults.value(QStringLiteral("stripFailAtStrip")).toInt(1);
    source->faults.nullImageAtPage = faults.value(QStringLiteral("nullImageAtPage")).toInt(0);
    source->faults.stallAtPage = faults.value(QStringLiteral("stallAtPage")).toInt(0);
    source->faults.malformedAtPage = faults.value(QStringLiteral("malformedAtPage")).toInt(0);
    source->faults.malformed = faults.value(QStringLiteral("malformed")).toString(QStringLiteral("headerSize"));
    static const QStringList malformations = {
        QStringLiteral("headerSize"), QStringLiteral("shortBlock"),     QStringLiteral("bits16"),
        QStringLiteral("bits32"),     QStringLiteral("compressed"),     QStringLiteral("hugeWidth"),
        QStringLiteral("heightLie"),  QStringLiteral("sizeImageSmall"), QStringLiteral("widerThanInfo"),
        QStringLiteral("palette24")};
    if (!malformations.contains(source->faults.malformed)) {
        *error = QStringLiteral("\"malformed\" must be one of %1").arg(malformations.join(QStringLiteral(", ")));
        return false;
    }
    SimFaults &f = source->faults;
    f.sizeUntold = faults.value(QStringLiteral("sizeUntold")).toBool(false);
    f.handlesAtPage = faults.value(QStringLiteral("handlesAtPage")).toInt(0);
    f.stripLieAtPage = faults.value(QStringLiteral("stripLieAtPage")).toInt(0);
    f.stripLie = faults.value(QStringLiteral("stripLie")).toString();
    f.hugePageAtPage = faults.value(QStringLiteral("hugePageAtPage")).toInt(0);
    f.imageInfoFailAtPage = faults.value(QStringLiteral("imageInfoFailAtPage")).toInt(0);
    f.endXferFailAtPage = faults.value(QStringLiteral("endXferFailAtPage")).toInt(0);
    f.disableFails = faults.value(QStringLiteral("disableFails")).toInt(0);
    f.neverReady = faults.value(QStringLiteral("neverReady")).toBool(false);
    f.floodCallbacks = faults.value(QStringLiteral("floodCallbacks")).toInt(0);
    f.extInfoLie = faults.value(QStringLiteral("extInfoLie")).toString();
    const QJsonObject containerLie = faults.value(QStringLiteral("containerLie")).toObject();
    if (!containerLie.isEmpty()) {
        f.containerLie = containerLie.value(QStringLiteral("kind")).toString();
        if (!capabilityId(containerLie.value(QStringLiteral("cap")).toString(), &f.containerLieCap)) {
            *error = QStringLiteral("\"containerLie\" names no capability");
            return false;
        }
    }
    static const QStringList stripLies = {QString(), QStringLiteral("zeroRows"), QStringLiteral("repeatRowZero"),
                                          QStringLiteral("doneEarly"), QStringLiteral("gap")};
    static const QStringList containerLies = {QString(), QStringLiteral("hugeCount"), QStringLiteral("indexPastCount"),
                                              QStringLiteral("arrayCountLies"), QStringLiteral("shortOneValue")};
    static const QStringList extInfoLies = {QString(), QStringLiteral("nullHandle"), QStringLiteral("longFrame"),
                                            QStringLiteral("cameraFull"), QStringLiteral("sharedHandle")};
    if (!stripLies.contains(f.stripLie) || !containerLies.contains(f.containerLie)
        || !extInfoLies.contains(f.extInfoLie) || f.floodCallbacks < 0 || f.floodCallbacks > 100000) {
        *error = QStringLiteral("a hostile fault of source \"%1\" is not one the simulator knows")
                     .arg(source->productName);
        return false;
    }
    source->lengthUnknown = o.value(QStringLiteral("lengthUnknown")).toBool(false);
    source->nativeTopDown = o.value(QStringLiteral("nativeTopDown")).toBool(false);
    source->cameraUnterminated = o.value(QStringLiteral("cameraUnterminated")).toBool(false);
    source->settingsOk = o.value(QStringLiteral("settingsDialog")).toString(QStringLiteral("ok")) != QLatin1String("cancel");
    source->closeRequestAfterBatch = o.value(QStringLiteral("closeRequestAfterBatch")).toBool(false);
    const int buffer = o.value(QStringLiteral("preferredBufferSize")).toInt(65536);
    if (buffer < 64) {
        *error = QStringLiteral("\"preferredBufferSize\" must be at least 64 bytes");
        return false;
    }
    source->preferredBufferSize = TW_UINT32(buffer);
    return true;
}

} // namespace

std::map<TW_UINT16, SimCapability> simBuiltInCapabilities()
{
    using K = SimCapability;
    std::map<TW_UINT16, SimCapability> caps;
    auto add = [&](SimCapability cap) { caps[cap.id] = cap; };
    add(make(CAP_XFERCOUNT, TWTY_INT16, K::OneValue, {}, -1));
    add(make(ICAP_XFERMECH, TWTY_UINT16, K::Enumeration, {TWSX_NATIVE, TWSX_MEMORY}, TWSX_NATIVE));
    add(make(ICAP_PIXELTYPE, TWTY_UINT16, K::Enumeration, {TWPT_BW, TWPT_GRAY, TWPT_RGB}, TWPT_GRAY));
    add(make(ICAP_COMPRESSION, TWTY_UINT16, K::Enumeration, {TWCP_NONE}, TWCP_NONE));
    add(make(ICAP_UNITS, TWTY_UINT16, K::Enumeration, {TWUN_INCHES}, TWUN_INCHES));
    add(make(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, K::Enumeration, {TWFF_TIFF, TWFF_BMP}, TWFF_BMP));
    add(make(ICAP_PIXELFLAVOR, TWTY_UINT16, K::Enumeration, {TWPF_CHOCOLATE}, TWPF_CHOCOLATE));
    std::vector<CapValue> dpi;
    for (double v : {100.0, 150.0, 200.0, 300.0, 400.0, 600.0})
        dpi.push_back(simFix32(v));
    add(make(ICAP_XRESOLUTION, TWTY_FIX32, K::Enumeration, dpi, simFix32(200)));
    add(make(ICAP_YRESOLUTION, TWTY_FIX32, K::Enumeration, dpi, simFix32(200)));
    add(make(CAP_AUTOSCAN, TWTY_BOOL, K::OneValue, {}, 1));
    add(make(CAP_AUTOFEED, TWTY_BOOL, K::OneValue, {}, 1));
    add(make(CAP_INDICATORS, TWTY_BOOL, K::OneValue, {}, 1));
    add(make(CAP_FEEDERENABLED, TWTY_BOOL, K::OneValue, {}, 1));
    add(make(CAP_UICONTROLLABLE, TWTY_BOOL, K::OneValue, {}, 1, true));
    add(make(CAP_PAPERDETECTABLE, TWTY_BOOL, K::OneValue, {}, 1, true));
    add(make(CAP_DEVICEONLINE, TWTY_BOOL, K::OneValue, {}, 1, true));
    add(make(CAP_DUPLEX, TWTY_UINT16, K::OneValue, {}, TWDX_1PASSDUPLEX, true));
    add(make(CAP_DUPLEXENABLED, TWTY_BOOL, K::OneValue, {}, 0));
    add(make(ICAP_SUPPORTEDBARCODETYPES, TWTY_UINT16, K::Array,
             {TWBT_3OF9, TWBT_2OF5INTERLEAVED, TWBT_CODE128, TWBT_EAN13, TWBT_PDF417, TWBT_QRCODE}, 0, true));
    return caps;
}

bool readSimSources(const QString &path, QVector<SimSourceConfig> *sources, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the source file %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (!doc.isObject()) {
        *error = QStringLiteral("%1 is not a JSON object: %2").arg(path, parse.errorString());
        return false;
    }
    const QDir base = QFileInfo(path).absoluteDir();
    sources->clear();
    const QJsonArray list = doc.object().value(QStringLiteral("sources")).toArray();
    for (int i = 0; i < list.size(); ++i) {
        SimSourceConfig source;
        QString why;
        if (!readSource(list.at(i).toObject(), base, &source, &why)) {
            *error = QStringLiteral("%1, source %2: %3").arg(path).arg(i + 1).arg(why);
            return false;
        }
        sources->append(source);
    }
    return true;
}
