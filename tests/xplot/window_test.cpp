// End to end: tevo runs a command file with `xplot:` on a virtual display of
// its own; the window is found by its title, driven with keys and the mouse
// (xdotool) and checked on screenshots (xwd).
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <climits>
#include <fstream>
#include <sstream>

#include "tests/xplot/xvfb.h"

namespace {

using xtest::image;

// Colours of the fallback resources and of the first two curves.
constexpr uint32_t dark_slate_gray = 0x2f4f4f;  // plot background
constexpr uint32_t gray40 = 0x666666;           // grid
constexpr uint32_t red = 0xff0000;              // first curve
constexpr uint32_t green = 0x00ff00;            // second curve

std::string tevo_path()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "tevo";
    buf[n] = 0;
    std::string dir(buf);
    dir = dir.substr(0, dir.rfind('/'));
    return dir + "/../tevo";
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct XplotWindow : testing::Test {
    xtest::xvfb server;
    std::string dir;
    pid_t tevo = -1;

    void SetUp() override
    {
        char tmpl[] = "/tmp/tevo_xplot_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }

    void TearDown() override
    {
        if (tevo > 0) {
            kill(tevo, SIGKILL);
            xtest::wait_child(tevo, 5000);
        }
        server.stop();
        std::string out;
        xtest::run({"rm", "-rf", dir}, {}, &out);
    }

    // Starts the server; false (the test then skips, saying why) when none
    // can be started.
    bool need_server() { return server.start(); }

    std::vector<std::string> extra_env;
    std::vector<std::string> env() const
    {
        std::vector<std::string> e = {"DISPLAY=" + server.display};
        e.insert(e.end(), extra_env.begin(), extra_env.end());
        return e;
    }

    void start_tevo(const std::string &commands)
    {
        std::ofstream(dir + "/run.in") << commands;
        xtest::child c = xtest::spawn({tevo_path(), "run"}, env(), false, dir, dir + "/stdout",
                                      dir + "/stderr");
        ASSERT_GT(c.pid, 0);
        tevo = c.pid;
    }

    int finish_tevo(int timeout_ms = 20000)
    {
        int st = xtest::wait_child(tevo, timeout_ms);
        tevo = -1;
        return st;
    }

    // The id of the visible window titled "plot window", or 0 after the
    // timeout.
    std::string find_window(int timeout_ms = 15000)
    {
        auto end = xtest::clock::now() + std::chrono::milliseconds(timeout_ms);
        while (xtest::clock::now() < end) {
            std::string out;
            if (xtest::run({"xdotool", "search", "--onlyvisible", "--name", "^plot window$"}, env(),
                           &out) == 0) {
                std::istringstream ids(out);
                std::string id;
                if (ids >> id)
                    return id;
            }
            xtest::sleep_ms(100);
        }
        return "";
    }

    // Waits for a plot window whose picture satisfies the condition; its id,
    // or "" after the timeout. A window that follows a closed one may get
    // the same id, so the picture tells them apart.
    std::string window_showing(const std::function<bool(const image &)> &ok, image *img,
                               int timeout_ms = 15000)
    {
        auto end = xtest::clock::now() + std::chrono::milliseconds(timeout_ms);
        while (xtest::clock::now() < end) {
            std::string win = find_window(500);
            if (!win.empty() && shot(win, img) && ok(*img) && settled(win, img) && ok(*img))
                return win;
            xtest::sleep_ms(100);
        }
        return "";
    }

    bool shot(const std::string &win, image *img)
    {
        std::string data;
        if (xtest::run({"xwd", "-silent", "-id", win}, env(), &data) != 0)
            return false;
        return xtest::parse_xwd(data, img);
    }

    // Screenshots until one satisfies the condition; false after the timeout.
    bool wait_for(const std::string &win, const std::function<bool(const image &)> &ok,
                  image *img, int timeout_ms = 10000)
    {
        auto end = xtest::clock::now() + std::chrono::milliseconds(timeout_ms);
        while (xtest::clock::now() < end) {
            if (shot(win, img) && ok(*img))
                return true;
            xtest::sleep_ms(100);
        }
        return false;
    }

    // A screenshot after the picture has stopped changing.
    bool settled(const std::string &win, image *img)
    {
        image prev;
        if (!shot(win, &prev))
            return false;
        return wait_for(win, [&](const image &now) {
            bool same = now == prev;
            prev = now;
            return same && now.count(dark_slate_gray) > 0;
        }, img);
    }

    int xdo(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        return xtest::run(argv, env());
    }

    // A key pressed with the pointer over the plot area.
    int key(const std::string &win, const std::string &k)
    {
        return xdo({"mousemove", "--window", win, "150", "100", "key", k});
    }
};

// The time window of two_windows: step(H) alone, in the first curve colour.
bool time_picture(const image &i)
{
    return i.count(red) > 50 && i.count(green) == 0;
}

const char *const two_windows =
    "input: order = 2; A = 0 1 -1 -1.414213562; B = 0 1; C = 1 0; D = 0;\n"
    "freq = log(0.1, 10, 20);\n"
    "time = lin(0, 20, 100);\n"
    "xplot: magn(H) phase(H) step(H);\n"
    "output: \"after the plot\";\n";

TEST_F(XplotWindow, GridZoomFitAndCloseThenTheRunGoesOn)
{
    if (!need_server())
        GTEST_SKIP() << "no X server for the window test: " << server.why_not;
    start_tevo(two_windows);
    std::string win = find_window();
    ASSERT_FALSE(win.empty()) << "no frequency window; stderr: " << read_file(dir + "/stderr");

    image fitted;
    ASSERT_TRUE(settled(win, &fitted));
    // Plot background, both curves, no grid yet.
    EXPECT_GT(fitted.count(dark_slate_gray), fitted.width * fitted.height / 3);
    EXPECT_GT(fitted.count(red), 50);
    EXPECT_GT(fitted.count(green), 50);
    EXPECT_EQ(fitted.count(gray40), 0);
    EXPECT_GT(fitted.count(0xffffff), 20);  // white labels

    // "g" shows the grid, a second "g" takes it away again.
    ASSERT_EQ(key(win, "g"), 0);
    image img;
    EXPECT_TRUE(wait_for(win, [](const image &i) { return i.count(gray40) > 20; }, &img));
    ASSERT_EQ(key(win, "g"), 0);
    EXPECT_TRUE(wait_for(win, [&](const image &i) { return i == fitted; }, &img))
        << "second g does not restore the picture";

    // A zoom drag with the third button changes the view; "f" restores it.
    ASSERT_EQ(xdo({"mousemove", "--window", win, "70", "40", "mousedown", "3", "mousemove",
                   "--window", win, "120", "80", "mousemove", "--window", win, "170", "110",
                   "mouseup", "3"}),
              0);
    image zoomed;
    EXPECT_TRUE(wait_for(win, [&](const image &i) { return !(i == fitted); }, &zoomed))
        << "zoom did not change the picture";
    ASSERT_TRUE(settled(win, &zoomed));
    EXPECT_FALSE(zoomed == fitted);
    EXPECT_GT(zoomed.count(red) + zoomed.count(green), 50);
    ASSERT_EQ(key(win, "f"), 0);
    EXPECT_TRUE(wait_for(win, [&](const image &i) { return i == fitted; }, &img))
        << "f does not restore the fitted view";

    // "q" closes the frequency window; the time window follows and "c"
    // closes it.
    ASSERT_EQ(key(win, "q"), 0);
    std::string twin = window_showing(time_picture, &img);
    ASSERT_FALSE(twin.empty()) << "q did not bring up the time window";
    ASSERT_EQ(key(twin, "c"), 0);

    EXPECT_EQ(finish_tevo(), 0) << read_file(dir + "/stderr");
    EXPECT_EQ(read_file(dir + "/run.out"), "tevo 1.04\nafter the plot\n");
    EXPECT_EQ(read_file(dir + "/stderr"), "");
}

// Curves that the axis rounding must cope with: a falling sweep, a dB curve
// that starts at minus infinity, an all-zero curve. Each window must show,
// close with "q", and the run must end well.
TEST_F(XplotWindow, UnusualCurvesShowAndClose)
{
    if (!need_server())
        GTEST_SKIP() << "no X server for the window test: " << server.why_not;
    const struct {
        const char *commands;
        int min_red;
    } cases[] = {
        {"input: order = 1; A = -1; B = 1; C = 1; D = 0;\n"
         "freq = log(100, 0.01, 10);\nxplot: magn(H);\n",
         50},
        {"input: order = 2; A = 0 1 -1 -1; B = 0 1; C = 0 1; D = 0;\n"  // H = s / (s^2 + s + 1)
         "freq = lin(0, 4, 40);\nxplot: db(H);\n",
         50},
        {"input: order = 1; A = -1; B = 1; C = 0; D = 0;\n"
         "freq = lin(0, 4, 40);\nxplot: magn(H) db(H);\n",
         0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.commands);
        start_tevo(std::string(c.commands) + "output: \"done\";\n");
        std::string win = find_window();
        ASSERT_FALSE(win.empty()) << read_file(dir + "/stderr");
        image img;
        ASSERT_TRUE(settled(win, &img));
        EXPECT_GE(img.count(red), c.min_red);
        ASSERT_EQ(key(win, "q"), 0);
        EXPECT_EQ(finish_tevo(), 0) << read_file(dir + "/stderr");
        EXPECT_EQ(read_file(dir + "/run.out"), "tevo 1.04\ndone\n");
    }
}

// The gridType resource "dotted" draws the grid with one pixel on and five
// off, so about a sixth of the solid grid's pixels.
TEST_F(XplotWindow, DottedGridTypeFromTheResources)
{
    if (!need_server())
        GTEST_SKIP() << "no X server for the window test: " << server.why_not;
    std::ofstream(dir + "/resources") << "Tevo*plot.gridType: dotted\n";
    int grid[2] = {0, 0};
    for (int dotted = 0; dotted < 2; dotted++) {
        extra_env.clear();
        if (dotted)
            extra_env.push_back("XENVIRONMENT=" + dir + "/resources");
        start_tevo("input: order = 1; A = -1; B = 1; C = 1; D = 0;\n"
                   "freq = lin(0, 10, 50);\nxplot: magn(H);\n");
        std::string win = find_window();
        ASSERT_FALSE(win.empty()) << read_file(dir + "/stderr");
        image img;
        ASSERT_TRUE(settled(win, &img));
        ASSERT_EQ(img.count(gray40), 0);
        ASSERT_EQ(key(win, "g"), 0);
        ASSERT_TRUE(wait_for(win, [](const image &i) { return i.count(gray40) > 0; }, &img));
        ASSERT_TRUE(settled(win, &img));
        grid[dotted] = img.count(gray40);
        ASSERT_EQ(key(win, "q"), 0);
        EXPECT_EQ(finish_tevo(), 0);
    }
    EXPECT_GT(grid[1], 0);
    EXPECT_LT(grid[1] * 4, grid[0]) << "solid " << grid[0] << ", dotted " << grid[1];
    EXPECT_GT(grid[1] * 10, grid[0]) << "solid " << grid[0] << ", dotted " << grid[1];
}

// Pixels of the colour in the plot widget (above the buttons).
int count_in_plot(const image &img, uint32_t rgb)
{
    int n = 0;
    for (int y = 0; y < img.height - 30; y++)
        for (int x = 0; x < img.width; x++)
            n += img.at(x, y) == rgb;
    return n;
}

// A foreground colour that cannot be allocated falls back to black (the
// background being DarkSlateGray); a font name that the server does not know
// gives the toolkit's default font, with the toolkit's warning.
TEST_F(XplotWindow, UnusableResources)
{
    if (!need_server())
        GTEST_SKIP() << "no X server for the window test: " << server.why_not;
    const char *commands = "input: order = 1; A = -1; B = 1; C = 1; D = 0;\n"
                           "freq = lin(0, 10, 50);\nxplot: magn(H);\noutput: \"after\";\n";
    std::ofstream(dir + "/colour") << "Tevo*plot.Foreground: no-such-colour\n";
    extra_env = {"XENVIRONMENT=" + dir + "/colour"};
    start_tevo(commands);
    std::string win = find_window();
    ASSERT_FALSE(win.empty()) << read_file(dir + "/stderr");
    image img;
    ASSERT_TRUE(settled(win, &img));
    EXPECT_EQ(count_in_plot(img, 0xffffff), 0);
    EXPECT_GT(count_in_plot(img, 0x000000), 20);  // the labels
    EXPECT_GT(img.count(red), 50);
    ASSERT_EQ(key(win, "q"), 0);
    EXPECT_EQ(finish_tevo(), 0);

    std::ofstream(dir + "/font") << "Tevo*plot.font: no-such-font\n";
    extra_env = {"XENVIRONMENT=" + dir + "/font"};
    start_tevo(commands);
    win = find_window();
    ASSERT_FALSE(win.empty()) << read_file(dir + "/stderr");
    ASSERT_TRUE(settled(win, &img));
    EXPECT_GT(count_in_plot(img, 0xffffff), 20);
    ASSERT_EQ(key(win, "q"), 0);
    EXPECT_EQ(finish_tevo(), 0);
    EXPECT_NE(read_file(dir + "/stderr").find("no-such-font"), std::string::npos);
    EXPECT_EQ(read_file(dir + "/run.out"), "tevo 1.04\nafter\n");
}

// Sends the window manager's close request (WM_DELETE_WINDOW).
bool send_wm_delete(const std::string &display, const std::string &win)
{
    Display *dpy = nullptr;
    for (int i = 0; i < 20 && !dpy; i++) {
        dpy = XOpenDisplay(display.c_str());
        if (!dpy)
            xtest::sleep_ms(50);
    }
    if (!dpy)
        return false;
    Window w = std::stoul(win);
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, w, False, NoEventMask, &ev);
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return true;
}

// The buttons under the plot, left to right, with the fixed font of the
// fallback resources: Close, Grid, Fit.
const char *const close_x = "25";
const char *const grid_x = "69";
const char *const fit_x = "106";

TEST_F(XplotWindow, ButtonsAndWindowManagerClose)
{
    if (!need_server())
        GTEST_SKIP() << "no X server for the window test: " << server.why_not;
    start_tevo(two_windows);
    std::string win = find_window();
    ASSERT_FALSE(win.empty()) << read_file(dir + "/stderr");
    image fitted, img;
    ASSERT_TRUE(settled(win, &fitted));
    std::string button_y = std::to_string(fitted.height - 10);
    auto click = [&](const std::string &w, const char *x) {
        return xdo({"mousemove", "--window", w, x, button_y, "click", "1"});
    };

    // Grid on and off again with the Grid button.
    ASSERT_EQ(click(win, grid_x), 0);
    EXPECT_TRUE(wait_for(win, [](const image &i) { return i.count(gray40) > 20; }, &img))
        << "Grid button shows no grid";
    ASSERT_EQ(click(win, grid_x), 0);
    EXPECT_TRUE(wait_for(win, [&](const image &i) { return i.count(gray40) == 0; }, &img));

    // A zoom dragged from right to left, then the Fit button.
    ASSERT_EQ(xdo({"mousemove", "--window", win, "170", "110", "mousedown", "3", "mousemove",
                   "--window", win, "120", "80", "mousemove", "--window", win, "70", "40",
                   "mouseup", "3"}),
              0);
    EXPECT_TRUE(wait_for(win, [&](const image &i) { return !(i == fitted); }, &img));
    ASSERT_EQ(click(win, fit_x), 0);
    EXPECT_TRUE(wait_for(win, [&](const image &i) {
        // The pressed button may still be drawn sunken: compare the plot only.
        for (int y = 0; y < i.height - 30; y++)
            for (int x = 0; x < i.width; x++)
                if (i.at(x, y) != fitted.at(x, y))
                    return false;
        return true;
    }, &img)) << "Fit button does not restore the fitted view";

    ASSERT_TRUE(send_wm_delete(server.display, win));
    std::string twin = window_showing(time_picture, &img);
    ASSERT_FALSE(twin.empty()) << "WM_DELETE_WINDOW did not bring up the time window";

    ASSERT_EQ(click(twin, close_x), 0);
    EXPECT_EQ(finish_tevo(), 0) << read_file(dir + "/stderr");
    EXPECT_EQ(read_file(dir + "/run.out"), "tevo 1.04\nafter the plot\n");
}

TEST_F(XplotWindow, MissingSettingDropsOnlyItsCurve)
{
    if (!need_server())
        GTEST_SKIP() << "no X server for the window test: " << server.why_not;
    const struct {
        const char *setting, *item, *message;
    } cases[] = {
        {"ctot = 1e-11;", "dr", "umax is not defined"},
        {"umax = 1;", "dr", "ctot is not defined"},
        {"epsrel = nothing;", "dropfact", "epsrel is not defined"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        start_tevo(std::string("input: order = 1; A = -1; B = 1; C = 1; D = 0;\n") + c.setting +
                   "\nfreq = lin(0, 5, 50);\nxplot: magn(H) " + c.item + ";\noutput: \"after\";\n");
        std::string win = find_window();
        ASSERT_FALSE(win.empty()) << read_file(dir + "/stderr");
        image img;
        ASSERT_TRUE(settled(win, &img));
        EXPECT_GT(img.count(red), 50);
        EXPECT_EQ(img.count(green), 0);  // no second curve
        ASSERT_EQ(key(win, "q"), 0);
        EXPECT_EQ(finish_tevo(), 1);
        EXPECT_EQ(read_file(dir + "/stderr"), std::string("Error in line 4: ") + c.message + ".\n");
        EXPECT_EQ(read_file(dir + "/run.out"), "tevo 1.04\nafter\n");
    }
}

// Without a display the statement reports an error and the run goes on.
TEST(XplotNoDisplay, ReportsErrorAndRunGoesOn)
{
    const struct {
        const char *display;
        const char *message;
    } cases[] = {
        {"DISPLAY=", "Error in line 3: no X display for the plot window (DISPLAY is not set).\n"},
        {"DISPLAY=/nonexistent/socket:7",
         "Error in line 3: could not open X display /nonexistent/socket:7 for the plot window.\n"},
    };
    for (const auto &c : cases) {
        char tmpl[] = "/tmp/tevo_xplot_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        std::string dir = tmpl;
        std::ofstream(dir + "/run.in") << "input: order = 1; A = -1; B = 1; C = 1; D = 0;\n"
                                          "freq = lin(0, 5, 10);\n"
                                          "xplot: magn(H);\n"
                                          "output: \"after\";\n";
        xtest::child ch = xtest::spawn({tevo_path(), "run"}, {c.display}, false, dir,
                                       dir + "/stdout", dir + "/stderr");
        ASSERT_GT(ch.pid, 0);
        EXPECT_EQ(xtest::wait_child(ch.pid, 20000), 1) << c.display;
        EXPECT_EQ(read_file(dir + "/stderr"), c.message);
        EXPECT_EQ(read_file(dir + "/run.out"), "tevo 1.04\nafter\n");
        xtest::run({"rm", "-rf", dir}, {});
    }
}

}  // namespace
