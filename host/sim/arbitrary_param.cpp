#include "host/sim/arbitrary_param.h"

#include <algorithm>

namespace Sim {

ArbitraryParam::ArbitraryParam(Host& host, PF_InData& in_data, int16_t id, ArbitraryHandler handler)
    : host_(host), in_data_(in_data), id_(id), handler_(std::move(handler)) {}

ArbitraryParam::~ArbitraryParam() {
    while (!held_.empty()) dispose(held_.back());
}

PF_Err ArbitraryParam::call(PF_ArbParamsExtra& extra) {
    extra.id = id_;
    PF_OutData out_data{};
    return handler_(&in_data_, &out_data, &extra);
}

PF_Err ArbitraryParam::keep(PF_Err err, PF_ArbitraryH made, PF_ArbitraryH& value, const char* what) {
    value = nullptr;
    if (made == nullptr) {
        if (err == PF_Err_NONE) {
            host_.log().add(std::string("error: ") + what + ": no value and no error");
            return PF_Err_INTERNAL_STRUCT_DAMAGED;
        }
        return err;
    }
    if (!host_.isLiveHandle(made) || std::find(held_.begin(), held_.end(), made) != held_.end()) {
        host_.log().add(std::string("error: ") + what + ": value is not a new host handle");
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    // Even a value that came with an error is the host's now, so it is not lost.
    held_.push_back(made);
    if (err == PF_Err_NONE) value = made;
    return err;
}

PF_Err ArbitraryParam::create(PF_ArbitraryH& value) {
    PF_ArbitraryH made = nullptr;
    PF_ArbParamsExtra extra{};
    extra.which_function = PF_Arbitrary_NEW_FUNC;
    extra.u.new_func_params.arbPH = &made;
    const PF_Err err = call(extra);
    return keep(err, made, value, "new");
}

PF_Err ArbitraryParam::duplicate(PF_ArbitraryH source, PF_ArbitraryH& copy) {
    PF_ArbitraryH made = nullptr;
    PF_ArbParamsExtra extra{};
    extra.which_function = PF_Arbitrary_COPY_FUNC;
    extra.u.copy_func_params.src_arbH = source;
    extra.u.copy_func_params.dst_arbPH = &made;
    const PF_Err err = call(extra);
    return keep(err, made, copy, "copy");
}

PF_Err ArbitraryParam::save(PF_ArbitraryH value, std::vector<char>& flat) {
    flat.clear();
    uint32_t size = UINT32_MAX;
    PF_ArbParamsExtra extra{};
    extra.which_function = PF_Arbitrary_FLAT_SIZE_FUNC;
    extra.u.flat_size_func_params.arbH = value;
    extra.u.flat_size_func_params.flat_data_sizePLu = &size;
    if (PF_Err err = call(extra)) return err;
    if (size == UINT32_MAX || size > kMaxFlatSize) {
        host_.log().add("error: flat size: no size or too large");
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    std::vector<char> buffer(size, static_cast<char>(0xA5));
    extra = PF_ArbParamsExtra{};
    extra.which_function = PF_Arbitrary_FLATTEN_FUNC;
    extra.u.flatten_func_params.arbH = value;
    extra.u.flatten_func_params.buf_sizeLu = size;
    extra.u.flatten_func_params.flat_dataPV = buffer.data();
    if (PF_Err err = call(extra)) return err;
    flat = std::move(buffer);
    return PF_Err_NONE;
}

PF_Err ArbitraryParam::load(const std::vector<char>& flat, PF_ArbitraryH& value) {
    PF_ArbitraryH made = nullptr;
    // The effect gets its own copy, so reading past the end shows under the sanitizers.
    std::vector<char> stored(flat);
    stored.reserve(1);  // an empty block still has an address
    PF_ArbParamsExtra extra{};
    extra.which_function = PF_Arbitrary_UNFLATTEN_FUNC;
    extra.u.unflatten_func_params.buf_sizeLu = static_cast<uint32_t>(stored.size());
    extra.u.unflatten_func_params.flat_dataPV = stored.data();
    extra.u.unflatten_func_params.arbPH = &made;
    const PF_Err err = call(extra);
    return keep(err, made, value, "unflatten");
}

PF_Err ArbitraryParam::interpolate(PF_ArbitraryH left, PF_ArbitraryH right, double t, PF_ArbitraryH& value) {
    PF_ArbitraryH made = nullptr;
    PF_ArbParamsExtra extra{};
    extra.which_function = PF_Arbitrary_INTERP_FUNC;
    extra.u.interp_func_params.left_arbH = left;
    extra.u.interp_func_params.right_arbH = right;
    extra.u.interp_func_params.tF = t;
    extra.u.interp_func_params.interpPH = &made;
    const PF_Err err = call(extra);
    return keep(err, made, value, "interpolate");
}

PF_Err ArbitraryParam::compare(PF_ArbitraryH a, PF_ArbitraryH b, int32_t& result) {
    result = -1;
    PF_ArbParamsExtra extra{};
    extra.which_function = PF_Arbitrary_COMPARE_FUNC;
    extra.u.compare_func_params.a_arbH = a;
    extra.u.compare_func_params.b_arbH = b;
    extra.u.compare_func_params.compareP = &result;
    if (PF_Err err = call(extra)) return err;
    if (result < PF_ArbCompare_EQUAL || result > PF_ArbCompare_NOT_EQUAL) {
        host_.log().add("error: compare: no answer");
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    return PF_Err_NONE;
}

PF_Err ArbitraryParam::dispose(PF_ArbitraryH value) {
    auto found = std::find(held_.begin(), held_.end(), value);
    if (found == held_.end()) {
        host_.log().add("error: dispose: value is not held");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    held_.erase(found);
    PF_ArbParamsExtra extra{};
    extra.which_function = PF_Arbitrary_DISPOSE_FUNC;
    extra.u.dispose_func_params.arbH = value;
    return call(extra);
}

void ArbitraryParam::adopt(PF_ArbitraryH value) {
    if (value != nullptr && std::find(held_.begin(), held_.end(), value) == held_.end()) held_.push_back(value);
}

}  // namespace Sim
