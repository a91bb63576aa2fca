#include "pipelinefixture.h"

#include "featurealign.h"
#include "recognitionworker.h"
#include "templateloader.h"

#include <QDir>
#include <QMutex>
#include <QThread>

#include <memory>

PipelineFixture::PipelineFixture(const SheetSpec &spec, const QString &examDir, const RecognitionSettings &settings)
    : m_renderer(spec), m_settings(settings), m_examDir(examDir)
{
    for (const char *sub : {"codes", "objects", "subjects", "optionals", "scans"}) {
        if (!QDir().mkpath(examDir + QLatin1Char('/') + QLatin1String(sub))) {
            m_error = QStringLiteral("cannot create ") + examDir;
            return;
        }
    }
    if (!loadTemplate(m_renderer.templateXml()))
        return;
    // Keys: single choice "B"-like letters for most questions, multiple choice
    // with every compare rule for every third one.
    for (int item : spec.objectiveItems()) {
        const AnswerSetting key = keyFor(item);
        (spec.isOptionalItem(item) ? optionalAnswerSettings : answerSettings) << key;
    }
}

bool PipelineFixture::loadTemplate(const QByteArray &xml)
{
    m_log.clear();
    const TemplateLoadResult loaded = parseTemplateText(xml, m_model, m_log);
    if (!loaded.ok()) {
        m_error = loaded.message;
        return false;
    }
    applyPageOrigins(m_model);
    for (TemplatePage &page : m_model.templatePages) {
        if (page.isRectangleAnchor)
            continue;
        bool prepared = false;
        QString text;
        prepareTemplateFeatures(page, m_settings.maxObjectFeaturePointCount, m_settings.featurePointSearchScale,
                                m_settings.featurePointSearchLevel, prepared, text);
        if (!prepared) {
            m_error = text;
            return false;
        }
    }
    return true;
}

AnswerSetting PipelineFixture::keyFor(int item) const
{
    const int options = std::max(spec().optionCount(item), 1);
    AnswerSetting key;
    key.itemId = item;
    key.multiple = item % 3 == 0;
    key.score = key.multiple ? 4.0f : 2.0f;
    key.partScore = 1.0f;
    key.compareType = CompareType(item % 4);
    key.answer = QString(QChar('A' + item % options));
    if (key.multiple && options > 2) {
        const QChar second('A' + (item + 1) % options);
        key.answer = key.answer < QString(second) ? key.answer + second : QString(second) + key.answer;
    }
    return key;
}

void PipelineFixture::addStudent(const QString &code, int id)
{
    StudentInfo info;
    info.code = code;
    info.id = id;
    info.realname = QStringLiteral("学生") + code;
    roster.insert(code, info);
}

QStringList PipelineFixture::writeStudent(const StudentMarks &marks, const Distortion &distortion, int sheetIndex)
{
    const int pages = spec().pageCount;
    return m_renderer.writeSheet(m_examDir + QStringLiteral("/scans"), marks, distortion, QStringLiteral("scan"),
                                 sheetIndex * pages + 1);
}

PipelineContext PipelineFixture::context(const RecognitionSettings &settings, int imageRows) const
{
    PipelineContext ctx;
    ctx.model = &m_model;
    ctx.settings = settings;
    ctx.answerSettings = answerSettings;
    ctx.optionalAnswerSettings = optionalAnswerSettings;
    ctx.studentHash = roster;
    ctx.sheetDir = m_examDir;
    ctx.imageRowCount = imageRows;
    ctx.resultCols = 64;
    return ctx;
}

void PipelineFixture::run(RecordingSink &sink, int rows, int workers, const RecognitionSettings *settings,
                          PipelineTimings *timings)
{
    PipelineContext ctx = context(settings ? *settings : m_settings, rows);
    ctx.timings = timings;
    QMutex claimMutex;
    int nextRow = 0;
    RecognitionRun run(claimMutex, nextRow, workers);
    std::atomic<bool> stop{false};
    std::vector<WorkerState> states(static_cast<size_t>(workers));
    for (int w = 0; w < workers; ++w) {
        states[size_t(w)].index = w;
        states[size_t(w)].name = QStringLiteral("识别处理线程 %1").arg(w + 1);
        states[size_t(w)].classifyImageModeOnce = w == 0;
    }
    if (workers == 1) {
        runRecognitionWorker(ctx, run, states[0], 0, rows - 1, stop, sink);
        return;
    }
    std::vector<std::unique_ptr<QThread>> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back(QThread::create(
            [&, w] { runRecognitionWorker(ctx, run, states[size_t(w)], 0, rows - 1, stop, sink); }));
        threads.back()->start();
    }
    for (auto &t : threads)
        t->wait();
}
