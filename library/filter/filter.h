#pragma once

#include <cstdint>

#include "Util/AEGP_SuiteHandler.h"
#include "library/utility/geometry.h"
#include "library/utility/pixel.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

namespace Morvel::Filter {

// Band i of n over a width x height image: rows (or columns) [size*i/n, size*(i+1)/n), so the n
// bands tile the image exactly and the last one ends at the edge. The product is taken in 64 bits
// so that a large band count cannot overflow it.
inline Rect<int> bandRect(int width, int height, int i, int n, bool byColumns) {
    auto split = [&](int size, int k) { return static_cast<int>(int64_t(size) * k / n); };
    if (byColumns) return Rect<int>{split(width, i), 0, split(width, i + 1), height};
    return Rect<int>{0, split(height, i), width, split(height, i + 1)};
}

// A stage that can process any band of its worlds; run over the host's threads by iterateGeneric.
class FilterBase {
public:
    FilterBase(PF_InData* in_data, AEGP_SuiteHandler& suites, Bpc bpc, PF_LayerDef* input, PF_LayerDef* output)
        : in_data(in_data), suites(&suites), bpc(bpc), input(input), output(output) {}
    virtual ~FilterBase() = default;

    FilterBase(const FilterBase&) = delete;
    FilterBase& operator=(const FilterBase&) = delete;

    // Processes band i of n; returns the host error code.
    virtual PF_Err filter(int i, int n) = 0;

protected:
    PF_InData* in_data;
    AEGP_SuiteHandler* suites;  // the render's handler, not owned
    Bpc bpc;
    PF_LayerDef* input;   // may be null
    PF_LayerDef* output;  // may be null
};

template <typename P>
class FilterWithParameters : public FilterBase {
public:
    FilterWithParameters(PF_InData* in_data, AEGP_SuiteHandler& suites, Bpc bpc, PF_LayerDef* input,
                         PF_LayerDef* output, P* params)
        : FilterBase(in_data, suites, bpc, input, output), params(params) {}

protected:
    P* params;  // not owned
};

// A per-pixel stage: the band dispatcher picks the depth once per band.
//
// Scratch memory: a band runs on whichever host thread takes it, at the same time as the others,
// so scratch it needs (a row of accumulators, a column buffer) belongs to the band. Size it from
// the band's own rectangle or from the band count n the band is handed, never from a thread count
// asked of the host elsewhere; allocate it once when the band starts, never per row or per pixel;
// and keep it on the band's stack or in a slot indexed by i that the stage sized before iterating.
// Shared state stays read-only while the bands run.
template <typename P>
class Filter : public FilterWithParameters<P> {
public:
    using FilterWithParameters<P>::FilterWithParameters;

    PF_Err filter(int i, int n) override {
        const PF_LayerDef* reference = this->output != nullptr ? this->output : this->input;
        if (reference == nullptr) return PF_Err_NONE;
        // Guards the division below; the host never hands out such a band.
        if (n <= 0 || i < 0 || i >= n) return PF_Err_BAD_CALLBACK_PARAM;
        const Rect<int> area = bandRect(reference->width, reference->height, i, n, by_columns);
        const bool first = i == 0;
        switch (this->bpc) {
            case Bpc8: return filter8(area, first);
            case Bpc16: return filter16(area, first);
            case Bpc32: return filter32(area, first);
        }
        return PF_Err_NONE;
    }

    virtual PF_Err filter8(const Rect<int>& area, bool first) = 0;
    virtual PF_Err filter16(const Rect<int>& area, bool first) = 0;
    virtual PF_Err filter32(const Rect<int>& area, bool first) = 0;

protected:
    bool by_columns = false;
};

// A stage whose arithmetic is the same at every depth writes one band template,
//     template <typename Pixel> PF_Err band(const Rect<int>& area, bool first);
// (public, or with PixelFilter a friend), and derives from PixelFilter<Stage, P>, which
// instantiates it for the three pixel records. Full scale and channel type come from
// PixelTraits<Pixel> (library/utility/pixel.h). Stages whose arithmetic really differs per depth
// (integer tables against direct float) derive from Filter<P> and keep their three methods.
template <typename Stage, typename P>
class PixelFilter : public Filter<P> {
public:
    using Filter<P>::Filter;

    PF_Err filter8(const Rect<int>& area, bool first) final { return stage().template band<PF_Pixel>(area, first); }
    PF_Err filter16(const Rect<int>& area, bool first) final { return stage().template band<PF_Pixel16>(area, first); }
    PF_Err filter32(const Rect<int>& area, bool first) final {
        return stage().template band<PF_PixelFloat>(area, first);
    }

private:
    Stage& stage() { return static_cast<Stage&>(*this); }
};

}  // namespace Morvel::Filter
