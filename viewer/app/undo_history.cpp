#include "undo_history.h"

namespace cloudview {

void UndoHistory::push(const std::string &name, const std::string &before,
                       const std::string &after)
{
    steps_.resize(done_);
    steps_.push_back({name, before, after});
    if (steps_.size() > limit_)
        steps_.erase(steps_.begin(), steps_.begin() + long(steps_.size() - limit_));
    done_ = steps_.size();
}

std::string UndoHistory::undoName() const { return canUndo() ? steps_[done_ - 1].name : ""; }

std::string UndoHistory::redoName() const { return canRedo() ? steps_[done_].name : ""; }

const std::string &UndoHistory::undo() { return steps_[--done_].before; }

const std::string &UndoHistory::redo() { return steps_[done_++].after; }

} // namespace cloudview
