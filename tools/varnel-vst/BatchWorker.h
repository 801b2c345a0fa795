#pragma once

#include "CommandLine.h"
#include "FilePlan.h"
#include "PluginFolders.h"
#include "WorkerChannel.h"

#include <vector>

namespace varnelvst::tool {

// What a batch worker process says to its batch, first word first:
//   "ready"                  its chain loaded; it waits for a job's index
//   "unloadable <code> <reason>"  its chain did not load, or refused the command's
//                            settings; it ends, and the batch with exit status <code>
//   "temporary <path>"       the temporary file of the job in hand
//   "wrote <index> <speed>"  the job is done; <speed> as the batch line shows it
//   "failed <index>"         the job failed; its error line went to standard error
//   "notice <notice>"        a note or warning (BatchNotices::messageFor), given
//                            by the batch once for all the files it concerns
// and the batch sends it the index of each job it is to render.
namespace workerMessage {
constexpr const char* kReady = "ready";
constexpr const char* kUnloadable = "unloadable";
constexpr const char* kTemporary = "temporary";
constexpr const char* kWrote = "wrote";
constexpr const char* kFailed = "failed";
constexpr const char* kNotice = "notice";
} // namespace workerMessage

// The worker's side, in a child process of the batch: loads the chain once (so
// the module stays loaded) and checks the command's presets and settings on it,
// then renders each job it is sent in a chain of fresh
// plug-in instances, as a `process` run of that file alone would, until the
// batch closes the channel. Ends when its parent does. Returns the exit status.
int runBatchWorker(const ProcessCommand& command, const std::vector<PluginLocation>& plugins,
                   const std::vector<FileJob>& jobs, WorkerChannel& batch);

} // namespace varnelvst::tool
