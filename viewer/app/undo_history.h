// undo_history.h — one layer's undo and redo, as the texts its layer type
// saves: each step holds the text before and after a named change.
//
// A change pushed after undoing drops what could have been redone, as
// editors do. At most `limit` steps are kept (the oldest go first); the
// viewer keeps 100 per layer. Texts are small (a few hundred bytes per
// cloud), so whole texts are kept rather than differences.
#ifndef CLOUDS_VIEWER_APP_UNDO_HISTORY_H
#define CLOUDS_VIEWER_APP_UNDO_HISTORY_H

#include <cstddef>
#include <string>
#include <vector>

namespace cloudview {

class UndoHistory {
public:
    UndoHistory() = default;
    explicit UndoHistory(size_t limit) : limit_(limit) {}

    // A change named `name` took the layer from text `before` to `after`.
    void push(const std::string &name, const std::string &before, const std::string &after);
    bool canUndo() const { return done_ > 0; }
    bool canRedo() const { return done_ < steps_.size(); }
    // The name of what Undo and Redo would do ("Move selection box"); empty
    // when there is nothing.
    std::string undoName() const;
    std::string redoName() const;
    // Steps back (forward) and returns the text the layer is to hold.
    // Only while canUndo (canRedo).
    const std::string &undo();
    const std::string &redo();
    size_t size() const { return steps_.size(); }

private:
    struct Step {
        std::string name, before, after;
    };
    size_t limit_ = 100;
    std::vector<Step> steps_;
    size_t done_ = 0; // steps_[0..done_) are done, the rest undone
};

} // namespace cloudview

#endif
