// The X11 plot window: curves of one plot array shown in a window of the X
// toolkit, with zoom (third mouse button), fit, grid and close.
//
// The window lives inside one call of tevo_xplot: the call opens its own
// application context, runs the toolkit's event loop until the window is
// closed, and tears everything down before it returns.
#pragma once

#include <X11/Intrinsic.h>
#include <X11/Xlib.h>

#include <vector>

#include "xplot/plot_array.h"

// Window state, one per call of tevo_xplot, handed to every callback and
// event handler as their client data.
struct plot_state {
    Widget widget = nullptr;  // the drawing widget "plot"

    // Copied from the plot array; only xscale == 'l' makes the x axis
    // logarithmic.
    int npoints = 0;
    int ncurves = 0;
    const char *const *labels = nullptr;
    char xscale = 'f';
    const double *x = nullptr;
    const double *const *y = nullptr;

    Pixel background = 0;
    Pixel foreground = 0;
    Pixel border_color = 0;
    Pixel grid_color = 0;
    int grid_type = 1;  // 1 solid grid lines, 2 dotted
    XFontStruct *font = nullptr;

    std::vector<Pixel> pixels;  // the distinct colours allocated for the window
    int npixels = 0;

    // Requested and shown ranges of both axes.
    double x_lo = 0, x_lo_shown = 0, x_hi = 1, x_hi_shown = 1;
    double y_lo = 0, y_lo_shown = 0, y_hi = 1, y_hi_shown = 1;

    int plot_h = 0, plot_w = 0, line_h = 0, x0 = 0, y0 = 0;
    int x_decade = 10;         // decade factor of a logarithmic x axis
    int x_mant = 1, y_mant = 1;  // step mantissas: 1, 2, 5 or 10
    double x_step = 1, y_step = 1;

    unsigned char grid_on = 0;
    int press_x = 0, press_y = 0;
    GC gc = nullptr;
    unsigned short width = 0, height = 0;  // size of the "plot" widget
};

// Program-wide state of the plot window: the application context of the
// window being shown, and the last rubber-band rectangle (shared by all
// windows, all zero at start).
struct xplot_globals {
    XtAppContext app = nullptr;
    XRectangle rubber = {0, 0, 0, 0};
    Atom wm_delete = 0;  // WM_DELETE_WINDOW of the window's display
};
extern xplot_globals xpl;

// Shows the plot array in a window and returns once it is closed. The caller
// keeps the array. Without a reachable display it reports a non-fatal error.
void tevo_xplot(const plot_array &pa);

// ---- Axis rounding and geometry (no display needed) ----

// Rounds the linear range [*min, *max] outward to whole steps of m * 10^k
// (m = 1, 2, 5 or 10, stored in *mant) so that about n labels fit; returns
// the step.
double tevo_xplot_adjust_steps(double *max, double *min, int n, int *mant);
// Rounds a positive range outward to whole decades; returns the decade factor
// (10, 100, ...) between neighbouring labels for about n labels.
int tevo_xplot_adjust_steps_log(double *max, double *min, int n);
// Pixel coordinate of a curve point: halves away from zero, saturated to int.
int plot_round(double v);

// Requested ranges := the ranges of the finite data values (on a
// logarithmic axis the positive x values). Without data an axis gets 0 .. 1
// (1 .. 10 on a logarithmic one).
void plot_data_range(plot_state *s);
// x offset in pixels of value x from the left edge of the plot area, linear
// or logarithmic by the state's x scale; y offset of value y from the bottom.
double plot_x_offset(const plot_state *s, double x);
double plot_y_offset(const plot_state *s, double y);
// Inverse of plot_x_offset for a pixel column of the window.
double plot_x_value(const plot_state *s, double px);
// Requested ranges := the shown values under the rectangle between the two
// pointer positions, clamped to the plot area. A rectangle under 2 pixels in
// either direction is ignored; returns whether the ranges changed.
bool plot_zoom(plot_state *s, int px1, int py1, int px2, int py2);
// The rectangle spanned by two pointer positions.
XRectangle rubber_rect(int x1, int y1, int x2, int y2);
// Clips the segment to the rectangle [xmin, xmax] x [ymin, ymax]; returns
// false when nothing of it is inside.
bool clip_segment(double *xa, double *ya, double *xb, double *yb, double xmin, double ymin,
                  double xmax, double ymax);

// Shown ranges, steps and margins for a drawing area of the given size,
// measuring labels with the state's font.
void plot_layout_size(plot_state *s, int width, int height);
// Reads the size of the "plot" widget, then plot_layout_size.
void plot_layout(plot_state *s);
// Paints frame, ticks, labels, grid, curves and legend.
void plot_draw(plot_state *s);
