// morvel render PLUGIN [-i IMAGE] -o OUT [--depth 8|16|32] [--set "Name=value"]...
//                      [--layer "Name=IMAGE"]... [--downsample N] [--threads N] [--progress]
//                      [output options]
// Everything the command line says is checked first; then parameter set-up and one frame of the
// whole layer through the frame driver.

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/sim/drawing.h"
#include "host/sim/image_io.h"
#include "host/sim/iterate.h"
#include "host/sim/params.h"
#include "host/sim/plugin.h"
#include "host/sim/windows.h"
#include "host/tool/builtin_image.h"
#include "host/tool/command.h"
#include "host/tool/output_options.h"
#include "host/tool/text_param.h"

namespace Tool {

namespace {

// A bad command line or value, reported as it stands.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The built-in picture is float, but renders at 8 bits unless told: the depth it always had.
constexpr int kBuiltinDepth = 8;

struct Options {
    std::string plugin;
    std::string input;
    std::string output;
    int depth = 0;  // 0: the input's
    int downsample = 1;
    int threads = 0;  // 0: the machine's
    bool progress = false;
    OutputOptions written;
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
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        throw UsageError(what + ": '" + text + "' is not a number");
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
        } else if (word == "--progress") {
            options.progress = true;
        } else if (word == "--set") {
            options.settings.push_back(nameAndValue(next(), "--set"));
        } else if (word == "--layer") {
            options.layers.push_back(nameAndValue(next(), "--layer"));
        } else if (isOutputOption(word)) {
            takeOutputOption(word, next(), options.written);
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

std::string shortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// A value within a parameter's valid range, as the host's controls keep it.
double within(double value, double low, double high, const std::string& what, const std::string& text) {
    if (value < low || value > high) {
        throw UsageError(what + " must be from " + shortNumber(low) + " to " + shortNumber(high) + ", not " + text);
    }
    return value;
}

PF_Fixed toFixed(double value, const std::string& what) {
    if (!(std::fabs(value) < 32768.0)) throw UsageError(what + ": " + shortNumber(value) + " is out of range");
    return PF_Fixed(std::lround(value * 65536.0));
}

double fromFixed(PF_Fixed value) { return value / 65536.0; }

uint8_t toByte(double unit) { return uint8_t(std::lround(unit * 255.0)); }

// The value record with `text` put in, as the parameter's type reads it.
PF_ParamDef withValue(const PF_ParamDef& def, PF_ParamDef value, const std::string& text) {
    const std::string what = "\"" + std::string(def.name) + "\"";
    PF_ParamDefUnion& u = value.u;
    switch (value.param_type) {
        case PF_Param_SLIDER: {
            const double whole = real(text, what);
            if (whole != std::floor(whole)) throw UsageError(what + " takes a whole number, not " + text);
            u.sd.value = int32_t(within(whole, def.u.sd.valid_min, def.u.sd.valid_max, what, text));
            break;
        }
        case PF_Param_FIX_SLIDER:
            u.fd.value = toFixed(real(text, what), what);
            within(fromFixed(u.fd.value), fromFixed(def.u.fd.valid_min), fromFixed(def.u.fd.valid_max), what, text);
            break;
        case PF_Param_FLOAT_SLIDER:
            // The range is kept in floats: a bound typed as shown (0.7) is within it.
            u.fs_d.value = real(text, what);
            within(float(u.fs_d.value), def.u.fs_d.valid_min, def.u.fs_d.valid_max, what, text);
            break;
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
            for (const double component : c) {
                if (component < 0.0 || component > 1.0) {
                    throw UsageError(what + ": red, green and blue must each be from 0 to 1, not " + text);
                }
            }
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

// How the effect draws the parameter's control in the effect-controls window: the alpha of the
// text it draws, or a negative value when it draws none.
double drawnTextAlpha(Sim::PluginInstance& instance, int index) {
    const PF_EffectInstance& effect = instance.effect();
    if (!effect.customUIRegistered || (effect.customUI.events & PF_CustomEFlag_EFFECT) == 0) return -1.0;
    Sim::EffectControlsWindow controls(*effect.host);
    PF_EventExtra event = controls.drawEvent(index, PF_Rect{0, 0, 299, 20});
    if (Sim::sendEvent(instance, event) != PF_Err_NONE) return -1.0;
    const std::vector<Sim::DrawCall> strings = controls.calls("DrawString");
    return strings.empty() || strings.front().numbers.size() < 4 ? -1.0 : strings.front().numbers[3];
}

// A text parameter set to `text`. Whether the text means anything is the effect's to say; the
// colour expressions show it in their control, drawing text they cannot parse dimmed. The empty
// text, which they never judge, gives the undimmed alpha to compare with.
void setText(Sim::PluginInstance& instance, int index, const TextBlock& shape, const std::string& text) {
    storeText(instance, index, shape, "");
    const double plain = drawnTextAlpha(instance, index);
    storeText(instance, index, shape, text);
    const double drawn = drawnTextAlpha(instance, index);
    if (plain >= 0.0 && drawn >= 0.0 && drawn < plain) {
        throw UsageError("\"" + std::string(instance.effect().registered[size_t(index)].name) + "\": the plug-in " +
                         "does not accept '" + text + "'");
    }
}

void applySetting(Sim::PluginInstance& instance, const std::string& name, const std::string& text) {
    PF_EffectInstance& effect = instance.effect();
    const int index = findParam(effect, name);
    const PF_ParamDef& def = effect.registered[size_t(index)];
    if (def.param_type == PF_Param_ARBITRARY_DATA) {
        const std::optional<TextBlock> shape = defaultTextBlock(instance, index);
        if (!shape) throw UsageError("\"" + name + "\" cannot be set from the command line");
        try {
            setText(instance, index, *shape, text);
        } catch (const UsageError&) {
            throw;
        } catch (const std::exception& error) {
            throw UsageError(error.what());
        }
        return;
    }
    Sim::setParamValue(effect, index, withValue(def, Sim::paramValue(effect, index), text));
}

Sim::LoadedImage readImage(const std::string& path) {
    try {
        return Sim::readImage(path);
    } catch (const std::exception& error) {
        // The image errors name the file already.
        throw UsageError(error.what());
    }
}

int depthOf(PF_PixelFormat format) {
    switch (format) {
        case PF_PixelFormat_ARGB64: return 16;
        case PF_PixelFormat_ARGB128: return 32;
        default: return 8;
    }
}

std::string depthName(int depth) { return depth == 32 ? "32-bit float" : std::to_string(depth) + "-bit"; }

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

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The effect's progress reports on standard error: on a terminal one line rewritten in place (at
// most ten times a second), elsewhere a line per report when asked for, else nothing.
class ProgressReport {
public:
    ProgressReport(Clock::time_point start, bool lines)
        : start_(start), inPlace_(::isatty(STDERR_FILENO) != 0), lines_(lines) {}
    ~ProgressReport() { clear(); }
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    void operator()(Sim::Iteration::Progress progress) {
        if (!inPlace_ && !lines_) return;
        const Clock::time_point now = Clock::now();
        if (inPlace_ && shown_ > 0 && now - lastShown_ < std::chrono::milliseconds(100)) return;
        lastShown_ = now;
        const int percent = progress.total > 0 ? int(100.0 * progress.current / progress.total) : 0;
        char text[96];
        const int length = std::snprintf(text, sizeof text, "progress %d/%d  %d%%  %.1f s", progress.current,
                                         progress.total, percent, secondsSince(start_));
        if (inPlace_) {
            // Spaces cover what is left of a longer line before it.
            std::fprintf(stderr, "\r%s%*s", text, std::max(0, shown_ - length), "");
            shown_ = std::max(shown_, length);
        } else {
            std::fprintf(stderr, "%s\n", text);
        }
        std::fflush(stderr);
    }

    // Takes the line away, so that what follows starts on a clean line.
    void clear() {
        if (!inPlace_ || shown_ == 0) return;
        std::fprintf(stderr, "\r%*s\r", shown_, "");
        std::fflush(stderr);
        shown_ = 0;
    }

private:
    Clock::time_point start_;
    bool inPlace_;
    bool lines_;
    int shown_ = 0;  // the longest line shown in place
    Clock::time_point lastShown_{};
};

int render(const std::vector<std::string>& arguments);

const std::string kRenderDetails =
    "Options:\n"
    "  -i IMAGE               the picture: a PNG (8 or 16 bits) or OpenEXR file; without it, a built-in\n"
    "                         picture of lights, 240 x 160\n"
    "  -o OUT                 the output, .png or .exr; checked before the render\n"
    "  --depth 8|16|32        bits per channel of the render; by default the input's: 8 for an 8-bit\n"
    "                         PNG, 16 for a 16-bit PNG, 32 (float) for OpenEXR, 8 for the built-in picture\n"
    "  --set \"Name=value\"     a parameter's value; morvel params PLUGIN lists the names, defaults and\n"
    "                         valid ranges\n"
    "  --layer \"Name=IMAGE\"   a layer parameter's picture\n"
    "  --downsample N         render at 1/N of the picture's size in each direction, as a host's preview\n"
    "                         does: N from 1 to 64 and at most the picture's shorter side; default 1\n"
    "  --threads N            the threads the host renders on and tells the effect of; default one per\n"
    "                         processor\n"
    "  --progress             a progress line per report on standard error even when it is not a terminal\n" +
    std::string(kOutputOptionsHelp) +
    "\nValues of --set, by the parameter's kind:\n"
    "  slider                 a number within the valid range (whole for a plain slider)\n"
    "  angle                  degrees\n"
    "  popup                  an item's text or its number from 1\n"
    "  checkbox               on or off\n"
    "  color                  r,g,b, each from 0 to 1\n"
    "  point                  x,y in layer pixels at full size, from the top-left corner\n"
    "  3D point               x,y,z\n"
    "  colour expression      the expression's text, e.g. \"Custom Channel=r*g\"\n"
    "\nProgress: on a terminal one line on standard error, updated in place (done/total, percent,\n"
    "elapsed); elsewhere nothing unless --progress. Last, on standard output:\n"
    "wrote OUT (W x H, depth, seconds).\n";

const Command kRender{
    "render",
    "PLUGIN [-i IMAGE] -o OUT [--depth 8|16|32] [--set \"Name=value\"]... [--layer \"Name=IMAGE\"]... "
    "[--downsample N] [--threads N] [--progress] [output options]",
    "render one frame of an image (a built-in one without -i) to PNG or EXR", render, kRenderDetails};

int renderWith(const Options& options) {
    const Clock::time_point start = Clock::now();
    Sim::Host host;
    if (options.threads > 0) {
        host.iteration().setProcessors(options.threads);
        host.iteration().setReportedThreads(options.threads);
    }
    Sim::WriteOptions write = options.written.write;
    // Taken after the thread count is set, which makes a new pool.
    write.pool = &host.iteration().pool();
    try {
        Sim::checkImageOutput(options.output, write);
    } catch (const std::exception& error) {
        throw UsageError(error.what());
    }
    ProgressReport progress(start, options.progress);
    host.iteration().setProgressListener([&progress](Sim::Iteration::Progress report) { progress(report); });
    Sim::LoadedImage source = options.input.empty() ? Sim::LoadedImage{builtinImage(), {}} : readImage(options.input);
    const int depth = options.depth != 0      ? options.depth
                      : options.input.empty() ? kBuiltinDepth
                                              : depthOf(source.image.format());
    const int32_t shorter = std::min(source.image.width(), source.image.height());
    if (options.downsample > shorter) {
        throw UsageError("--downsample " + std::to_string(options.downsample) + " is larger than a side of the " +
                         std::to_string(source.image.width()) + " x " + std::to_string(source.image.height()) +
                         " input; at most " + std::to_string(shorter));
    }
    write.layout.half = options.written.exrType.empty() ? source.layout.half : options.written.exrType == "half";
    std::vector<Sim::Image> layerImages;
    for (const auto& [name, path] : options.layers) layerImages.push_back(readImage(path).image);
    const Sim::Plugin plugin(resolvePlugin(options.plugin));

    PF_Err err = PF_Err_NONE;
    std::string problem;
    std::string summary;
    std::vector<std::string> violations;
    {
        Sim::PluginInstance instance(host, plugin);
        if ((err = instance.globalSetup())) return fail("global set-up failed with error " + std::to_string(err));
        if ((err = instance.paramSetup())) return fail("parameter set-up failed with error " + std::to_string(err));
        PF_EffectInstance& effect = instance.effect();
        PF_LayerDef* input = host.worlds().adopt(std::move(source.image));
        effect.inputLayer = input;
        instance.placeOnLayer();
        for (size_t i = 0; i < options.layers.size(); ++i) {
            const int index = findParam(effect, options.layers[i].first);
            if (effect.registered[size_t(index)].param_type != PF_Param_LAYER) {
                throw UsageError("\"" + options.layers[i].first + "\" is not a layer parameter");
            }
            instance.setLayerParam(index, std::move(layerImages[i]));
        }
        for (const auto& [name, text] : options.settings) applySetting(instance, name, text);

        Sim::FrameRequest request;
        request.depth = depth;
        request.downsampleX = request.downsampleY = {1, uint32_t(options.downsample)};
        const Sim::FrameResult frame = instance.renderFrame(request);
        progress.clear();
        if (frame.err() != PF_Err_NONE) {
            problem = std::string(frame.preRenderErr != PF_Err_NONE ? "smart pre-render" : "smart render") +
                      " failed with error " + std::to_string(frame.err());
        } else {
            const PF_LRect bounds{0, 0, Sim::downsampled(input->width, request.downsampleX),
                                  Sim::downsampled(input->height, request.downsampleY)};
            const Sim::Image picture = canvas(frame, bounds, Sim::formatOfDepth(depth));
            Sim::writeImage(options.output, picture.def(), write);
            char line[64];
            std::snprintf(line, sizeof line, " (%d x %d, %s, %.2f s)", picture.width(), picture.height(),
                          depthName(depth).c_str(), secondsSince(start));
            summary = "wrote " + printable(options.output, false) + line;
        }
        violations = instance.violations();
    }
    if (!problem.empty()) return fail(problem);
    if (!violations.empty()) return fail(violations.front());
    if (!host.ledger().balanced()) return fail("the plug-in left host resources unreleased: " + host.ledger().report());
    std::printf("%s\n", summary.c_str());
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
