#include "selection_handles.h"

#include <imgui.h>

#include "viewer.h"

namespace cloudview::window {

namespace {

const ImU32 kOutline = IM_COL32(20, 20, 20, 255);
const ImU32 kCornerFill = IM_COL32(255, 255, 255, 255);
const ImU32 kFaceFill = IM_COL32(255, 110, 20, 255);
const ImU32 kGhost = IM_COL32(120, 230, 255, 220);
constexpr float kCornerHalf = 4.5f;
constexpr float kFaceRadius = 5.0f;

struct Projector {
    const host::Camera &camera;
    ImVec2 origin;

    bool operator()(const host::Vec3 &p, ImVec2 *out) const
    {
        double wx, wy;
        if (!camera.worldToWindow(p.data(), &wx, &wy))
            return false;
        *out = ImVec2(origin.x + float(wx), origin.y + float(wy));
        return true;
    }
};

void drawHandle(ImDrawList *list, const Handle &handle, ImVec2 at)
{
    if (handle.kind == HandleKind::Corner) {
        const ImVec2 a(at.x - kCornerHalf, at.y - kCornerHalf);
        const ImVec2 b(at.x + kCornerHalf, at.y + kCornerHalf);
        list->AddRectFilled(a, b, kCornerFill);
        list->AddRect(a, b, kOutline);
    } else {
        list->AddCircleFilled(at, kFaceRadius, kFaceFill, 12);
        list->AddCircle(at, kFaceRadius, kOutline, 12);
    }
}

void drawHandles(ImDrawList *list, const Projector &project, const Box &box)
{
    for (const Handle &handle : handlesOf(box)) {
        ImVec2 at;
        if (project(handle.at, &at))
            drawHandle(list, handle, at);
    }
}

// The twelve edges join corners whose indices differ in one bit.
void drawWireframe(ImDrawList *list, const Projector &project, const Box &box)
{
    for (int i = 0; i < 8; ++i)
        for (int bit = 1; bit < 8; bit <<= 1) {
            if (i & bit)
                continue;
            ImVec2 a, b;
            if (project(box.corner(i), &a) && project(box.corner(i | bit), &b))
                list->AddLine(a, b, kGhost, 1.5f);
        }
}

void applyChange(WindowState &state, HSelector *selector, const BoxChange &change)
{
    // The box may have gone with its layer since the drag ended.
    if (!host::isSelector(selector))
        return;
    state.viewer.gl().makeCurrent(); // the owner may rebuild GL resources
    const host::Vec3 &a = change.amount;
    if (change.kind == BoxChange::Kind::Move)
        host::selectorMove(selector, a[0], a[1], a[2]);
    else if (change.kind == BoxChange::Kind::Scale)
        host::selectorScale(selector, a[0], a[1], a[2]);
    state.viewer.syncLayers();
    ++state.changes;
}

} // namespace

host::Camera SelectionHandles::viewCamera() const
{
    // Layer types give the box's corners in the drawing frame (what they
    // add the served origin to), which over a ground sits far from scene
    // coordinates: the handles must be placed with the camera GL draws
    // the box with, or they land kilometres off screen.
    host::Camera camera = state_.viewer.scene().frameCamera();
    camera.width = view_.width();
    camera.height = view_.height();
    return camera;
}

bool SelectionHandles::dragStillValid() const
{
    if (!selector_ || !host::isSelector(selector_))
        return false;
    for (HSelector *s : host::selectorsOf(&state_.viewer.scene()))
        if (s == selector_)
            return true;
    return false;
}

bool SelectionHandles::press(double x, double y)
{
    selector_ = nullptr;
    const host::Camera camera = viewCamera();
    if (!(camera.distance > 0.0))
        return false;
    const std::vector<HSelector *> boxes = host::selectorsOf(&state_.viewer.scene());
    // The newest box is drawn last, over the others: it is tried first.
    for (auto it = boxes.rbegin(); it != boxes.rend(); ++it) {
        const Box box = boundsOf(host::selectorCorners(*it));
        const Handles handles = handlesOf(box);
        const int i = handleNear(camera, handles, x, y, kHandleReach);
        if (i < 0)
            continue;
        selector_ = *it;
        drag_ = {camera, box, handles[size_t(i)], x, y};
        change_ = {};
        return true;
    }
    return false;
}

void SelectionHandles::drag(double x, double y)
{
    if (!dragStillValid()) {
        selector_ = nullptr;
        return;
    }
    change_ = dragChange(drag_, x, y, ImGui::GetIO().KeyShift);
}

void SelectionHandles::release(double x, double y)
{
    drag(x, y);
    if (selector_ && change_.kind != BoxChange::Kind::None) {
        // The owner's change callbacks are layer type code: after the frame.
        WindowState &state = state_;
        HSelector *selector = selector_;
        const BoxChange change = change_;
        state_.work.post([&state, selector, change] { applyChange(state, selector, change); },
                         change.kind == BoxChange::Kind::Move ? "Move selection box"
                                                              : "Resize selection box");
    }
    selector_ = nullptr;
    change_ = {};
}

void SelectionHandles::draw(ImDrawList *list, float originX, float originY)
{
    const std::vector<HSelector *> boxes = host::selectorsOf(&state_.viewer.scene());
    if (boxes.empty())
        return;
    const host::Camera camera = viewCamera();
    if (!(camera.distance > 0.0))
        return;
    const Projector project{camera, ImVec2(originX, originY)};
    list->PushClipRect(ImVec2(originX, originY),
                       ImVec2(originX + float(view_.width()), originY + float(view_.height())));
    for (HSelector *s : boxes)
        drawHandles(list, project, boundsOf(host::selectorCorners(s)));
    if (dragStillValid() && change_.kind != BoxChange::Kind::None)
        drawWireframe(list, project, changedBox(drag_.box, change_));
    list->PopClipRect();
}

} // namespace cloudview::window
