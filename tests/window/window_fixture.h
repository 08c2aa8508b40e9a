// window_fixture.h — running `cloudview open` on the test's X server: with
// a script (the window runs it and quits) or live, driven by xdotool, and
// reading back the screenshots it writes.
#ifndef CLOUDS_TESTS_WINDOW_WINDOW_FIXTURE_H
#define CLOUDS_TESTS_WINDOW_WINDOW_FIXTURE_H

#include <gtest/gtest.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb; // three bytes a pixel, row 0 the top

    bool empty() const { return rgb.empty(); }
    std::array<int, 3> at(int x, int y) const;
    // How many pixels differ from other's by more than tolerance in any
    // channel within the rectangle (the whole picture when w is 0).
    size_t differing(const Picture &other, int tolerance, int x = 0, int y = 0, int w = 0,
                     int h = 0) const;
    // How many pixels in the rectangle are close to the colour.
    size_t near(std::array<int, 3> colour, int tolerance, int x, int y, int w, int h) const;
};

// A PNG read back; empty when it cannot be read.
Picture readPicture(const std::string &png);

struct Ran {
    int code = -1;
    std::string out, err;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string file(const std::string &name) const { return dir + "/" + name; }
    // Waits until the file holds something else than `was` (or a while)
    // and gives what it holds.
    std::string awaitChange(const std::string &name, const std::string &was) const;
    void write(const std::string &name, const std::string &text) const;
    // A copy of an example in the test's folder.
    void copyExample(const std::string &name) const;
    // cloudview open ARGS --script script.scene, script written first.
    Ran runScript(const std::string &args, const std::string &script);
    Ran run(const std::string &args);

    // A live window: started in the background; returns once its X window
    // is mapped and viewable and its first frames are drawn.
    void startLive(const std::string &args);
    // xdotool commands on the live window (WID replaced by its id). Fails
    // with the program's own errors when it is no longer running.
    void xdo(const std::string &commands);
    // The live window once it has settled: its program waiting for input
    // and its picture holding still (what the last input made drawn).
    Picture capture(const std::string &name);
    // Settled captures until one shows what is awaited; the last one tried
    // when none does within the time a loaded machine may need.
    template <class Shows> Picture captureWhen(const std::string &name, Shows shows)
    {
        Picture p = capture(name);
        for (int tries = 1; tries < 8 && !shows(p); ++tries)
            p = capture(name);
        return p;
    }
    // xdotool commands that open something (a menu, a popup): returns once
    // the rectangle of the window shows a change and has settled; false
    // when nothing changed there.
    bool xdoOpening(const std::string &commands, int x, int y, int w, int h);
    // Waits for the live program to end; its exit code (-1 on timeout).
    int waitLive(int seconds);
    bool liveRunning();

    std::string dir;
    pid_t livePid = -1;
    std::string liveWindow;
    int liveCode = -1; // the live program's exit code once it has ended

private:
    // The live window's picture as it is now, written to name.
    Picture grab(const std::string &name);
    // Whether the live program's main thread waits (for input) through most
    // of the next `ms` milliseconds rather than running.
    bool liveWaiting(int ms);
    std::string liveProblem();
};

#endif
