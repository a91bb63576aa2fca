#pragma once
// The claim loop of one recognition worker.

#include "sheetpipeline.h"

#include <atomic>

// Claims whole sheets from run.processNextRow until it passes `end` or `stop`
// is set, processes each, then reports sink.finished(worker.name).
void runRecognitionWorker(const PipelineContext &ctx, RecognitionRun &run, WorkerState &worker,
                          int start, int end, const std::atomic<bool> &stop, PipelineSink &sink);
