// dialogs.h — what the window says of itself: the question a layer type
// waits on, and the status bar.
#ifndef CLOUDS_VIEWER_WINDOW_DIALOGS_H
#define CLOUDS_VIEWER_WINDOW_DIALOGS_H

#include <string>
#include <vector>

#include "window_state.h"

namespace cloudview::window {

class SceneView;

// The question being asked, while a layer type waits for its answer.
struct Question {
    std::string text;
    // The answers, as buttons from the left; the first is "yes" (Y and
    // Enter), the last "no" (N and Escape).
    std::vector<std::string> answers;
    bool answered = false;
    size_t answer = 0;
    int framesShown = 0;
};

// A modal with the question and its answers; Y and N answer from the
// keyboard too, and Escape is the last answer.
void drawQuestion(WindowState &state, Question &question);
// The scene point under the pointer, the size the view was drawn at,
// whether a layer is busy, and the last thing done.
void drawStatusBar(WindowState &state, const SceneView &view);

} // namespace cloudview::window

#endif
