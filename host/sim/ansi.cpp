#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/sim/host.h"

namespace Sim {

namespace {

// The call carries no destination size. Effects use it for the 256-byte return message, so the
// stand-in stops there; a caller that relies on that limit is still wrong, and the tests of
// message length use a sprintf without one.
int ansiSprintf(char* buffer, const char* format, ...) {
    if (buffer == nullptr || format == nullptr) return -1;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, PF_MAX_RETURN_MSG_LEN, format, args);
    va_end(args);
    return written;
}

char* ansiStrcpy(char* dest, const char* src) {
    if (dest == nullptr || src == nullptr) return dest;
    return std::strcpy(dest, src);
}

double ansiAtan(double x) { return std::atan(x); }
double ansiAtan2(double y, double x) { return std::atan2(y, x); }
double ansiCeil(double x) { return std::ceil(x); }
double ansiCos(double x) { return std::cos(x); }
double ansiExp(double x) { return std::exp(x); }
double ansiFabs(double x) { return std::fabs(x); }
double ansiFloor(double x) { return std::floor(x); }
double ansiFmod(double x, double y) { return std::fmod(x, y); }
double ansiHypot(double x, double y) { return std::hypot(x, y); }
double ansiLog(double x) { return std::log(x); }
double ansiLog10(double x) { return std::log10(x); }
double ansiPow(double x, double y) { return std::pow(x, y); }
double ansiSin(double x) { return std::sin(x); }
double ansiSqrt(double x) { return std::sqrt(x); }
double ansiTan(double x) { return std::tan(x); }
double ansiAsin(double x) { return std::asin(x); }
double ansiAcos(double x) { return std::acos(x); }

}  // namespace

void installAnsiCallbacks(Host&, PF_ANSICallbacks& ansi) {
    ansi.atan = ansiAtan;
    ansi.atan2 = ansiAtan2;
    ansi.ceil = ansiCeil;
    ansi.cos = ansiCos;
    ansi.exp = ansiExp;
    ansi.fabs = ansiFabs;
    ansi.floor = ansiFloor;
    ansi.fmod = ansiFmod;
    ansi.hypot = ansiHypot;
    ansi.log = ansiLog;
    ansi.log10 = ansiLog10;
    ansi.pow = ansiPow;
    ansi.sin = ansiSin;
    ansi.sqrt = ansiSqrt;
    ansi.tan = ansiTan;
    ansi.sprintf = ansiSprintf;
    ansi.strcpy = ansiStrcpy;
    ansi.asin = ansiAsin;
    ansi.acos = ansiAcos;
}

}  // namespace Sim
