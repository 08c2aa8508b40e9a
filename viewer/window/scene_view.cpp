#include "scene_view.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "point_text.h"
#include "tolatoollib/camera_moves.h"
#include "viewer.h"

namespace cloudview::window {

namespace {

// Still for this long after the last camera change: draw the full picture.
constexpr auto kSettle = std::chrono::milliseconds(150);
// A press that moves further than this is a drag, not a click.
constexpr double kClickSlop = 4.0;

bool sameCamera(const host::Camera &a, const host::Camera &b)
{
    return a.azimuth == b.azimuth && a.elevation == b.elevation && a.distance == b.distance &&
           a.target == b.target && a.width == b.width && a.height == b.height &&
           a.fovY == b.fovY;
}

} // namespace

bool SceneView::Signature::operator==(const Signature &o) const
{
    return sameCamera(camera, o.camera) && redraws == o.redraws && changes == o.changes &&
           width == o.width && height == o.height;
}

SceneView::SceneView(WindowState &state, ViewTarget &target) : state_(state), target_(target) {}

void SceneView::setRect(float x, float y, float width, float height)
{
    x_ = x;
    y_ = y;
    width_ = std::max(1, static_cast<int>(width));
    height_ = std::max(1, static_cast<int>(height));
}

bool SceneView::moving() const
{
    return drag_ == Drag::Orbit || drag_ == Drag::Pan ||
           std::chrono::steady_clock::now() - lastMove_ < kSettle;
}

void SceneView::cameraMoved() { lastMove_ = std::chrono::steady_clock::now(); }

void SceneView::orbit(double dx, double dy)
{
    host::Scene &scene = state_.viewer.scene();
    host::orbitCamera(scene.camera(), dx, dy, height_);
    scene.keepCameraAboveGround();
    cameraMoved();
}

void SceneView::pan(double dx, double dy)
{
    host::Camera &c = state_.viewer.scene().camera();
    // Scene units per pixel at the target's distance: the target stays
    // under the pointer.
    const double perPixel = 2.0 * c.distance * std::tan(c.fovY * M_PI / 360.0) / height_;
    const host::Vec3 r = c.right(), u = c.up();
    for (int i = 0; i < 3; ++i)
        c.target[i] += (-dx * r[i] + dy * u[i]) * perPixel;
    // Panning along a low view's up can carry the eye into a hill.
    state_.viewer.scene().keepCameraAboveGround();
    cameraMoved();
}

void SceneView::zoom(double steps)
{
    host::Camera &c = state_.viewer.scene().camera();
    c.distance = std::clamp(c.distance * std::pow(0.85, steps), 1.0, 1.0e9);
    // Backing out at a low elevation may put the eye behind a hill.
    state_.viewer.scene().keepCameraAboveGround();
    cameraMoved();
}

void SceneView::pointerMoved(double x, double y) { lastMotion_ = {true, x, y}; }

void SceneView::buttonPressed(int button)
{
    if (button >= 0 && button < 3 && lastMotion_.seen)
        presses_[button] = lastMotion_;
}

bool SceneView::inside(double x, double y) const
{
    return x >= 0 && y >= 0 && x < width_ && y < height_;
}

void SceneView::handleInput()
{
    const ImGuiIO &io = ImGui::GetIO();
    pointerX_ = io.MousePos.x - x_;
    pointerY_ = io.MousePos.y - y_;
    PointerAt presses[3];
    std::swap(presses, presses_);
    if (drag_ == Drag::None && ImGui::IsMousePosValid() && !io.WantCaptureMouse) {
        for (int button = 0; button < 3; ++button) {
            if (!ImGui::IsMouseClicked(button))
                continue;
            const PointerAt &p = presses[button];
            const double x = p.seen ? p.x - x_ : pointerX_, y = p.seen ? p.y - y_ : pointerY_;
            if (!inside(x, y))
                break;
            pressX_ = lastX_ = x;
            pressY_ = lastY_ = y;
            dragButton_ = button;
            if (button == 0 && overlay_ && overlay_->press(x, y))
                drag_ = Drag::Overlay;
            else
                drag_ = button == 0 ? Drag::Pending : Drag::Pan;
            break;
        }
        if (io.MouseWheel != 0.0f && inside(pointerX_, pointerY_))
            zoom(io.MouseWheel);
    }
    if (drag_ != Drag::None) {
        const double dx = pointerX_ - lastX_, dy = pointerY_ - lastY_;
        if (drag_ == Drag::Pending &&
            std::hypot(pointerX_ - pressX_, pointerY_ - pressY_) > kClickSlop) {
            drag_ = Drag::Orbit;
            orbit(pointerX_ - pressX_, pointerY_ - pressY_);
        } else if (drag_ == Drag::Orbit && (dx != 0 || dy != 0)) {
            orbit(dx, dy);
        } else if (drag_ == Drag::Pan && (dx != 0 || dy != 0)) {
            pan(dx, dy);
        } else if (drag_ == Drag::Overlay && (dx != 0 || dy != 0)) {
            overlay_->drag(pointerX_, pointerY_);
        }
        lastX_ = pointerX_;
        lastY_ = pointerY_;
        if (!ImGui::IsMouseDown(dragButton_)) {
            if (drag_ == Drag::Pending) {
                const int x = static_cast<int>(std::lround(pressX_));
                const int y = static_cast<int>(std::lround(pressY_));
                state_.work.post([this, x, y] { click(x, y); }, "Click in the scene");
            } else if (drag_ == Drag::Overlay) {
                overlay_->release(pointerX_, pointerY_);
                ++state_.changes;
            }
            if (drag_ == Drag::Orbit || drag_ == Drag::Pan)
                cameraMoved();
            drag_ = Drag::None;
        }
    }
}

SceneView::Signature SceneView::signature(int w, int h) const
{
    const host::Scene &scene = state_.viewer.scene();
    Signature s;
    s.camera = scene.camera();
    s.redraws = scene.redrawCount();
    s.changes = state_.changes;
    s.width = w;
    s.height = h;
    return s;
}

void SceneView::draw(int w, int h, bool still)
{
    const auto start = std::chrono::steady_clock::now();
    Viewer &viewer = state_.viewer;
    viewer.setMoving(!still);
    viewer.drawScene(w, h);
    if (still)
        viewer.keepDepthForPicking();
    else
        viewer.scene().clearLastFrame();
    target_.release();
    lastDrawMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                             start).count();
    drawn_ = signature(w, h);
    drawnStill_ = still;
    drawnW_ = w;
    drawnH_ = h;
}

void SceneView::drawStill()
{
    if (drawnStill_ && signature(width_, height_) == drawn_)
        return;
    draw(width_, height_, true);
}

void SceneView::update()
{
    const bool isMoving = moving();
    int w = width_, h = height_;
    if (isMoving)
        ResolutionGovernor::scaledSize(width_, height_, governor_.divisor(true), &w, &h);
    // The camera a drawing at this size uses: its viewport is the size.
    const bool stale = !(signature(w, h) == drawn_) || (!isMoving && !drawnStill_);
    if (stale && !held_) {
        draw(w, h, !isMoving);
        if (isMoving)
            governor_.movingFrameDrawn(lastDrawMs_);
    }
    float topLeft[2], bottomRight[2];
    target_.drawnRegion(topLeft, bottomRight);
    ImGui::GetBackgroundDrawList()->AddImage(
        reinterpret_cast<ImTextureID>(static_cast<intptr_t>(target_.texture())), ImVec2(x_, y_),
        ImVec2(x_ + width_, y_ + height_), ImVec2(topLeft[0], topLeft[1]),
        ImVec2(bottomRight[0], bottomRight[1]));
    if (overlay_)
        overlay_->draw(ImGui::GetBackgroundDrawList(), x_, y_);
}

std::string SceneView::pointerText() const
{
    if (pointerX_ < 0 || pointerY_ < 0 || pointerX_ >= width_ || pointerY_ >= height_ ||
        ImGui::GetIO().WantCaptureMouse)
        return "";
    const host::Scene &scene = state_.viewer.scene();
    // Picking maps window positions of the full-size view.
    if (scene.camera().width != width_ || scene.camera().height != height_)
        return "";
    double p[3];
    if (!scene.pickPoint(pointerX_, pointerY_, p))
        return "sky";
    return pointText(state_.viewer, p);
}

void SceneView::click(int x, int y)
{
    drawStill();
    state_.viewer.click(x, y);
    // A pick makes its layer the stacker's selection: Ctrl+S then saves
    // what was just changed.
    if (HLayer *taker = state_.viewer.scene().clickTaker())
        state_.selected = taker;
    ++state_.changes;
}

} // namespace cloudview::window
