// morvel render PLUGIN [-i IMAGE] -o OUT [--depth 8|16|32] [--set "Name=value"]...
//                      [--layer "Name=IMAGE"]... [--downsample N] [--threads N]
// Parameter set-up, then one frame of the whole layer through the frame driver.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/sim/image_io.h"
#include "host/sim/iterate.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/tool/builtin_image.h"
#include "host/tool/command.h"

namespace Tool {

namespace {

// A bad command line or value, reported as it stands.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string plugin;
    std::string input;
    std::string output;
    int depth = 8;
    int downsample = 1;
    int threads = 0;  // 0: the machine's
    std::vector<std::pair<std::string, std::string>> settings;
    std::vector<std::pair<std::string, std::string>> layers;
};

int number(const std::string& text, const char* what, int low, int high) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < low || value > high) {
        throw UsageError(std::string(what) + " must be a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return int(value);
}

double real(const std::string& text, const std::string& what) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) throw UsageError(what + ": '" + text + "' is not a number");
    return value;
}

std::vector<double> list(const std::string& text, size_t count, const std::string& what) {
    std::vector<double> values;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        const size_t first = item.find_first_not_of(' ');
        const size_t last = item.find_last_not_of(' ');
        values.push_back(real(first == std::string::npos ? "" : item.substr(first, last - first + 1), what));
    }
    if (values.size() != count) {
        throw UsageError(what + " takes " + std::to_string(count) + " comma-separated numbers, not '" + text + "'");
    }
    return values;
}

std::pair<std::string, std::string> nameAndValue(const std::string& text, const char* option) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError(std::string(option) + " takes \"Name=value\", not '" + text + "'");
    }
    return {text.substr(0, equals), text.substr(equals + 1)};
}

Options parse(const std::vector<std::string>& arguments) {
    Options options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        auto next = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) throw UsageError(word + " needs a value");
            return arguments[++i];
        };
        if (word == "-i") {
            options.input = next();
        } else if (word == "-o") {
            options.output = next();
        } else if (word == "--depth") {
            options.depth = number(next(), "--depth", 8, 32);
            if (Sim::formatOfDepth(options.depth) == 0) throw UsageError("--depth must be 8, 16 or 32");
        } else if (word == "--downsample") {
            options.downsample = number(next(), "--downsample", 1, 64);
        } else if (word == "--threads") {
            options.threads = number(next(), "--threads", 1, 256);
        } else if (word == "--set") {
            options.settings.push_back(nameAndValue(next(), "--set"));
        } else if (word == "--layer") {
            options.layers.push_back(nameAndValue(next(), "--layer"));
        } else if (!word.empty() && word[0] == '-') {
            throw UsageError("unknown option " + word);
        } else if (options.plugin.empty()) {
            options.plugin = word;
        } else {
            throw UsageError("more than one plug-in given ('" + word + "')");
        }
    }
    if (options.plugin.empty()) throw UsageError("no plug-in given");
    if (options.output.empty()) throw UsageError("no output file given (-o OUT)");
    return options;
}

// The registered parameter of that name; the name must be unique, as the user means one.
int findParam(const PF_EffectInstance& effect, const std::string& name) {
    int found = -1;
    for (size_t index = 1; index < effect.registered.size(); ++index) {
        const PF_ParamDef& def = effect.registered[index];
        if (def.param_type == PF_Param_GROUP_START || def.param_type == PF_Param_GROUP_END) continue;
        if (name != def.name) continue;
        if (found >= 0) throw UsageError("more than one parameter is named \"" + name + "\"");
        found = int(index);
    }
    if (found < 0) throw UsageError("the plug-in has no parameter named \"" + name + "\"");
    return found;
}

PF_Fixed toFixed(double value, const std::string& what) {
    if (!(std::fabs(value) < 32768.0)) throw UsageError(what + ": " + std::to_string(value) + " is out of range");
    return PF_Fixed(std::lround(value * 65536.0));
}

uint8_t toByte(double unit) { return uint8_t(unit <= 0 ? 0 : unit >= 1 ? 255 : unit * 255.0 + 0.5); }

// The value record with `text` put in, as the parameter's type reads it.
PF_ParamDef withValue(PF_ParamDef value, const std::string& name, const std::string& text) {
    const std::string what = "\"" + name + "\"";
    PF_ParamDefUnion& u = value.u;
    switch (value.param_type) {
        case PF_Param_SLIDER: u.sd.value = int32_t(std::lround(real(text, what))); break;
        case PF_Param_FIX_SLIDER: u.fd.value = toFixed(real(text, what), what); break;
        case PF_Param_FLOAT_SLIDER: u.fs_d.value = real(text, what); break;
        case PF_Param_ANGLE: u.ad.value = toFixed(real(text, what), what); break;
        case PF_Param_CHECKBOX:
            if (text == "on" || text == "true" || text == "1") {
                u.bd.value = 1;
            } else if (text == "off" || text == "false" || text == "0") {
                u.bd.value = 0;
            } else {
                throw UsageError(what + " is a checkbox: on or off, not '" + text + "'");
            }
            break;
        case PF_Param_POPUP: {
            const int items = std::min<int>(u.pd.num_choices, Sim::menuItemCount(u.pd.namesptr));
            int chosen = 0;
            for (int item = 1; item <= items && chosen == 0; ++item) {
                if (Sim::menuItem(u.pd.namesptr, item) == text) chosen = item;
            }
            if (chosen == 0) {
                char* end = nullptr;
                const long item = std::strtol(text.c_str(), &end, 10);
                if (!text.empty() && *end == '\0' && item >= 1 && item <= items) chosen = int(item);
            }
            if (chosen == 0 || Sim::menuItem(u.pd.namesptr, chosen) == "(-") {
                throw UsageError(what + " has no item '" + text + "' (menu \"" +
                                 (u.pd.namesptr != nullptr ? u.pd.namesptr : "") + "\")");
            }
            u.pd.value = chosen;
            break;
        }
        case PF_Param_COLOR: {
            const std::vector<double> c = list(text, 3, what + " (red, green, blue from 0 to 1)");
            u.cd.value = {255, toByte(c[0]), toByte(c[1]), toByte(c[2])};
            break;
        }
        case PF_Param_POINT: {
            const std::vector<double> p = list(text, 2, what + " (x, y in layer pixels)");
            u.td.x_value = toFixed(p[0], what);
            u.td.y_value = toFixed(p[1], what);
            break;
        }
        case PF_Param_POINT_3D: {
            const std::vector<double> p = list(text, 3, what + " (x, y, z)");
            u.point3d_d.x_value = p[0];
            u.point3d_d.y_value = p[1];
            u.point3d_d.z_value = p[2];
            break;
        }
        case PF_Param_LAYER: throw UsageError(what + " is a layer: set it with --layer");
        default: throw UsageError(what + " cannot be set from the command line");
    }
    return value;
}

Sim::Image readImage(const std::string& path) {
    try {
        return Sim::loadImage(path);
    } catch (const std::exception& error) {
        // The image errors name the file already.
        throw UsageError(error.what());
    }
}

// The output on a layer-sized canvas, transparent where the effect delivered nothing.
Sim::Image canvas(const Sim::FrameResult& frame, const PF_LRect& bounds, PF_PixelFormat format) {
    Sim::Image image(bounds.right - bounds.left, bounds.bottom - bounds.top, format);
    if (!frame.rendered) return image;
    const PF_LayerDef& out = frame.output.def();
    const size_t pixel = Sim::pixelBytes(format);
    for (int32_t y = 0; y < out.height; ++y) {
        const int32_t cy = y + out.origin_y - bounds.top;
        if (cy < 0 || cy >= image.height()) continue;
        for (int32_t x = 0; x < out.width; ++x) {
            const int32_t cx = x + out.origin_x - bounds.left;
            if (cx < 0 || cx >= image.width()) continue;
            std::memcpy(&image.at<unsigned char>(0, cy) + size_t(cx) * pixel,
                        static_cast<const unsigned char*>(out.data) + size_t(y) * out.rowbytes + size_t(x) * pixel,
                        pixel);
        }
    }
    return image;
}

int render(const std::vector<std::string>& arguments);

const Command kRender{"render",
                      "PLUGIN [-i IMAGE] -o OUT [--depth 8|16|32] [--set \"Name=value\"]... [--layer \"Name=IMAGE\"]... "
                      "[--downsample N] [--threads N]",
                      "render one frame of an image (a built-in one without -i) to PNG or EXR",
                      render};

int renderWith(const Options& options) {
    Sim::Host host;
    if (options.threads > 0) {
        host.iteration().setProcessors(options.threads);
        host.iteration().setReportedThreads(options.threads);
    }
    host.iteration().setProgressListener([](Sim::Iteration::Progress progress) {
        std::fprintf(stderr, "progress %d/%d\n", progress.current, progress.total);
    });
    const Sim::Plugin plugin(resolvePlugin(options.plugin));
    Sim::Image source = options.input.empty() ? builtinImage() : readImage(options.input);
    std::vector<Sim::Image> layerImages;
    for (const auto& [name, path] : options.layers) layerImages.push_back(readImage(path));

    PF_Err err = PF_Err_NONE;
    std::string problem;
    std::vector<std::string> violations;
    {
        Sim::PluginInstance instance(host, plugin);
        if ((err = instance.globalSetup())) return fail("global set-up failed with error " + std::to_string(err));
        if ((err = instance.paramSetup())) return fail("parameter set-up failed with error " + std::to_string(err));
        PF_EffectInstance& effect = instance.effect();
        PF_LayerDef* input = host.worlds().adopt(std::move(source));
        effect.inputLayer = input;
        instance.placeOnLayer();
        for (size_t i = 0; i < options.layers.size(); ++i) {
            const int index = findParam(effect, options.layers[i].first);
            if (effect.registered[size_t(index)].param_type != PF_Param_LAYER) {
                throw UsageError("\"" + options.layers[i].first + "\" is not a layer parameter");
            }
            instance.setLayerParam(index, std::move(layerImages[i]));
        }
        for (const auto& [name, text] : options.settings) {
            const int index = findParam(effect, name);
            Sim::setParamValue(effect, index, withValue(Sim::paramValue(effect, index), name, text));
        }

        Sim::FrameRequest request;
        request.depth = options.depth;
        request.downsampleX = request.downsampleY = {1, uint32_t(options.downsample)};
        const Sim::FrameResult frame = instance.renderFrame(request);
        if (frame.err() != PF_Err_NONE) {
            problem = std::string(frame.preRenderErr != PF_Err_NONE ? "smart pre-render" : "smart render") +
                      " failed with error " + std::to_string(frame.err());
        } else {
            const PF_LRect bounds{0, 0, Sim::downsampled(input->width, request.downsampleX),
                                  Sim::downsampled(input->height, request.downsampleY)};
            const Sim::Image picture = canvas(frame, bounds, Sim::formatOfDepth(options.depth));
            Sim::saveImage(options.output, picture.def());
        }
        violations = instance.violations();
    }
    if (!problem.empty()) return fail(problem);
    if (!violations.empty()) return fail(violations.front());
    if (!host.ledger().balanced()) return fail("the plug-in left host resources unreleased: " + host.ledger().report());
    return 0;
}

int render(const std::vector<std::string>& arguments) {
    try {
        return renderWith(parse(arguments));
    } catch (const UsageError& error) {
        return fail(error.what());
    }
}

const Registration kRegisterRender(kRender);

}  // namespace

}  // namespace Tool
