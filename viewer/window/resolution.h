// resolution.h — how finely the scene view draws. Still, it draws at full
// resolution; while the camera moves it draws at a fraction of the view's
// size, chosen from how long the last moving frames took, so that the
// frame rate holds on a software renderer. The picture is scaled up to
// the view with linear filtering.
#ifndef CLOUDS_VIEWER_WINDOW_RESOLUTION_H
#define CLOUDS_VIEWER_WINDOW_RESOLUTION_H

namespace cloudview::window {

class ResolutionGovernor {
public:
    // budgetMs: the time one moving frame's scene drawing may take.
    explicit ResolutionGovernor(double budgetMs = 14.0) : budget_(budgetMs) {}

    // The divisor of the view's width and height for a frame (1: full
    // resolution), moving or still.
    double divisor(bool moving) const { return moving ? movingDivisor_ : 1.0; }
    // What a moving frame drawn at divisor(true) took, in milliseconds.
    void movingFrameDrawn(double ms);
    // The size to draw a view of that size at.
    static void scaledSize(int width, int height, double divisor, int *w, int *h);

    static constexpr double kLargestDivisor = 4.0;

private:
    double budget_;
    double movingDivisor_ = 2.0; // kept between moves: the next move starts there
};

} // namespace cloudview::window

#endif
