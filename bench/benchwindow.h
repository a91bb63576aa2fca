#pragma once
// The processing window on a rendered exam, as the benchmarks open it: the
// fixture's template, answers and roster, its scans folder as the exam's.

#include "mainwindow.h"
#include "pipelinefixture.h"

inline bool openFixtureExam(MainWindow &window, const PipelineFixture &fx, const QString &examId)
{
    window.templateDoc.Parse(fx.renderer().templateXml().constData());
    window.answerSettings = fx.answerSettings;
    window.optionalAnswerSettings = fx.optionalAnswerSettings;
    window.studentHash = fx.roster;
    MainWindow::ExamSelection exam;
    exam.examId = examId;
    exam.imageSavePath = fx.examDir() + QStringLiteral("/scans");
    return window.openExam(exam);
}
