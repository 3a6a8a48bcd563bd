// Layout and painting of the plot window: frame, ticks, labels, grid, curves
// and legend, drawn with Xlib on the "plot" widget.
#include <X11/StringDefs.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/error.h"
#include "xplot/xplot.h"

namespace {

// No axis ever gets more labels or ticks than this, whatever the rounding
// did, so that no paint can run away.
constexpr int max_marks = 1000;

const char *const curve_colors[] = {"red",  "green", "blue",    "yellow",
                                    "cyan", "orange", "pink", "magenta"};
constexpr int n_curve_colors = 8;

// The label of the mark at v on an axis with the given step; a mark within
// rounding noise of zero (from adding steps to a negative start) reads 0.
void format_label(char *buf, size_t size, double v, double step)
{
    if (std::fabs(v) < 1e-9 * std::fabs(step))
        v = 0;
    snprintf(buf, size, "%g", v);
}

int text_width(const plot_state *s, const char *text)
{
    if (!s->font || !text)
        return 0;
    return XTextWidth(s->font, text, static_cast<int>(strlen(text)));
}

// Widest "%g" label of the linear axis from lo in steps of step up to hi.
int widest_label(const plot_state *s, double lo, double hi, double step)
{
    int widest = 0;
    char buf[20];
    for (int i = 0; i < max_marks; i++) {
        double v = lo + i * step;
        if (!(v - step / 2 < hi))
            break;
        format_label(buf, sizeof buf, v, step);
        widest = std::max(widest, text_width(s, buf));
    }
    return widest;
}

// Pixel position of ticks, labels and grid lines: truncation of the offset
// plus one half, kept inside the int range.
int mark_pos(double base_plus, double offset, bool up)
{
    double t = std::trunc(offset + 0.5);
    if (!std::isfinite(t))
        t = t > 0 ? 1e9 : -1e9;
    t = std::clamp(t, -1e9, 1e9);
    return static_cast<int>(up ? base_plus - t : base_plus + t);
}

int tick_x(const plot_state *s, double x)
{
    return mark_pos(s->x0, plot_x_offset(s, x), false);
}

int tick_y(const plot_state *s, double y)
{
    return mark_pos(s->y0 + s->plot_h, plot_y_offset(s, y), true);
}

struct painter {
    Display *dpy;
    Window win;
    GC gc;
    void line(int xa, int ya, int xb, int yb) const { XDrawLine(dpy, win, gc, xa, ya, xb, yb); }
    void fg(Pixel p) const { XSetForeground(dpy, gc, p); }
};

// Middle and minor spacing of the ticks between two labels.
void tick_spacings(int mant, double step, double *middle, double *minor)
{
    switch (mant) {
    case 1:
    case 10:
        *middle = step / 2;
        *minor = step / 10;
        break;
    case 2:
        *middle = step / 2;
        *minor = step / 2;
        break;
    case 5:
        *middle = step / 5;
        *minor = step / 5;
        break;
    default:
        *middle = step;
        *minor = step;
        break;
    }
}

void x_ticks_at(const painter &p, const plot_state *s, double spacing, int len)
{
    for (int i = 0; i < max_marks; i++) {
        double x = s->x_lo_shown + i * spacing;
        if (!(x - spacing / 2 < s->x_hi_shown))
            break;
        int px = tick_x(s, x);
        p.line(px, s->y0, px, s->y0 + len);
        p.line(px, s->y0 + s->plot_h, px, s->y0 + s->plot_h - len);
    }
}

void y_ticks_at(const painter &p, const plot_state *s, double spacing, int len)
{
    for (int i = 0; i < max_marks; i++) {
        double y = s->y_lo_shown + i * spacing;
        if (!(y - spacing / 2 < s->y_hi_shown))
            break;
        int py = tick_y(s, y);
        p.line(s->x0, py, s->x0 + len, py);
        p.line(s->x0 + s->plot_w, py, s->x0 + s->plot_w - len, py);
    }
}

void grid_style(const painter &p, bool dashed)
{
    XSetLineAttributes(p.dpy, p.gc, 1, dashed ? LineOnOffDash : LineSolid, CapButt, JoinBevel);
}

// Screen coordinate of a curve value; infinite offsets saturate like
// plot_round.
double curve_coord(double v)
{
    if (std::isnan(v))
        return v;
    return std::clamp(v, -2147483648.0, 2147483647.0);
}

}  // namespace

void plot_layout_size(plot_state *s, int width, int height)
{
    s->width = static_cast<unsigned short>(std::clamp(width, 0, 65535));
    s->height = static_cast<unsigned short>(std::clamp(height, 0, 65535));
    int cw = s->font ? s->font->max_bounds.width : 0;
    if (cw < 1)
        cw = 1;
    int line_h = std::max(s->line_h, 1);

    int ny = std::clamp(height / (5 * line_h), 1, 10);
    s->x_lo_shown = s->x_lo;
    s->x_hi_shown = s->x_hi;
    s->y_lo_shown = s->y_lo;
    s->y_hi_shown = s->y_hi;
    s->y_step = tevo_xplot_adjust_steps(&s->y_hi_shown, &s->y_lo_shown, ny, &s->y_mant);

    int widest = widest_label(s, s->y_lo_shown, s->y_hi_shown, s->y_step);
    s->x0 = widest + 5;

    int legend = 0;
    for (int j = 0; j < s->ncurves; j++)
        legend = std::max(legend, text_width(s, s->labels ? s->labels[j] : nullptr));
    legend += 5;

    s->y0 = s->line_h + 2;
    s->plot_h = height - 2 * s->y0 - 1;
    s->plot_w = width - s->x0 - legend - 10;

    int nx = std::clamp(s->plot_w / (10 * cw), 1, 10) + 1;
    if (s->xscale == 'l') {
        s->x_decade = tevo_xplot_adjust_steps_log(&s->x_hi_shown, &s->x_lo_shown, nx);
        s->x_step = s->x_hi_shown - s->x_lo_shown;
        return;
    }
    for (;;) {
        nx--;
        s->x_step = tevo_xplot_adjust_steps(&s->x_hi_shown, &s->x_lo_shown, nx, &s->x_mant);
        int w = widest_label(s, s->x_lo_shown, s->x_hi_shown, s->x_step);
        if (nx <= 1 ||
            s->plot_w * s->x_step >= 1.5 * w * (s->x_hi_shown - s->x_lo_shown))
            break;
    }
}

void plot_layout(plot_state *s)
{
    Dimension w = 0, h = 0;
    XtVaGetValues(s->widget, XtNheight, &h, XtNwidth, &w, nullptr);
    plot_layout_size(s, w, h);
}

void plot_draw(plot_state *s)
{
    Display *dpy = XtDisplay(s->widget);
    painter p{dpy, XtWindow(s->widget), s->gc};
    if (s->plot_w <= 10 || s->plot_h <= 10) {
        p.fg(s->foreground);
        return;
    }
    bool log_x = s->xscale == 'l';
    int x_right = s->x0 + s->plot_w, y_bottom = s->y0 + s->plot_h;

    // Frame.
    p.fg(s->border_color);
    XSetLineAttributes(dpy, s->gc, 2, LineSolid, CapButt, JoinMiter);
    XDrawRectangle(dpy, p.win, s->gc, s->x0, s->y0, s->plot_w, s->plot_h);
    XSetLineAttributes(dpy, s->gc, 1, LineSolid, CapButt, JoinBevel);

    // Minor and middle ticks of the x axis.
    double middle, minor;
    if (log_x) {
        double decades = std::log(s->x_hi_shown / s->x_lo_shown);
        if (0.1 * s->plot_w / decades > 4) {
            double base = s->x_lo_shown;
            for (int j = 0; j < max_marks && base < s->x_hi_shown; j++, base *= 10)
                for (int d = 2; d <= 9; d++) {
                    double x = base * d;
                    if (x > s->x_lo_shown && x < s->x_hi_shown) {
                        int px = tick_x(s, x);
                        p.line(px, s->y0, px, s->y0 + 5);
                        p.line(px, y_bottom, px, y_bottom - 5);
                    }
                }
        }
    }
    else {
        tick_spacings(s->x_mant, s->x_step, &middle, &minor);
        if (minor != middle)
            x_ticks_at(p, s, minor, 3);
        x_ticks_at(p, s, middle, 5);
    }
    tick_spacings(s->y_mant, s->y_step, &middle, &minor);
    if (minor != middle)
        y_ticks_at(p, s, minor, 3);
    y_ticks_at(p, s, middle, 5);

    char buf[20];
    int descent = s->font ? s->font->descent : 0;

    // Major ticks, labels and grid lines of the x axis.
    for (int i = 0; i < max_marks; i++) {
        double x;
        if (log_x) {
            x = s->x_lo_shown * std::pow(static_cast<double>(s->x_decade), i);
            if (!(x <= s->x_hi_shown * (1 + 1e-9)))
                break;
        }
        else {
            x = s->x_lo_shown + i * s->x_step;
            if (!(x - s->x_step / 2 < s->x_hi_shown))
                break;
        }
        int px = tick_x(s, x);
        p.fg(s->grid_color);
        bool inside = log_x ? (x > s->x_lo_shown * (1 + 1e-9) && x < s->x_hi_shown * (1 - 1e-9))
                            : (x > s->x_lo_shown + s->x_step / 2 &&
                               x < s->x_hi_shown - s->x_step / 2);
        if (s->grid_on && inside) {
            grid_style(p, s->grid_type == 2);
            p.line(px, s->y0, px, y_bottom);
            grid_style(p, false);
        }
        p.fg(s->border_color);
        p.line(px, s->y0, px, s->y0 + 7);
        p.line(px, y_bottom, px, y_bottom - 7);
        p.fg(s->foreground);
        format_label(buf, sizeof buf, x, log_x ? 0 : s->x_step);
        XDrawString(dpy, p.win, s->gc, px, s->height - descent, buf, static_cast<int>(strlen(buf)));
        p.fg(s->border_color);
    }

    // Major ticks, labels and grid lines of the y axis.
    for (int i = 0; i < max_marks; i++) {
        double y = s->y_lo_shown + i * s->y_step;
        if (!(y - s->y_step / 2 < s->y_hi_shown))
            break;
        int py = tick_y(s, y);
        p.fg(s->grid_color);
        if (s->grid_on && y > s->y_lo_shown + s->y_step / 2 && y < s->y_hi_shown - s->y_step / 2) {
            grid_style(p, s->grid_type == 2);
            p.line(s->x0, py, x_right, py);
            grid_style(p, false);
        }
        p.fg(s->border_color);
        p.line(s->x0, py, s->x0 + 7, py);
        p.line(x_right, py, x_right - 7, py);
        p.fg(s->foreground);
        format_label(buf, sizeof buf, y, s->y_step);
        int len = static_cast<int>(strlen(buf));
        XDrawString(dpy, p.win, s->gc, s->x0 - text_width(s, buf) - 2, py, buf, len);
        p.fg(s->border_color);
    }

    // Curves and legend.
    int ncol = std::min(s->ncurves, n_curve_colors);
    std::vector<Pixel> colors;
    checked_resize(colors, ncol, "color array");
    Colormap cmap = DefaultColormapOfScreen(XtScreen(s->widget));
    for (int c = 0; c < ncol; c++) {
        XColor screen_def, exact_def;
        if (!XAllocNamedColor(dpy, cmap, curve_colors[c], &screen_def, &exact_def)) {
            ncol = c;
            break;
        }
        colors[c] = screen_def.pixel;
    }
    XRectangle clip;
    clip.x = static_cast<short>(s->x0);
    clip.y = static_cast<short>(s->y0);
    clip.width = static_cast<unsigned short>(s->plot_w);
    clip.height = static_cast<unsigned short>(s->plot_h);
    double wx_lo = -1, wx_hi = s->width + 1.0, wy_lo = -1, wy_hi = s->height + 1.0;
    for (int j = 0; j < s->ncurves; j++) {
        if (ncol > 0)
            p.fg(colors[j % ncol]);
        XSetClipRectangles(dpy, s->gc, 0, 0, &clip, 1, Unsorted);
        const double *yv = s->y[j];
        for (int k = 0; k + 1 < s->npoints; k++) {
            double xa = s->x[k], xb = s->x[k + 1];
            // Segments wholly left or right of the shown range are skipped,
            // whichever way the sweep runs.
            if ((xa < s->x_lo_shown && xb < s->x_lo_shown) ||
                (xa > s->x_hi_shown && xb > s->x_hi_shown))
                continue;
            if (log_x && (xa <= 0 || xb <= 0))
                continue;
            double pxa = curve_coord(s->x0 + plot_x_offset(s, xa));
            double pxb = curve_coord(s->x0 + plot_x_offset(s, xb));
            double pya = curve_coord(s->height - s->y0 - plot_y_offset(s, yv[k]));
            double pyb = curve_coord(s->height - s->y0 - plot_y_offset(s, yv[k + 1]));
            if (std::isnan(pxa) || std::isnan(pxb) || std::isnan(pya) || std::isnan(pyb))
                continue;
            int ia = plot_round(pya), ib = plot_round(pyb);
            if ((ia <= s->y0 && ib <= s->y0) || (ia >= y_bottom && ib >= y_bottom))
                continue;
            if (!clip_segment(&pxa, &pya, &pxb, &pyb, wx_lo, wy_lo, wx_hi, wy_hi))
                continue;
            p.line(plot_round(pxa), plot_round(pya), plot_round(pxb), plot_round(pyb));
        }
        XSetClipMask(dpy, s->gc, None);
        const char *label = s->labels ? s->labels[j] : nullptr;
        if (label)
            XDrawString(dpy, p.win, s->gc, x_right + 12, (j + 1) * s->line_h + 2, label,
                        static_cast<int>(strlen(label)));
    }
    if (ncol > 0)
        XFreeColors(dpy, cmap, colors.data(), ncol, 0);
    p.fg(s->foreground);
}
