#pragma once

#include <algorithm>
#include <new>
#include <type_traits>

#include "Util/AEGP_SuiteHandler.h"
#include "library/filter/filter.h"
#include "morvel_host/host.h"

namespace Morvel {

// A stage that asks the host for its own thread count uses at most this many bands.
constexpr int kMaxIterateThreads = 32;

// What the host hands back to iterate_generic_func with every iteration.
template <typename T>
struct IterateGenericData {
    bool check_abort;
    PF_InData* in_data;
    T* work;
};

namespace detail {

// Runs one band and turns any exception into the band's error code, so that nothing thrown by
// band work (a missing suite, an allocation) unwinds into the host's threads.
template <typename T>
PF_Err runBand(T& work, int i, int n) noexcept {
    try {
        if constexpr (std::is_base_of_v<Filter::FilterBase, T>) {
            return work.filter(i, n);
        } else {
            return work(i, n);
        }
    } catch (PF_Err err) {
        return err != PF_Err_NONE ? err : PF_Err_INTERNAL_STRUCT_DAMAGED;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}

}  // namespace detail

// The generic-iteration callback: only the host's thread 0 polls for an abort, so the user's
// cancel is seen once per iteration rather than once per band.
template <typename T>
PF_Err iterate_generic_func(void* refcon, int32_t thread_index, int32_t i, int32_t n) {
    auto* data = static_cast<IterateGenericData<T>*>(refcon);
    if (data == nullptr || data->work == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (thread_index == 0 && data->check_abort && data->in_data != nullptr && data->in_data->inter.abort != nullptr) {
        if (PF_Err err = data->in_data->inter.abort(data->in_data->effect_ref)) return err;
    }
    return detail::runBand(*data->work, i, n);
}

// Runs work over bands on the host's threads. threads: 0 asks the host (capped), -1 lets the host
// run one band per processor with abort checks, below 2 runs one band here, otherwise that many
// bands without abort checks.
template <typename T>
PF_Err iterateGeneric(PF_InData* in_data, AEGP_SuiteHandler& suites, T& work, int threads) {
    const bool oncePerProcessor = threads == PF_Iterations_ONCE_PER_PROCESSOR;
    if (threads == 0) {
        int32_t hostThreads = 0;
        const PF_Err err = suites.IterateSuite1()->AEGP_GetNumThreads(&hostThreads);
        threads = std::min<int>(hostThreads, kMaxIterateThreads);
        if (err != PF_Err_NONE) return err;
    }
    if (!oncePerProcessor && threads < 2) return detail::runBand(work, 0, 1);

    IterateGenericData<T> data{oncePerProcessor, in_data, &work};
    const PF_Iterate8Suite1* iterate = suites.Iterate8Suite1();
    return iterate->iterate_generic(oncePerProcessor ? PF_Iterations_ONCE_PER_PROCESSOR : threads, &data,
                                    iterate_generic_func<T>);
}

}  // namespace Morvel
