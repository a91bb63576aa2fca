// Pages from the simulated manager: native DIBs and memory strips decoded
// back to the pixels of the page images, duplex sides, barcodes in the
// extended image information, page counts, cancel and failures, and every
// block of the manager's memory given back after a batch.

#include "simsession.h"

#include <QtTest>

namespace {

// 13 x 5: the odd width pads every DIB row, the grey levels straddle the
// 1-bit threshold (127 black, 128 white).
QImage greyFixture()
{
    QImage image(13, 5, QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.scanLine(y)[x] = uchar((x * 37 + y * 91 + (x == 3 ? 127 : 0)) % 256);
    image.scanLine(2)[4] = 127;
    image.scanLine(2)[5] = 128;
    return image;
}

QImage colourFixture(QRgb tint)
{
    QImage image(13, 5, QImage::Format_RGB888);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 19 + qRed(tint)) % 256, (y * 53 + qGreen(tint)) % 256, (x * y * 7 + qBlue(tint)) % 256));
    return image;
}

// What a page of that depth holds: 1-bit as 0 / 255 grey.
QImage expected(const QImage &fixture, int pixelType)
{
    if (pixelType == TWPT_RGB)
        return fixture.convertToFormat(QImage::Format_RGB888);
    QImage grey = fixture.convertToFormat(QImage::Format_Grayscale8);
    if (pixelType == TWPT_BW)
        for (int y = 0; y < grey.height(); ++y)
            for (int x = 0; x < grey.width(); ++x)
                grey.scanLine(y)[x] = grey.scanLine(y)[x] >= 128 ? 255 : 0;
    return grey;
}

} // namespace

class SimTransferTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void nativePages_data();
    void nativePages();
    void memoryStrips_data();
    void memoryStrips();
    void memoryBufferRefused_data();
    void memoryBufferRefused();
    void duplexSides_data();
    void duplexSides();
    void barcodes_data();
    void barcodes();
    void extImageInfoCountOutOfReach_data();
    void extImageInfoCountOutOfReach();
    void pageCounts_data();
    void pageCounts();
    void faults_data();
    void faults();
    void stopFeeder();
    void leakShowsUntilFreed();

private:
    void writeFixtures();
    void start(const QByteArray &sourceJson, TW_UINT16 pixelType, TW_UINT16 mechanism);
    QImage nativePage() { return s->nativePage(); }
    QImage memoryPage(TW_UINT32 bufferSize, bool byHandle, int *strips) { return s->memoryPage(bufferSize, byHandle, strips); }
    std::unique_ptr<SimSession> s;
};

void SimTransferTest::init()
{
    s.reset(new SimSession);
    writeFixtures();
}

void SimTransferTest::cleanup()
{
    s.reset();
    // Everything the batch took from the manager was given back.
    QCOMPARE(SimSession::liveHandles(), 0);
}

void SimTransferTest::writeFixtures()
{
    QVERIFY(greyFixture().save(s->dir.filePath(QStringLiteral("grey.png"))));
    QVERIFY(colourFixture(qRgb(0, 0, 0)).save(s->dir.filePath(QStringLiteral("front1.png"))));
    QVERIFY(colourFixture(qRgb(90, 0, 0)).save(s->dir.filePath(QStringLiteral("back1.png"))));
    QVERIFY(colourFixture(qRgb(0, 90, 0)).save(s->dir.filePath(QStringLiteral("front2.png"))));
    QVERIFY(colourFixture(qRgb(0, 0, 90)).save(s->dir.filePath(QStringLiteral("back2.png"))));
}

QImage fixtureFile(const SimSession &s, const char *name)
{
    return QImage(s.dir.filePath(QString::fromLatin1(name)));
}

// One source from its JSON body, opened, set to pixelType and mechanism,
// enabled, and at the first page.
void SimTransferTest::start(const QByteArray &sourceJson, TW_UINT16 pixelType, TW_UINT16 mechanism)
{
    s->writeSources("{\"sources\": [{\"productName\": \"Sim\", " + sourceJson + "}]}");
    QVERIFY(s->openManager());
    QVERIFY(s->openSource());
    QVERIFY(s->setOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType));
    QVERIFY(s->setOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism));
    QVERIFY(s->enable());
    QVERIFY(s->fetchXferReady());
}

void SimTransferTest::nativePages_data()
{
    QTest::addColumn<int>("pixelType");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("bits");
    QTest::newRow("1-bit") << TWPT_BW << "grey.png" << 1;
    QTest::newRow("8-bit") << TWPT_GRAY << "grey.png" << 8;
    QTest::newRow("24-bit") << TWPT_RGB << "front1.png" << 24;
}

void SimTransferTest::nativePages()
{
    QFETCH(int, pixelType);
    QFETCH(QString, file);
    QFETCH(int, bits);
    start("\"sheets\": [{\"front\": \"" + file.toLatin1() + "\"}]", TW_UINT16(pixelType), TWSX_NATIVE);
    TW_IMAGEINFO info = {};
    QCOMPARE(s->ds(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(int(info.BitsPerPixel), bits);
    QCOMPARE(int(info.SamplesPerPixel), bits == 24 ? 3 : 1);
    QCOMPARE(int(info.PixelType), pixelType);
    QCOMPARE(info.ImageWidth, 13);
    QCOMPARE(info.ImageLength, 5);
    const QImage page = nativePage();
    QVERIFY(!page.isNull());
    QCOMPARE(page, expected(fixtureFile(*s, qPrintable(file)), pixelType));
    TW_UINT16 count = 9;
    QCOMPARE(s->endTransfer(&count), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(count, TW_UINT16(0));
}

void SimTransferTest::memoryStrips_data()
{
    QTest::addColumn<int>("pixelType");
    QTest::addColumn<QString>("file");
    QTest::addColumn<uint>("bufferSize");
    QTest::addColumn<bool>("byHandle");
    QTest::addColumn<int>("strips");
    // Rows: 2 bytes at 1 bit, 13 at 8, 39 at 24; the page has 5 rows.
    QTest::newRow("1-bit, whole page") << TWPT_BW << "grey.png" << 64u << false << 1;
    QTest::newRow("8-bit, one row a strip") << TWPT_GRAY << "grey.png" << 13u << false << 5;
    QTest::newRow("8-bit, two rows and a rest") << TWPT_GRAY << "grey.png" << 30u << true << 3;
    QTest::newRow("24-bit, four rows then one") << TWPT_RGB << "front1.png" << 160u << false << 2;
}

void SimTransferTest::memoryStrips()
{
    QFETCH(int, pixelType);
    QFETCH(QString, file);
    QFETCH(uint, bufferSize);
    QFETCH(bool, byHandle);
    QFETCH(int, strips);
    start("\"sheets\": [{\"front\": \"" + file.toLatin1() + "\"}]", TW_UINT16(pixelType), TWSX_MEMORY);
    TW_SETUPMEMXFER setup = {};
    QCOMPARE(s->ds(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(setup.MinBufSize, TW_UINT32(pixelType == TWPT_BW ? 2 : pixelType == TWPT_GRAY ? 13 : 39));
    QVERIFY(setup.Preferred >= setup.MinBufSize && setup.MaxBufSize >= setup.Preferred);
    int got = 0;
    const QImage page = memoryPage(bufferSize, byHandle, &got);
    QVERIFY(!page.isNull());
    QCOMPARE(got, strips);
    QCOMPARE(page, expected(fixtureFile(*s, qPrintable(file)), pixelType));
    // The page is done: another strip is out of sequence.
    TW_IMAGEMEMXFER more = {};
    char buffer[64];
    more.Memory = {TWMF_APPOWNS | TWMF_POINTER, sizeof buffer, buffer};
    QCOMPARE(s->ds(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &more), TW_UINT16(TWRC_FAILURE));
    QCOMPARE(s->condition(true), TW_UINT16(TWCC_SEQERROR));
    QCOMPARE(s->endTransfer(), TW_UINT16(TWRC_SUCCESS));
}

void SimTransferTest::memoryBufferRefused_data()
{
    QTest::addColumn<uint>("flags");
    QTest::addColumn<uint>("length");
    QTest::addColumn<int>("memory");  // 0 a real buffer, 1 null, 2 a handle the manager never gave
    QTest::newRow("shorter than a row") << uint(TWMF_APPOWNS | TWMF_POINTER) << 12u << 0;
    QTest::newRow("no buffer") << uint(TWMF_APPOWNS | TWMF_POINTER) << 64u << 1;
    QTest::newRow("source-owned") << uint(TWMF_DSOWNS | TWMF_POINTER) << 64u << 0;
    QTest::newRow("unknown handle") << uint(TWMF_APPOWNS | TWMF_HANDLE) << 64u << 2;
}

void SimTransferTest::memoryBufferRefused()
{
    QFETCH(uint, flags);
    QFETCH(uint, length);
    QFETCH(int, memory);
    start("\"sheets\": [{\"front\": \"grey.png\"}]", TWPT_GRAY, TWSX_MEMORY);
    unsigned char buffer[64];
    std::memset(buffer, 0xAB, sizeof buffer);
    TW_IMAGEMEMXFER xfer = {};
    xfer.Memory.Flags = flags;
    xfer.Memory.Length = length;
    xfer.Memory.TheMem = memory == 0 ? static_cast<void *>(buffer) : memory == 1 ? nullptr : reinterpret_cast<void *>(0x5000);
    QCOMPARE(s->ds(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TW_UINT16(TWRC_FAILURE));
    QCOMPARE(s->condition(true), TW_UINT16(TWCC_BADVALUE));
    for (unsigned char b : buffer)
        QCOMPARE(int(b), 0xAB);
    // Refused, the page is still there to fetch properly.
    int strips = 0;
    QVERIFY(!memoryPage(64, false, &strips).isNull());
    QCOMPARE(s->endTransfer(), TW_UINT16(TWRC_SUCCESS));
}

void SimTransferTest::duplexSides_data()
{
    QTest::addColumn<bool>("duplex");
    QTest::addColumn<bool>("sideKnown");
    QTest::addColumn<QStringList>("pages");  // file, side as TOP / BOTTOM / -
    QTest::newRow("duplex") << true << true
                            << QStringList{"front1.png TOP", "back1.png BOTTOM", "front2.png TOP", "back2.png BOTTOM"};
    QTest::newRow("simplex") << false << true << QStringList{"front1.png TOP", "front2.png TOP"};
    QTest::newRow("source without side information") << true << false
                                                     << QStringList{"front1.png -", "back1.png -", "front2.png -", "back2.png -"};
}

void SimTransferTest::duplexSides()
{
    QFETCH(bool, duplex);
    QFETCH(bool, sideKnown);
    QFETCH(QStringList, pages);
    QByteArray json = R"("sheets": [{"front": "front1.png", "back": "back1.png"}, {"front": "front2.png", "back": "back2.png"}])";
    json += sideKnown ? "" : R"(, "pageSide": false)";
    s->writeSources("{\"sources\": [{\"productName\": \"Sim\", " + json + "}]}");
    QVERIFY(s->openManager());
    QVERIFY(s->openSource());
    QVERIFY(s->setOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB));
    QVERIFY(s->setOneValue(CAP_DUPLEXENABLED, TWTY_BOOL, duplex));
    QVERIFY(s->enable());
    QVERIFY(s->fetchXferReady());
    for (int i = 0; i < pages.size(); ++i) {
        const QStringList want = pages[i].split(' ');
        QCOMPARE(nativePage(), expected(fixtureFile(*s, qPrintable(want[0])), TWPT_RGB));
        QByteArray record(int(sizeof(TW_EXTIMAGEINFO) + 2 * sizeof(TW_INFO)), 0);
        auto *ext = reinterpret_cast<TW_EXTIMAGEINFO *>(record.data());
        ext->NumInfos = 3;
        TW_INFO *info = ext->Info;
        info[0].InfoID = TWEI_PAGESIDE;
        info[1].InfoID = TWEI_CAMERA;
        info[2].InfoID = TWEI_DOCUMENTNUMBER;
        QCOMPARE(s->ds(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, ext), TW_UINT16(TWRC_SUCCESS));
        QCOMPARE(info[2].ReturnCode, TW_UINT16(TWRC_SUCCESS));
        QCOMPARE(TW_UINT32(info[2].Item), TW_UINT32(i / (duplex ? 2 : 1) + 1));
        if (want[1] == QLatin1String("-")) {
            QCOMPARE(info[0].ReturnCode, TW_UINT16(TWRC_INFONOTSUPPORTED));
            QCOMPARE(info[1].ReturnCode, TW_UINT16(TWRC_INFONOTSUPPORTED));
        } else {
            QCOMPARE(info[0].ItemType, TW_UINT16(TWTY_UINT16));
            QCOMPARE(TW_UINT16(info[0].Item), TW_UINT16(want[1] == QLatin1String("TOP") ? TWCS_TOP : TWCS_BOTTOM));
            QCOMPARE(info[1].ItemType, TW_UINT16(TWTY_STR255));
            auto camera = reinterpret_cast<TW_HANDLE>(info[1].Item);
            QCOMPARE(QString::fromLatin1(static_cast<const char *>(s->entry.DSM_MemLock(camera))), want[1]);
            s->entry.DSM_MemUnlock(camera);
            s->entry.DSM_MemFree(camera);
        }
        TW_UINT16 count = 0;
        QCOMPARE(s->endTransfer(&count), TW_UINT16(TWRC_SUCCESS));
        QCOMPARE(int(count), pages.size() - 1 - i);
    }
}

void SimTransferTest::barcodes_data()
{
    QTest::addColumn<QByteArray>("codes");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("none") << QByteArray("[]") << QStringList();
    QTest::newRow("one") << QByteArray(R"([{"type": 20, "text": "S0042", "x": 11, "y": 22, "rotation": 1}])")
                         << QStringList{"S0042"};
    QTest::newRow("two") << QByteArray(R"([{"type": 20, "text": "学号7", "x": 11, "y": 22},
                                            {"type": 4, "text": "EXAM-9", "x": 33, "y": 44, "confidence": 80}])")
                         << QStringList{"学号7", "EXAM-9"};
}

void SimTransferTest::barcodes()
{
    QFETCH(QByteArray, codes);
    QFETCH(QStringList, texts);
    start("\"sheets\": [{\"front\": \"grey.png\", \"frontBarcodes\": " + codes + "}]", TWPT_GRAY, TWSX_NATIVE);
    QVERIFY(!nativePage().isNull());

    const TW_UINT16 ids[] = {TWEI_BARCODECOUNT, TWEI_BARCODETYPE, TWEI_BARCODETEXTLENGTH, TWEI_BARCODETEXT,
                             TWEI_BARCODEX,     TWEI_BARCODEY,    TWEI_BARCODEROTATION,   TWEI_BARCODECONFIDENCE,
                             TWEI_MAGDATA};
    const int n = int(sizeof ids / sizeof *ids);
    QByteArray record(int(sizeof(TW_EXTIMAGEINFO) + n * sizeof(TW_INFO)), 0);
    auto *ext = reinterpret_cast<TW_EXTIMAGEINFO *>(record.data());
    ext->NumInfos = TW_UINT32(n);
    for (int i = 0; i < n; ++i)
        ext->Info[i].InfoID = ids[i];
    QCOMPARE(s->ds(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, ext), TW_UINT16(TWRC_SUCCESS));

    TW_INFO *info = ext->Info;
    QCOMPARE(info[0].ReturnCode, TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(TW_UINT32(info[0].Item), TW_UINT32(texts.size()));
    QCOMPARE(info[8].ReturnCode, TW_UINT16(TWRC_INFONOTSUPPORTED));
    // Values of four bytes or less are in Item; more come in a handle.
    auto values = [&](const TW_INFO &i) {
        QVector<TW_UINT32> out(i.NumItems);
        if (i.NumItems * 4 <= 4) {
            std::memcpy(out.data(), &i.Item, 4 * std::size_t(i.NumItems));
        } else {
            auto h = reinterpret_cast<TW_HANDLE>(i.Item);
            std::memcpy(out.data(), s->entry.DSM_MemLock(h), 4 * std::size_t(i.NumItems));
            s->entry.DSM_MemUnlock(h);
            s->entry.DSM_MemFree(h);
        }
        return out;
    };
    if (texts.isEmpty()) {
        for (int i = 1; i < 8; ++i)
            QCOMPARE(info[i].ReturnCode, TW_UINT16(TWRC_DATANOTAVAILABLE));
        QCOMPARE(s->endTransfer(), TW_UINT16(TWRC_SUCCESS));
        return;
    }
    const QVector<TW_UINT32> types = values(info[1]);
    const QVector<TW_UINT32> lengths = values(info[2]);
    const QVector<TW_UINT32> xs = values(info[4]);
    const QVector<TW_UINT32> rotations = values(info[6]);
    const QVector<TW_UINT32> confidences = values(info[7]);
    QCOMPARE(types.first(), TW_UINT32(TWBT_QRCODE));
    QCOMPARE(xs.first(), TW_UINT32(11));
    QCOMPARE(info[3].ItemType, TW_UINT16(TWTY_HANDLE));
    QCOMPARE(int(info[3].NumItems), texts.size());
    auto textHandle = reinterpret_cast<TW_HANDLE>(info[3].Item);
    const char *all = static_cast<const char *>(s->entry.DSM_MemLock(textHandle));
    QStringList got;
    std::size_t offset = 0;
    for (TW_UINT32 length : lengths) {
        got << QString::fromUtf8(all + offset, int(length));
        offset += length;
    }
    s->entry.DSM_MemUnlock(textHandle);
    s->entry.DSM_MemFree(textHandle);
    QCOMPARE(got, texts);
    if (texts.size() == 2) {
        QCOMPARE(types[1], TW_UINT32(TWBT_CODE128));
        QCOMPARE(xs[1], TW_UINT32(33));
        QCOMPARE(confidences, QVector<TW_UINT32>({100, 80}));
    } else {
        QCOMPARE(rotations.first(), TW_UINT32(TWBCOR_ROT90));
    }
    const QVector<TW_UINT32> ys = values(info[5]);
    QCOMPARE(ys.first(), TW_UINT32(22));
    QCOMPARE(s->endTransfer(), TW_UINT16(TWRC_SUCCESS));
}

void SimTransferTest::extImageInfoCountOutOfReach_data()
{
    QTest::addColumn<uint>("numInfos");
    QTest::newRow("none") << 0u;
    QTest::newRow("garbled") << 0x10000000u;
}

// The record's size is not passed with it: a count beyond any real request
// is refused before anything is written.
void SimTransferTest::extImageInfoCountOutOfReach()
{
    QFETCH(uint, numInfos);
    start(R"("sheets": [{"front": "grey.png", "frontBarcodes": [{"text": "A"}]}])", TWPT_GRAY, TWSX_NATIVE);
    QVERIFY(!nativePage().isNull());
    QByteArray record(int(sizeof(TW_EXTIMAGEINFO) + sizeof(TW_INFO)), '\x5a');
    auto *ext = reinterpret_cast<TW_EXTIMAGEINFO *>(record.data());
    ext->NumInfos = numInfos;
    const QByteArray before = record;
    QCOMPARE(s->ds(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, ext), TW_UINT16(TWRC_FAILURE));
    QCOMPARE(s->condition(true), TW_UINT16(TWCC_BADVALUE));
    QCOMPARE(record, before);
    QCOMPARE(s->endTransfer(), TW_UINT16(TWRC_SUCCESS));
}

void SimTransferTest::pageCounts_data()
{
    QTest::addColumn<bool>("known");
    QTest::addColumn<int>("xferCount");
    QTest::addColumn<QVector<int>>("counts");  // after each page
    QTest::newRow("known") << true << -1 << QVector<int>{2, 1, 0};
    QTest::newRow("unknown until the last") << false << -1 << QVector<int>{-1, -1, 0};
    QTest::newRow("application asks for two") << true << 2 << QVector<int>{1, 0};
}

void SimTransferTest::pageCounts()
{
    QFETCH(bool, known);
    QFETCH(int, xferCount);
    QFETCH(QVector<int>, counts);
    s->writeSources(QByteArray("{\"sources\": [{\"productName\": \"Sim\", \"sheetCount\": 3, \"pageSize\": [1, 1], "
                               "\"countKnown\": ")
                    + (known ? "true" : "false") + "}]}");
    QVERIFY(s->openManager());
    QVERIFY(s->openSource());
    QVERIFY(s->setOneValue(CAP_XFERCOUNT, TWTY_INT16, TW_UINT32(TW_UINT16(TW_INT16(xferCount)))));
    QVERIFY(s->enable());
    QVERIFY(s->fetchXferReady());
    TW_PENDINGXFERS pending = {};
    QCOMPARE(s->ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(int(TW_INT16(pending.Count)), known ? counts.size() : -1);
    for (int expectedCount : counts) {
        QVERIFY(!nativePage().isNull());
        TW_UINT16 count = 0;
        QCOMPARE(s->endTransfer(&count), TW_UINT16(TWRC_SUCCESS));
        QCOMPARE(int(TW_INT16(count)), expectedCount);
    }
    // The batch is over: the source is enabled with nothing to transfer.
    TW_USERINTERFACE ui = {};
    QCOMPARE(s->ds(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TW_UINT16(TWRC_SUCCESS));
}

void SimTransferTest::faults_data()
{
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<int>("mechanism");
    QTest::addColumn<int>("rc");  // of page 2's transfer
    QTest::addColumn<QString>("trace");
    QTest::newRow("native cancel") << QByteArray(R"({"cancelAtPage": 2})") << TWSX_NATIVE << int(TWRC_CANCEL)
                                   << "page 2 cancelled";
    QTest::newRow("native failure") << QByteArray(R"({"failAtPage": 2})") << TWSX_NATIVE << int(TWRC_FAILURE)
                                    << "device failure on page 2";
    QTest::newRow("memory cancel") << QByteArray(R"({"cancelAtPage": 2})") << TWSX_MEMORY << int(TWRC_CANCEL)
                                   << "page 2 cancelled";
    QTest::newRow("strip failure") << QByteArray(R"({"stripFailAtPage": 2, "stripFailAtStrip": 3})") << TWSX_MEMORY
                                   << int(TWRC_FAILURE) << "failure of strip 3 of page 2";
}

void SimTransferTest::faults()
{
    QFETCH(QByteArray, faults);
    QFETCH(int, mechanism);
    QFETCH(int, rc);
    QFETCH(QString, trace);
    start(R"("sheets": [{"front": "grey.png"}, {"front": "grey.png"}, {"front": "grey.png"}], "faults": )" + faults,
          TWPT_GRAY, TW_UINT16(mechanism));
    int strips = 0;
    QVERIFY(!(mechanism == TWSX_NATIVE ? nativePage() : memoryPage(13, false, &strips)).isNull());
    QCOMPARE(s->endTransfer(), TW_UINT16(TWRC_SUCCESS));

    // Page 2 breaks, however far its strips got.
    TW_UINT16 got = 0;
    if (mechanism == TWSX_NATIVE) {
        TW_HANDLE dib = nullptr;
        got = s->ds(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
        QVERIFY(!dib);
    } else {
        unsigned char buffer[13];
        for (int strip = 0; strip < 5; ++strip) {
            TW_IMAGEMEMXFER xfer = {};
            xfer.Memory = {TWMF_APPOWNS | TWMF_POINTER, sizeof buffer, buffer};
            got = s->ds(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
            if (got != TWRC_SUCCESS)
                break;
        }
    }
    QCOMPARE(int(got), rc);
    if (rc == TWRC_FAILURE)
        QCOMPARE(s->condition(true), TW_UINT16(TWCC_OPERATIONERROR));
    QVERIFY2(s->traced(trace), qPrintable(s->trace().join('\n')));
    // The application gives up the batch: end, reset, disable.
    TW_UINT16 count = 0;
    QCOMPARE(s->endTransfer(&count), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(count, TW_UINT16(1));
    TW_PENDINGXFERS pending = {};
    QCOMPARE(s->ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(pending.Count, TW_UINT16(0));
    TW_USERINTERFACE ui = {};
    QCOMPARE(s->ds(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TW_UINT16(TWRC_SUCCESS));
}

void SimTransferTest::stopFeeder()
{
    start(R"("sheetCount": 5, "pageSize": [1, 1])", TWPT_GRAY, TWSX_NATIVE);
    QVERIFY(!nativePage().isNull());
    TW_PENDINGXFERS pending = {};
    QCOMPARE(s->ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, &pending), TW_UINT16(TWRC_SUCCESS));
    TW_UINT16 count = 9;
    QCOMPARE(s->endTransfer(&count), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(count, TW_UINT16(0));
    TW_USERINTERFACE ui = {};
    QCOMPARE(s->ds(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TW_UINT16(TWRC_SUCCESS));
}

void SimTransferTest::leakShowsUntilFreed()
{
    start(R"("sheetCount": 2, "pageSize": [1, 1])", TWPT_GRAY, TWSX_NATIVE);
    TW_HANDLE dib = nullptr;
    QCOMPARE(s->ds(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TW_UINT16(TWRC_XFERDONE));
    QCOMPARE(s->endTransfer(), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(SimSession::liveHandles(), 1);
    s->entry.DSM_MemFree(dib);
    QCOMPARE(SimSession::liveHandles(), 0);
    // A freed handle stays dead.
    QCOMPARE(s->entry.DSM_MemLock(dib), nullptr);
}

QTEST_GUILESS_MAIN(SimTransferTest)
#include "simtransfer_test.moc"
