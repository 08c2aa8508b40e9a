#include "window_fixture.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cairo.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "support/test_util.h"

std::array<int, 3> Picture::at(int x, int y) const
{
    const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

size_t Picture::differing(const Picture &other, int tolerance, int x, int y, int w, int h) const
{
    if (width != other.width || height != other.height)
        return size_t(width) * size_t(height);
    if (w == 0) {
        w = width;
        h = height;
    }
    size_t n = 0;
    for (int j = y; j < y + h && j < height; ++j)
        for (int i = x; i < x + w && i < width; ++i) {
            const auto a = at(i, j), b = other.at(i, j);
            for (int c = 0; c < 3; ++c)
                if (std::abs(a[c] - b[c]) > tolerance) {
                    ++n;
                    break;
                }
        }
    return n;
}

size_t Picture::near(std::array<int, 3> colour, int tolerance, int x, int y, int w, int h) const
{
    size_t n = 0;
    for (int j = std::max(0, y); j < y + h && j < height; ++j)
        for (int i = std::max(0, x); i < x + w && i < width; ++i) {
            const auto a = at(i, j);
            if (std::abs(a[0] - colour[0]) <= tolerance && std::abs(a[1] - colour[1]) <= tolerance &&
                std::abs(a[2] - colour[2]) <= tolerance)
                ++n;
        }
    return n;
}

Picture readPicture(const std::string &png)
{
    Picture p;
    cairo_surface_t *s = cairo_image_surface_create_from_png(png.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_flush(s);
        p.width = cairo_image_surface_get_width(s);
        p.height = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char *data = cairo_image_surface_get_data(s);
        p.rgb.reserve(size_t(p.width) * size_t(p.height) * 3);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                uint32_t v;
                std::memcpy(&v, data + size_t(y) * size_t(stride) + size_t(x) * 4, 4);
                p.rgb.insert(p.rgb.end(), {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
            }
    }
    cairo_surface_destroy(s);
    return p;
}

namespace {

// Windows may go while they are looked at (another program's, ending):
// an error about one only means it is not the window sought.
int ignoreXError(Display *, XErrorEvent *) { return 0; }

// One connection to the X server, held for the whole run: a server whose
// last client leaves starts over, and a program that connects meanwhile
// is refused (cloudview then finds no display to open its window on).
Display *heldDisplay()
{
    static Display *const display = XOpenDisplay(nullptr);
    return display;
}

// A viewable window under `window` whose _NET_WM_PID is pid; 0 if none.
Window viewableWindowUnder(Display *d, Window window, Atom pidAtom, pid_t pid)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, window, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(d, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                               &items, &after, &data) == Success &&
            data) {
            XWindowAttributes a;
            if (format == 32 && items == 1 &&
                pid_t(*reinterpret_cast<unsigned long *>(data)) == pid &&
                XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable)
                found = children[i];
            XFree(data);
        }
        if (!found)
            found = viewableWindowUnder(d, children[i], pidAtom, pid);
    }
    if (children)
        XFree(children);
    return found;
}

// The program's viewable window, as a number for xdotool and import; ""
// while it has none.
std::string viewableWindowOf(pid_t pid)
{
    Display *d = heldDisplay();
    if (!d)
        return "";
    const XErrorHandler previous = XSetErrorHandler(ignoreXError);
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", True);
    const Window found =
        pidAtom == None ? 0 : viewableWindowUnder(d, DefaultRootWindow(d), pidAtom, pid);
    XSync(d, False); // errors of this search arrive under its own handler
    XSetErrorHandler(previous);
    return found ? std::to_string(found) : "";
}

} // namespace

void WindowTest::SetUp()
{
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the window tests run under xvfb-run";
    ASSERT_NE(heldDisplay(), nullptr) << "cannot connect to the X server";
    char pattern[] = "/tmp/cloudview_window_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
}

void WindowTest::TearDown()
{
    if (livePid > 0) {
        kill(livePid, SIGKILL);
        waitpid(livePid, nullptr, 0);
        livePid = -1;
    }
    // CLOUDVIEW_KEEP_SHOTS keeps a passing test's files too, to look at.
    if (!HasFailure() && !std::getenv("CLOUDVIEW_KEEP_SHOTS"))
        std::system(("rm -rf '" + dir + "'").c_str());
    else
        std::fprintf(stderr, "window test files kept in %s\n", dir.c_str());
}

void WindowTest::write(const std::string &name, const std::string &text) const
{
    std::ofstream(file(name), std::ios::binary) << text;
}

void WindowTest::copyExample(const std::string &name) const
{
    write(name, readFile(std::string(EXAMPLES) + "/" + name));
}

Ran WindowTest::run(const std::string &args)
{
    const std::string out = file(".out"), err = file(".err");
    const int status = std::system(("cd '" + dir + "' && timeout 300 " + std::string(CLOUDVIEW) +
                                    " open " + args + " >" + out + " 2>" + err)
                                       .c_str());
    Ran r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
}

Ran WindowTest::runScript(const std::string &args, const std::string &script)
{
    write("script.scene", script);
    return run(args + " --script script.scene");
}

void WindowTest::startLive(const std::string &args)
{
    livePid = fork();
    ASSERT_GE(livePid, 0);
    if (livePid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        const std::string command = std::string("exec ") + CLOUDVIEW + " open " + args + " >" +
                                    file(".live_out") + " 2>" + file(".live_err");
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    // Not xdotool's search: it dies of a BadWindow when any program's
    // window (the last test's, still being torn down) goes while it looks.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string found;
    while (std::chrono::steady_clock::now() < deadline) {
        ASSERT_TRUE(liveRunning()) << "cloudview ended before its window appeared"
                                   << liveProblem();
        found = viewableWindowOf(livePid);
        if (!found.empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(found.empty()) << "the window did not appear" << liveProblem();
    liveWindow = found;
    // The first frames: the scene drawn, panels laid out.
    capture(".started.png");
}

bool WindowTest::liveRunning()
{
    if (livePid <= 0)
        return false;
    int status = 0;
    if (waitpid(livePid, &status, WNOHANG) != livePid)
        return true;
    livePid = -1;
    liveCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

std::string WindowTest::liveProblem()
{
    const std::string err = readFile(file(".live_err"));
    std::string out = liveRunning() ? std::string()
                                    : "\ncloudview has ended, code " + std::to_string(liveCode);
    if (!err.empty())
        out += "\nits errors:\n" + err;
    return out;
}

void WindowTest::xdo(const std::string &commands)
{
    ASSERT_FALSE(liveWindow.empty()) << "no live window to drive";
    ASSERT_TRUE(liveRunning()) << "before xdotool " << commands << liveProblem();
    std::string line = commands;
    for (size_t at = line.find("WID"); at != std::string::npos; at = line.find("WID", at))
        line.replace(at, 3, liveWindow);
    ASSERT_EQ(std::system(("xdotool " + line).c_str()), 0) << "xdotool " << line << liveProblem();
}

Picture WindowTest::grab(const std::string &name)
{
    const std::string png = file(name);
    if (std::system(("import -window " + liveWindow + " '" + png + "' 2>/dev/null").c_str()) != 0)
        return {};
    return readPicture(png);
}

bool WindowTest::liveWaiting(int ms)
{
    // The main thread's state: S while it waits for input or a timer, R
    // while it runs or is ready to (a loaded machine only delays it).
    const std::string stat = "/proc/" + std::to_string(livePid) + "/task/" +
                             std::to_string(livePid) + "/stat";
    int samples = 0, running = 0;
    for (int t = 0; t < ms; t += 10, ++samples) {
        const std::string text = readFile(stat);
        const size_t close = text.rfind(')');
        if (close == std::string::npos || close + 2 >= text.size())
            return false;
        running += text[close + 2] == 'R' || text[close + 2] == 'D';
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return running * 3 <= samples;
}

Picture WindowTest::capture(const std::string &name)
{
    // A blinking text cursor is all that may change in a settled window.
    constexpr size_t kFlicker = 40;
    // A button held down keeps the program drawing: a picture that has
    // held still this long is what the input made.
    constexpr auto kLongStill = std::chrono::milliseconds(2000);
    using Clock = std::chrono::steady_clock;
    Picture last = grab(name);
    auto stillSince = Clock::now();
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
        if (!liveRunning()) {
            ADD_FAILURE() << "capture " << name << liveProblem();
            return last;
        }
        const bool waiting = liveWaiting(300);
        Picture now = grab(name);
        const bool still = !now.empty() && !last.empty() && now.differing(last, 0) <= kFlicker;
        if (!still)
            stillSince = Clock::now();
        last = std::move(now);
        if (still && (waiting || Clock::now() - stillSince >= kLongStill))
            return last;
    }
    return last;
}

bool WindowTest::xdoOpening(const std::string &commands, int x, int y, int w, int h)
{
    const Picture before = capture(".before_opening.png");
    xdo(commands);
    for (int tries = 0; tries < 8; ++tries) {
        const Picture now = capture(".opening.png");
        if (!now.empty() && now.differing(before, 8, x, y, w, h) > 0)
            return true;
    }
    return false;
}

int WindowTest::waitLive(int seconds)
{
    for (int i = 0; i < seconds * 10; ++i) {
        if (!liveRunning())
            return liveCode;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return -1;
}

std::string WindowTest::awaitChange(const std::string &name, const std::string &was) const
{
    std::string now = readFile(file(name));
    for (int tries = 0; tries < 60 && now == was; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        now = readFile(file(name));
    }
    return now;
}
