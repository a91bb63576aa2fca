#pragma once
// One exam ready for recognition, built from a synthetic sheet description:
// the template loaded into a model (origins applied, printed-text features
// prepared), an answer key for every question, a roster, and an exam folder
// with its sub-folders under a directory the caller owns.

#include "recordingsink.h"
#include "sheetpipeline.h"
#include "sheetrenderer.h"

#include <QString>
#include <QStringList>

class PipelineFixture {
public:
    // examDir receives "codes", "objects", "subjects", "optionals"; scans go
    // to examDir + "/scans".
    PipelineFixture(const SheetSpec &spec, const QString &examDir,
                    const RecognitionSettings &settings = RecognitionSettings());

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    const SheetRenderer &renderer() const { return m_renderer; }
    const SheetSpec &spec() const { return m_renderer.spec(); }
    TemplateModel &model() { return m_model; }
    QString examDir() const { return m_examDir; }
    QStringList loadLog() const { return m_log; }

    // Replaces the model with this template text (origins applied, features
    // prepared), for a template written by something other than the renderer.
    bool loadTemplate(const QByteArray &xml);

    // The key of question `item` (every question has one; see the .cpp).
    AnswerSetting keyFor(int item) const;
    // Adds a roster entry; id must be positive to be found.
    void addStudent(const QString &code, int id);

    // Writes the pages of one student and returns their paths.
    QStringList writeStudent(const StudentMarks &marks, const Distortion &distortion, int sheetIndex);

    PipelineContext context(const RecognitionSettings &settings, int imageRows) const;
    PipelineContext context(int imageRows) const { return context(m_settings, imageRows); }

    // Runs `workers` claim loops (threads when more than one) over every row
    // of the sink; returns when all have finished.
    void run(RecordingSink &sink, int rows, int workers = 1, const RecognitionSettings *settings = nullptr,
             PipelineTimings *timings = nullptr);

    QVector<AnswerSetting> answerSettings;
    QVector<AnswerSetting> optionalAnswerSettings;
    StudentHash roster;

private:
    SheetRenderer m_renderer;
    RecognitionSettings m_settings;
    TemplateModel m_model;
    QString m_examDir;
    QStringList m_log;
    QString m_error;
};
