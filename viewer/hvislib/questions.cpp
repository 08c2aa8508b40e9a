// Questions and error reports. The queue comes before the responder so a
// scene script can answer a question even while the window is up.
#include "hvislib.h"
#include "hlib/error.h"
#include "hvislib/journal.h"
#include "hvislib/questions.h"

#include <cstdio>
#include <deque>
#include <algorithm>
#include <map>
#include <vector>

namespace {

struct Responders {
    std::deque<bool> queued;
    bool fallback = false;
    host::Responder responder;
    host::ErrorListener listener;
    std::map<int32_t, size_t> reportsByCode;
    bool printed = true;
    std::vector<host::ReportRecorder *> recorders;
};

Responders &state() {
    static Responders responders;
    return responders;
}

} // namespace

namespace host {

void pushAnswer(bool yes) { state().queued.push_back(yes); }
void setDefaultAnswer(bool yes) { state().fallback = yes; }
void clearAnswers() {
    state().queued.clear();
    state().fallback = false;
}
size_t pendingAnswers() { return state().queued.size(); }
void setResponder(Responder responder) { state().responder = std::move(responder); }
void setErrorListener(ErrorListener listener) { state().listener = std::move(listener); }
size_t reportCount(int32_t code) {
    const auto found = state().reportsByCode.find(code);
    return found == state().reportsByCode.end() ? 0 : found->second;
}
void setReportsPrinted(bool printed) { state().printed = printed; }

ReportRecorder::ReportRecorder() { state().recorders.push_back(this); }
ReportRecorder::~ReportRecorder() {
    auto &all = state().recorders;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void recordReport(const std::string &message) {
    for (ReportRecorder *r : state().recorders)
        r->messages_.push_back(message);
}

} // namespace host

extern "C" {

HOST_API int32_t hvis_QueryYesNo(const char *question, const char *no, const char *yes) {
    const std::string text = question ? question : "";
    host::journalAdd("question: " + text);
    Responders &s = state();
    if (!s.queued.empty()) {
        const bool answer = s.queued.front();
        s.queued.pop_front();
        return answer ? 1 : 0;
    }
    if (s.responder)
        return s.responder(text, no ? no : "No", yes ? yes : "Yes") ? 1 : 0;
    return s.fallback ? 1 : 0;
}

HOST_API void hvis_ProcessErrorReport(HErrorSlot *err) {
    if (!err || !*err)
        return;
    const std::string message = herr_Message(*err);
    ++state().reportsByCode[herr_Code(*err)];
    if (state().printed)
        std::fprintf(stderr, "cloudview: %s\n", message.c_str());
    host::journalAdd("error: " + message);
    host::recordReport(message);
    if (state().listener)
        state().listener(message);
}

HOST_API const char *hvis_ErrorReportText(const HErrorSlot *err) {
    return err ? herr_Message(*err) : "";
}

} // extern "C"
