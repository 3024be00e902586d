#include <cstdio>
#include <string>
#include <vector>

#include "host/sim/image_io.h"
#include "host/sim/iterate.h"
#include "host/tool/command.h"
#include "host/tool/output_options.h"

namespace Tool {

namespace {

int image(const std::vector<std::string>& arguments);

std::string imageDetails() {
    return "Options:\n"
           "  --layer NAME           OpenEXR input: the part of that name, or the layer (NAME.R, NAME.G, ...)\n"
           "  --part N               OpenEXR input: the part with index N (from 0)\n" +
           std::string(kOutputOptionsHelp);
}

const std::string kImageDetails = imageDetails();

const Command kImage{"image", "[OPTIONS] IN OUT", "load an image file as a layer and write it out again (.png, .exr)",
                     image, kImageDetails};

struct ImageArguments {
    std::string in, out;
    Sim::ReadOptions read;
    OutputOptions output;
};

// Returns false (after the usage line) when the words do not make a call.
bool parse(const std::vector<std::string>& words, ImageArguments* parsed) {
    std::vector<std::string> files;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.rfind("--", 0) != 0 || word == "--") {
            if (word == "--") {
                files.insert(files.end(), words.begin() + ptrdiff_t(i) + 1, words.end());
                break;
            }
            files.push_back(word);
            continue;
        }
        if (i + 1 == words.size()) throw std::runtime_error(word + " needs a value");
        const std::string& value = words[++i];
        if (word == "--layer") {
            parsed->read.layer = value;
        } else if (word == "--part") {
            parsed->read.part = wholeNumber(word, value, 0, 1 << 20);
        } else if (!takeOutputOption(word, value, parsed->output)) {
            throw std::runtime_error("unknown option '" + word + "' (try morvel image --help)");
        }
    }
    if (files.size() != 2) {
        fail(usage(kImage));
        return false;
    }
    parsed->in = files[0];
    parsed->out = files[1];
    return true;
}

// The path a render takes through the host: file to layer world, host copy into an output world
// of the same depth, output world to file.
int image(const std::vector<std::string>& arguments) {
    ImageArguments call;
    if (!parse(arguments, &call)) return 2;
    Sim::Host host;
    PF_EffectInstance effect;
    effect.host = &host;
    PF_InData in_data{};
    host.fillInData(in_data, &effect);
    Sim::ThreadPool& threads = host.iteration().pool();
    call.read.pool = &threads;
    Sim::WriteOptions& write = call.output.write;
    write.pool = &threads;
    Sim::LoadedImage loaded = Sim::readImage(call.in, call.read);
    write.layout = loaded.layout;
    if (!call.output.exrType.empty()) write.layout.half = call.output.exrType == "half";
    PF_LayerDef* layer = host.worlds().adopt(std::move(loaded.image));
    PF_LayerDef* output = host.worlds().newHostWorld(layer->width, layer->height, layer->pixel_format);
    if (const PF_Err err = in_data.utils->copy(in_data.effect_ref, layer, output, nullptr, nullptr)) {
        return fail("copy failed with error " + std::to_string(err));
    }
    Sim::writeImage(call.out, *output, write);
    std::printf("%d x %d %s\n", output->width, output->height, Sim::formatName(output->pixel_format).c_str());
    return 0;
}

const Registration kRegisterImage(kImage);

}  // namespace

}  // namespace Tool
