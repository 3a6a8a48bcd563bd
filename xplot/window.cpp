// The plot window: an application context of its own, a Form with the
// Close, Grid and Fit buttons over a Core widget that the curves are painted
// on, and the event loop that runs until the window is closed.
#include <X11/IntrinsicP.h>
#include <X11/Shell.h>
#include <X11/StringDefs.h>
#include <X11/Xatom.h>
#include <X11/Xaw3d/Command.h>
#include <X11/Xaw3d/Form.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/error.h"
#include "xplot/xplot.h"

xplot_globals xpl;

namespace {

char res_fg[] = "*Foreground: black";
char res_bg[] = "*Background: gray80";
char res_title[] = "*title: plot window";
char res_plot_fg[] = "*plot.Foreground: white";
char res_plot_bg[] = "*plot.Background: DarkSlateGray";
char res_border[] = "*plot.plotBorderColor: gray80";
char res_grid[] = "*plot.gridColor: gray40";
char res_gridtype[] = "*plot.gridType: solid";
String fallback_resources[] = {res_fg,     res_bg,     res_title, res_plot_fg, res_plot_bg,
                               res_border, res_grid, res_gridtype, nullptr};

// The String resources of the "plot" widget that the drawing reads.
struct plot_resources {
    String foreground;
    String border_color;
    String grid_color;
    String grid_type;
    String font;
};

char rn_fg[] = "foreground", rc_fg[] = "Foreground";
char rn_border[] = "plotBorderColor", rc_border[] = "PlotBorderColor";
char rn_grid[] = "gridColor", rc_grid[] = "GridColor";
char rn_gridtype[] = "gridType", rc_gridtype[] = "GridType";
char rn_font[] = "font", rc_font[] = "Font";
char rt_string[] = "String";
char def_fg[] = "XtDefaultForeground";
char def_solid[] = "solid";
char def_font[] = "XtDefaultFont";

XtResource plot_resource_list[] = {
    {rn_fg, rc_fg, rt_string, sizeof(String), XtOffsetOf(plot_resources, foreground), rt_string,
     def_fg},
    {rn_border, rc_border, rt_string, sizeof(String), XtOffsetOf(plot_resources, border_color),
     rt_string, def_fg},
    {rn_grid, rc_grid, rt_string, sizeof(String), XtOffsetOf(plot_resources, grid_color),
     rt_string, def_fg},
    {rn_gridtype, rc_gridtype, rt_string, sizeof(String), XtOffsetOf(plot_resources, grid_type),
     rt_string, def_solid},
    {rn_font, rc_font, rt_string, sizeof(String), XtOffsetOf(plot_resources, font), rt_string,
     def_font},
};

void get_plot_resources(Widget w, plot_resources *res)
{
    XtGetSubresources(w, res, nullptr, nullptr, plot_resource_list,
                      XtNumber(plot_resource_list), nullptr, 0);
}

void add_unique_pixel(plot_state *s, Pixel p)
{
    for (Pixel q : s->pixels)
        if (q == p)
            return;
    checked_push(s->pixels, p, "plot colors");
    s->npixels = static_cast<int>(s->pixels.size());
}

// Allocates the named colour; on success its pixel is stored in *pixel and
// kept in the window's list.
bool alloc_named(plot_state *s, const char *name, Pixel *pixel)
{
    Display *dpy = XtDisplay(s->widget);
    Colormap cmap = DefaultColormapOfScreen(XtScreen(s->widget));
    XColor screen_def, exact_def;
    if (!name || !XAllocNamedColor(dpy, cmap, name, &screen_def, &exact_def))
        return false;
    *pixel = screen_def.pixel;
    add_unique_pixel(s, screen_def.pixel);
    return true;
}

// The font named by the resource, converted by the toolkit's converter. The
// converted font is cached by the toolkit with the display and freed when the
// display is closed.
XFontStruct *load_plot_font(Widget w, const char *name)
{
    Display *dpy = XtDisplay(w);
    XrmValue args[1];
    args[0].addr = reinterpret_cast<XPointer>(&dpy);
    args[0].size = sizeof(Display *);
    XrmValue from, to;
    from.addr = const_cast<XPointer>(name);
    from.size = static_cast<unsigned>(strlen(name) + 1);
    XFontStruct *font = nullptr;
    to.addr = reinterpret_cast<XPointer>(&font);
    to.size = sizeof(font);
    if (!XtCallConverter(dpy, XtCvtStringToFontStruct, args, 1, &from, &to, nullptr) ||
        !font)
        fatal("could not load font %s", name);
    return font;
}

void alloc_plot_colors(plot_state *s)
{
    plot_resources res{};
    get_plot_resources(s->widget, &res);
    Screen *screen = XtScreen(s->widget);
    Pixel bg = 0;
    XtVaGetValues(s->widget, XtNbackground, &bg, nullptr);
    if (!alloc_named(s, res.foreground, &s->foreground))
        // Without its own colour the foreground takes whichever of black and
        // white stands out against the background.
        s->foreground = bg == BlackPixelOfScreen(screen) ? WhitePixelOfScreen(screen)
                                                         : BlackPixelOfScreen(screen);
    if (!alloc_named(s, res.border_color, &s->border_color))
        s->border_color = s->foreground;
    if (!alloc_named(s, res.grid_color, &s->grid_color))
        s->grid_color = s->border_color;
    s->grid_type = res.grid_type && strcmp(res.grid_type, "dotted") == 0 ? 2 : 1;
    s->font = load_plot_font(s->widget, res.font ? res.font : "XtDefaultFont");
}

void init_plot_gc(plot_state *s)
{
    alloc_plot_colors(s);
    Display *dpy = XtDisplay(s->widget);
    s->gc = XCreateGC(dpy, XtWindow(s->widget), 0, nullptr);
    static const char dashes[] = {1, 5};
    XSetDashes(dpy, s->gc, 0, dashes, 2);
    XSetFont(dpy, s->gc, s->font->fid);
    XtVaGetValues(s->widget, XtNbackground, &s->background, nullptr);
    s->line_h = s->font->ascent + s->font->descent;
    s->grid_on = 0;
    plot_layout(s);
}

// Releases what the window allocated: its colours and its graphics context.
// The font belongs to the toolkit's conversion cache.
void free_plot_resources(plot_state *s)
{
    Display *dpy = XtDisplay(s->widget);
    if (s->npixels > 0)
        XFreeColors(dpy, DefaultColormapOfScreen(XtScreen(s->widget)), s->pixels.data(), s->npixels, 0);
    s->pixels.clear();
    s->npixels = 0;
    if (s->gc)
        XFreeGC(dpy, s->gc);
    s->gc = nullptr;
    s->font = nullptr;
}

void clear_and_draw(plot_state *s)
{
    XClearWindow(XtDisplay(s->widget), XtWindow(s->widget));
    plot_draw(s);
}

void plot_redraw(Widget, XtPointer client, XtPointer)
{
    auto *s = static_cast<plot_state *>(client);
    plot_data_range(s);
    plot_layout(s);
    clear_and_draw(s);
}

void plot_toggle_grid(plot_state *s)
{
    s->grid_on = !s->grid_on;
    clear_and_draw(s);
}

void plot_grid_cb(Widget, XtPointer client, XtPointer)
{
    plot_toggle_grid(static_cast<plot_state *>(client));
}

void plot_quit(Widget, XtPointer, XtPointer)
{
    XtAppSetExitFlag(xpl.app);
}

void plot_expose_handler(Widget, XtPointer client, XEvent *, Boolean *)
{
    auto *s = static_cast<plot_state *>(client);
    if (!s->gc)
        return;
    plot_layout(s);
    clear_and_draw(s);
}

void plot_press_handler(Widget, XtPointer client, XEvent *ev, Boolean *)
{
    auto *s = static_cast<plot_state *>(client);
    s->press_x = ev->xbutton.x;
    s->press_y = ev->xbutton.y;
}

void plot_drag_handler(Widget, XtPointer client, XEvent *ev, Boolean *)
{
    auto *s = static_cast<plot_state *>(client);
    if (!s->gc)
        return;
    Display *dpy = XtDisplay(s->widget);
    Window win = XtWindow(s->widget);
    XSetForeground(dpy, s->gc, s->background);
    XDrawRectangles(dpy, win, s->gc, &xpl.rubber, 1);
    xpl.rubber = rubber_rect(s->press_x, s->press_y, ev->xmotion.x, ev->xmotion.y);
    plot_draw(s);
    XSetForeground(dpy, s->gc, s->foreground);
    XDrawRectangles(dpy, win, s->gc, &xpl.rubber, 1);
}

void plot_release_handler(Widget, XtPointer client, XEvent *ev, Boolean *)
{
    auto *s = static_cast<plot_state *>(client);
    if (ev->xbutton.button != Button3 || !s->gc)
        return;
    plot_zoom(s, s->press_x, s->press_y, ev->xbutton.x, ev->xbutton.y);
    plot_layout(s);
    clear_and_draw(s);
}

void plot_key_handler(Widget, XtPointer client, XEvent *ev, Boolean *)
{
    auto *s = static_cast<plot_state *>(client);
    KeySym key = XLookupKeysym(&ev->xkey, 0);
    switch (key) {
    case XK_f:
        plot_redraw(s->widget, s, nullptr);
        break;
    case XK_g:
        plot_toggle_grid(s);
        break;
    case XK_c:
    case XK_q:
        XtAppSetExitFlag(xpl.app);
        break;
    default:
        break;
    }
}

// A window manager's request to close the window acts like Close.
void plot_wm_handler(Widget, XtPointer, XEvent *ev, Boolean *)
{
    if (ev->type == ClientMessage && static_cast<Atom>(ev->xclient.data.l[0]) == xpl.wm_delete)
        XtAppSetExitFlag(xpl.app);
}

// Opens the display and makes it the display of a new application context
// of class Tevo with the fallback resources (what XtOpenApplication does).
// The display is opened here rather than by the toolkit, so that one that
// cannot be reached is a non-fatal error instead of the end of the program.
// A server can refuse a connection for a moment (its queue of new
// connections full), so the opening is tried a few times.
Display *open_plot_display(int *argc, char **argv)
{
    const char *name = XDisplayName(nullptr);
    if (!name || !*name) {
        error("no X display for the plot window (DISPLAY is not set)");
        return nullptr;
    }
    Display *dpy = nullptr;
    for (int attempt = 0; attempt < 20 && !dpy; attempt++) {
        if (attempt > 0)
            usleep(50000);
        dpy = XOpenDisplay(nullptr);
    }
    if (!dpy) {
        error("could not open X display %s for the plot window", name);
        return nullptr;
    }
    XtToolkitInitialize();
    xpl.app = XtCreateApplicationContext();
    XtAppSetFallbackResources(xpl.app, fallback_resources);
    const char *app_name = getenv("RESOURCE_NAME");
    XtDisplayInitialize(xpl.app, dpy, app_name && *app_name ? app_name : "tevo", "Tevo", nullptr, 0,
                        argc, argv);
    return dpy;
}

}  // namespace

void tevo_xplot(const plot_array &pa)
{
    int argc = 0;
    char *argv[1] = {nullptr};
    Display *dpy = open_plot_display(&argc, argv);
    if (!dpy)
        return;

    plot_state st;
    st.npoints = pa.npoints;
    st.ncurves = pa.ncurves;
    // The state sees the array's labels and curves through pointers.
    std::vector<const char *> labels;
    for (const std::string &l : pa.labels)
        labels.push_back(l.c_str());
    std::vector<const double *> curves;
    for (const std::vector<double> &c : pa.y)
        curves.push_back(c.data());
    st.labels = labels.data();
    st.xscale = pa.xscale;
    st.x = pa.x.data();
    st.y = curves.data();
    plot_data_range(&st);

    Widget top = XtAppCreateShell(nullptr, "Tevo", applicationShellWidgetClass, dpy, nullptr, 0);

    Widget form = XtVaCreateManagedWidget("form", formWidgetClass, top, XtNborderWidth,
                                          static_cast<XtArgVal>(1), nullptr);
    Widget plot = XtVaCreateManagedWidget(
        "plot", widgetClass, form, XtNheight, static_cast<XtArgVal>(200), XtNwidth,
        static_cast<XtArgVal>(300), XtNbottom, static_cast<XtArgVal>(XawChainBottom),
        XtNborderWidth, static_cast<XtArgVal>(0), nullptr);
    st.widget = plot;
    Widget close = XtVaCreateManagedWidget(
        "button1", commandWidgetClass, form, XtNlabel, "Close", XtNfromVert, plot, XtNleft,
        static_cast<XtArgVal>(XawChainLeft), XtNright, static_cast<XtArgVal>(XawChainLeft),
        XtNtop, static_cast<XtArgVal>(XawChainBottom), XtNbottom,
        static_cast<XtArgVal>(XawChainBottom), nullptr);
    Widget grid = XtVaCreateManagedWidget(
        "button2", commandWidgetClass, form, XtNfromVert, plot, XtNfromHoriz, close, XtNlabel,
        "Grid", XtNleft, static_cast<XtArgVal>(XawChainLeft), XtNright,
        static_cast<XtArgVal>(XawChainLeft), XtNtop, static_cast<XtArgVal>(XawChainBottom),
        XtNbottom, static_cast<XtArgVal>(XawChainBottom), nullptr);
    Widget fit = XtVaCreateManagedWidget(
        "button3", commandWidgetClass, form, XtNfromVert, plot, XtNfromHoriz, grid, XtNlabel,
        "Fit", XtNleft, static_cast<XtArgVal>(XawChainLeft), XtNright,
        static_cast<XtArgVal>(XawChainLeft), XtNtop, static_cast<XtArgVal>(XawChainBottom),
        XtNbottom, static_cast<XtArgVal>(XawChainBottom), nullptr);

    XtAddEventHandler(plot, ExposureMask | StructureNotifyMask, False, plot_expose_handler, &st);
    XtAddEventHandler(plot, Button3MotionMask, False, plot_drag_handler, &st);
    XtAddEventHandler(plot, ButtonPressMask, False, plot_press_handler, &st);
    XtAddEventHandler(plot, ButtonReleaseMask, False, plot_release_handler, &st);
    XtAddEventHandler(form, KeyPressMask, False, plot_key_handler, &st);
    XtAddCallback(close, XtNcallback, plot_quit, &st);
    XtAddCallback(grid, XtNcallback, plot_grid_cb, &st);
    XtAddCallback(fit, XtNcallback, plot_redraw, &st);

    XtRealizeWidget(top);
    xpl.wm_delete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(dpy, XtWindow(top), &xpl.wm_delete, 1);
    XtAddEventHandler(top, NoEventMask, True, plot_wm_handler, &st);

    init_plot_gc(&st);
    XtAppMainLoop(xpl.app);

    free_plot_resources(&st);
    XtDestroyWidget(top);
    XtDestroyApplicationContext(xpl.app);
    xpl.app = nullptr;
}
