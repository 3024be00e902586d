#include "tiltshift/weighting.h"

#include "library/utility/ansi.h"

namespace TiltShift {

namespace {

double standardPow(double x, double y) { return std::pow(x, y); }
double standardLog(double x) { return std::log(x); }

// 255/32768: one step of a 16-bit or tabled float value on the 8-bit scale.
constexpr double kDeepStep = 0.007781982421875;
// 32768/255
constexpr double kDeepScale = 128.50196078431372;

}  // namespace

std::vector<double> makeWeightTable(const PF_InData* in_data, Morvel::Bpc bpc, double weightBase) {
    const auto pow = Morvel::ansiCallback(in_data, &PF_ANSICallbacks::pow, standardPow);
    const bool eightBit = bpc == Morvel::Bpc8;
    std::vector<double> table(eightBit ? 256 : 32769);
    for (size_t i = 0; i < table.size(); ++i) table[i] = pow(weightBase, eightBit ? double(i) : double(i) * kDeepStep);
    return table;
}

double weightInverseFactor(const PF_InData* in_data, Morvel::Bpc bpc, double weightBase) {
    if (weightBase <= 1.0) return 0.0;
    const auto log = Morvel::ansiCallback(in_data, &PF_ANSICallbacks::log, standardLog);
    const double inverse = 1.0 / log(weightBase);
    switch (bpc) {
        case Morvel::Bpc8: return inverse;
        case Morvel::Bpc16: return inverse * kDeepScale;
        case Morvel::Bpc32: return inverse / 255.0;
    }
    return 0.0;
}

}  // namespace TiltShift
