// questions.h — the host's responder for hvis_QueryYesNo and the sink of
// hvis_ProcessErrorReport.
//
// A question takes, in this order: the oldest scripted answer (pushAnswer,
// from a scene script's ANSWER statement or a test), else the responder
// (the window's modal, when one is installed), else the default answer,
// which is "No" until setDefaultAnswer changes it. Headless runs thus never
// block. Every question is journaled as "question: <text>".
//
// An error report prints "cloudview: <message>" as one line on stderr,
// journals "error: <message>" and passes the message to the listener (the
// window shows it), if one is installed.
#ifndef CLOUDS_VIEWER_HVISLIB_QUESTIONS_H
#define CLOUDS_VIEWER_HVISLIB_QUESTIONS_H

#include "host_export.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace host {

// Queues the answer to a future question (first queued, first used).
HOST_API void pushAnswer(bool yes);
// The answer when nothing is queued and no responder is installed.
HOST_API void setDefaultAnswer(bool yes);
// Drops queued answers and sets the default back to "No".
HOST_API void clearAnswers();
HOST_API size_t pendingAnswers();

// Asked with (question, no text, yes text) when no answer is queued; true
// means yes. An empty function removes the responder.
using Responder =
    std::function<bool(const std::string &question, const std::string &no, const std::string &yes)>;
HOST_API void setResponder(Responder responder);

// Called with each reported message; an empty function removes it.
using ErrorListener = std::function<void(const std::string &message)>;
HOST_API void setErrorListener(ErrorListener listener);

// How many reports carried this error code since the process started (a
// caller compares counts before and after a step: did opening a file
// report damage, HERR_DAMAGED?).
HOST_API size_t reportCount(int32_t code);

// Whether reports are printed on stderr (the default). Off, they are still
// counted, journaled and passed to the listener: a caller that reads a
// file a second time keeps its warnings from showing twice.
HOST_API void setReportsPrinted(bool printed);

// Keeps the messages reported while it lives, oldest first (the viewer
// remembers what opening a layer reported). Recorders may nest; each sees
// every report of its lifetime.
class HOST_API ReportRecorder {
public:
    ReportRecorder();
    ~ReportRecorder();
    ReportRecorder(const ReportRecorder &) = delete;
    ReportRecorder &operator=(const ReportRecorder &) = delete;
    const std::vector<std::string> &messages() const { return messages_; }

private:
    friend void recordReport(const std::string &message);
    std::vector<std::string> messages_;
};

} // namespace host

#endif
