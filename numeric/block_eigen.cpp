// Eigenvalues by irreducible diagonal blocks.
#include "numeric/block_eigen.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "base/error.h"
#include "numeric/linalg.h"
#include "numeric/matrix.h"

namespace {

// Strongly connected components of the graph with an edge i -> j for every
// a(i, j) != 0, by Tarjan's algorithm without recursion (the order may be a
// few hundred). Each component is a list of indices. A component is listed
// only after every component it has an edge to, so that in the order of the
// list the matrix is block lower triangular.
std::vector<std::vector<int>> components(const matrix &a)
{
    const int n = a.rows;
    std::vector<int> index(n, -1), low(n, 0), stack, next(n, 0);
    std::vector<char> on_stack(n, 0);
    std::vector<std::vector<int>> out;
    std::vector<int> call;  // the depth-first path
    int counter = 0;
    auto nz = [&](int i, int j) { return a.data[static_cast<std::size_t>(j) * n + i] != 0.0; };
    for (int root = 0; root < n; root++) {
        if (index[root] >= 0)
            continue;
        call.push_back(root);
        index[root] = low[root] = counter++;
        stack.push_back(root);
        on_stack[root] = 1;
        while (!call.empty()) {
            int v = call.back();
            if (next[v] < n) {
                int w = next[v]++;
                if (w == v || !nz(v, w))
                    continue;
                if (index[w] < 0) {
                    index[w] = low[w] = counter++;
                    stack.push_back(w);
                    on_stack[w] = 1;
                    call.push_back(w);
                } else if (on_stack[w]) {
                    low[v] = std::min(low[v], index[w]);
                }
                continue;
            }
            call.pop_back();
            if (!call.empty())
                low[call.back()] = std::min(low[call.back()], low[v]);
            if (low[v] == index[v]) {
                std::vector<int> comp;
                int w;
                do {
                    w = stack.back();
                    stack.pop_back();
                    on_stack[w] = 0;
                    comp.push_back(w);
                } while (w != v);
                out.push_back(std::move(comp));
            }
        }
    }
    return out;
}

}  // namespace

block_order irreducible_blocks(const matrix &a)
{
    block_order b;
    b.start.push_back(0);
    for (std::vector<int> &c : components(a)) {
        std::sort(c.begin(), c.end());
        b.order.insert(b.order.end(), c.begin(), c.end());
        b.start.push_back(static_cast<int>(b.order.size()));
    }
    return b;
}

matrix evc_blocks(const matrix &a)
{
    if (a.rows != a.cols || a.rows <= 0)
        fatal("evc, matrix dimensions improper");
    const int n = a.rows;
    for (std::size_t k = 0; k < static_cast<std::size_t>(n) * n; k++)
        if (!std::isfinite(a.data[k]))
            fatal("evc: could not determine eigenvalues");
    auto get = [&](int i, int j) { return a.data[static_cast<std::size_t>(j) * n + i]; };
    matrix w = newm(n, 2);
    int pos = 0;
    for (const std::vector<int> &c : components(a)) {
        const int m = static_cast<int>(c.size());
        if (m == 1) {
            w.data[pos] = get(c[0], c[0]);
            w.data[n + pos] = 0.0;
            pos++;
        } else if (m == 2) {
            double p = get(c[0], c[0]), q = get(c[0], c[1]), r = get(c[1], c[0]), s = get(c[1], c[1]);
            double half = 0.5 * (p + s), d = 0.5 * (p - s);
            double disc = d * d + q * r;
            if (disc < 0.0) {
                double im = std::sqrt(-disc);
                w.data[pos] = half;
                w.data[n + pos] = im;
                w.data[pos + 1] = half;
                w.data[n + pos + 1] = -im;
            } else {
                // the larger root first, the other from the determinant so
                // that neither is lost to cancellation
                double root = std::sqrt(disc);
                double big = half >= 0.0 ? half + root : half - root;
                double det2 = p * s - q * r;
                w.data[pos] = big;
                w.data[pos + 1] = big != 0.0 ? det2 / big : 0.0;
                w.data[n + pos] = w.data[n + pos + 1] = 0.0;
            }
            pos += 2;
        } else {
            matrix b = newm(m, m);
            for (int j = 0; j < m; j++)
                for (int i = 0; i < m; i++)
                    b.data[static_cast<std::size_t>(j) * m + i] = get(c[i], c[j]);
            matrix e = evc(b);
            for (int k = 0; k < m; k++) {
                w.data[pos + k] = e.data[k];
                w.data[n + pos + k] = e.data[m + k];
            }
            pos += m;
            freem(&e);
            freem(&b);
        }
    }
    return w;
}
