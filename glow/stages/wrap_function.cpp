#include "glow/stages/wrap_function.h"

namespace Glow {

std::function<int(int)> generateWrapFunc(int n, Morvel::Wrap wrap) {
    // An empty range has nothing to wrap onto, and Mirror's modulus would divide by zero.
    if (n < 1) return [](int v) { return v; };
    switch (wrap) {
        case Morvel::Wrap::Edge: return [n](int v) { return v < 0 ? 0 : (v >= n ? n - 1 : v); };
        case Morvel::Wrap::Mirror:
            return [n](int v) {
                const long long period = 2LL * n;
                long long m = v % period;
                if (m < 0) m += period;
                return static_cast<int>(m < n ? m : period - 1 - m);
            };
        default: return [](int v) { return v; };
    }
}

}  // namespace Glow
