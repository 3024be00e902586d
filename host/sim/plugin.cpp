#include "host/sim/plugin.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/sim/arbitrary_param.h"
#include "host/sim/params.h"
#include "host/sim/worlds.h"
#include "morvel_host/pipl.h"

namespace Sim {

namespace {

// Far beyond any plug-in; a bigger file is not read at all.
constexpr uint64_t kMaxPluginFileSize = uint64_t(1) << 30;
constexpr uint64_t kMaxPropertyListSize = 1 << 16;

bool fits(uint64_t fileSize, uint64_t offset, uint64_t size) { return offset <= fileSize && size <= fileSize - offset; }

PluginError notAPlugin(const std::string& why) { return PluginError("not a plug-in (" + why + ")"); }

// Whether the address lies in a loaded segment the processor may execute: a property list that
// names a data symbol as the entry must not get it called.
bool inExecutableSegment(const void* address) {
    struct Search {
        uintptr_t address;
        bool found;
    } search{reinterpret_cast<uintptr_t>(address), false};
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* raw) {
            auto* s = static_cast<Search*>(raw);
            for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0) continue;
                const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                if (s->address >= start && s->address - start < segment.p_memsz) {
                    s->found = true;
                    return 1;
                }
            }
            return 0;
        },
        &search);
    return search.found;
}

// The file, read only where it is asked for: a plug-in with debug information is tens of
// megabytes, of which the headers and one section are wanted.
class SectionReader {
public:
    SectionReader(const std::string& path, uint64_t* bytesRead) : bytesRead_(bytesRead) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) throw PluginError("cannot read: " + std::string(std::strerror(errno)));
        struct stat status {};
        // The file opened may not be the one looked at before.
        const bool regular = ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
        size_ = static_cast<uint64_t>(status.st_size);
        if (!regular || size_ > kMaxPluginFileSize) {
            ::close(fd_);
            throw notAPlugin(regular ? "file too large" : "not a regular file");
        }
    }
    ~SectionReader() { ::close(fd_); }
    SectionReader(const SectionReader&) = delete;
    SectionReader& operator=(const SectionReader&) = delete;

    uint64_t size() const { return size_; }

    // Bytes the caller has checked against size(); a file cut short meanwhile is refused.
    void read(uint64_t offset, void* out, size_t count) {
        auto* bytes = static_cast<unsigned char*>(out);
        while (count > 0) {
            const ssize_t got = ::pread(fd_, bytes, count, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw PluginError("cannot read: " + std::string(std::strerror(errno)));
            if (got == 0) throw notAPlugin("file changed while read");
            if (bytesRead_ != nullptr) *bytesRead_ += uint64_t(got);
            bytes += got;
            offset += uint64_t(got);
            count -= size_t(got);
        }
    }

    template <class T>
    T readAt(uint64_t offset) {
        T value;
        read(offset, &value, sizeof value);
        return value;
    }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t* bytesRead_;
};

}  // namespace

std::vector<uint8_t> readPropertyListSection(const std::string& path, uint64_t* bytesRead) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) throw PluginError("no such file");
        throw PluginError(std::string("cannot read: ") + std::strerror(errno));
    }
    // Checked before opening: opening a FIFO would wait for a writer.
    if (!S_ISREG(status.st_mode)) throw notAPlugin("not a regular file");
    if (static_cast<uint64_t>(status.st_size) > kMaxPluginFileSize) throw notAPlugin("file too large");

    SectionReader file(path, bytesRead);
    Elf64_Ehdr header{};
    if (file.size() < sizeof header) throw notAPlugin("not a shared library");
    file.read(0, &header, sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) throw notAPlugin("not a shared library");
    if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB) {
        throw notAPlugin("not a 64-bit little-endian library");
    }
    if (header.e_type != ET_DYN) throw notAPlugin("not a shared library");
    if (header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shstrndx >= header.e_shnum ||
        !fits(file.size(), header.e_shoff, uint64_t(header.e_shnum) * sizeof(Elf64_Shdr))) {
        throw notAPlugin("damaged section table");
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    file.read(header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr));
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    if (!fits(file.size(), names.sh_offset, names.sh_size)) throw notAPlugin("damaged section names");

    const std::string wanted = MORVEL_PIPL_SECTION;
    std::vector<char> name(wanted.size() + 1);
    for (const Elf64_Shdr& candidate : sections) {
        if (candidate.sh_name >= names.sh_size || names.sh_size - candidate.sh_name < name.size()) continue;
        file.read(names.sh_offset + candidate.sh_name, name.data(), name.size());
        if (std::memcmp(name.data(), wanted.c_str(), name.size()) != 0) continue;
        if (candidate.sh_type != SHT_PROGBITS || candidate.sh_size > kMaxPropertyListSize ||
            !fits(file.size(), candidate.sh_offset, candidate.sh_size)) {
            throw notAPlugin("damaged property list section");
        }
        std::vector<uint8_t> list(candidate.sh_size);
        file.read(candidate.sh_offset, list.data(), list.size());
        return list;
    }
    throw notAPlugin("no property list");
}

Plugin::Plugin(const std::string& path) : path_(path) {
    // Without a slash the loader would search the library path instead of opening this file.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    try {
        propertyListBytes_ = readPropertyListSection(openPath);
        properties_ = decodePropertyList(propertyListBytes_);
    } catch (const PluginError& error) {
        throw PluginError(path + ": " + error.what());
    }
    if (properties_.kind != PiPL_KIND_EFFECT) {
        throw PluginError(path + ": not an effect plug-in (kind '" + properties_.kind + "')");
    }
    if (properties_.entryPoint.empty())
        throw PluginError(path + ": not a plug-in (its property list names no entry point)");

    library_ = ::dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* why = ::dlerror();
        throw PluginError(path + ": cannot load: " + (why != nullptr ? why : "unknown reason"));
    }
    auto refuse = [&](const std::string& why) {
        ::dlclose(library_);
        library_ = nullptr;
        throw PluginError(path + ": not a plug-in (" + why + ")");
    };
    entry_ = reinterpret_cast<PF_EntryPointFunc>(::dlsym(library_, properties_.entryPoint.c_str()));
    if (entry_ == nullptr) refuse("no " + properties_.entryPoint);
    if (!inExecutableSegment(reinterpret_cast<const void*>(entry_))) {
        refuse("its entry point " + properties_.entryPoint + " is not code");
    }
    void* record = ::dlsym(library_, "MPluginInfo");
    if (record == nullptr) refuse("no MPluginInfo");
    Dl_info info{};
    void* symbolEntry = nullptr;
    const bool described = ::dladdr1(record, &info, &symbolEntry, RTLD_DL_SYMENT) != 0;
    const auto* symbol = static_cast<const ElfW(Sym)*>(symbolEntry);
    if (!described || symbol == nullptr || symbol->st_size != sizeof(PluginRecord)) {
        refuse("MPluginInfo is not a 40-byte record");
    }
    record_ = static_cast<const PluginRecord*>(record);
    if (record_->rows < 0 || (record_->rows > 0 && record_->table == nullptr)) {
        refuse("MPluginInfo has a bad parameter table");
    }
}

Plugin::~Plugin() {
    if (library_ != nullptr) ::dlclose(library_);
}

std::string builtPluginPath(const std::string& name) { return std::string(MORVEL_PLUGIN_DIR) + "/" + name + ".so"; }

// ---------------------------------------------------------------- PluginInstance

PluginInstance::PluginInstance(Host& host, const Plugin& plugin)
    : PluginInstance(host, plugin.entry(), plugin.properties().name) {}

PluginInstance::PluginInstance(Host& host, PF_EntryPointFunc entry, const std::string& name)
    : host_(host), entry_(entry), name_(name) {
    effect_.host = &host;
    host_.fillInData(arbitraryInData_, &effect_);
}

PluginInstance::~PluginInstance() {
    try {
        // Values go back to the effect that made them while it is still set up.
        host_.project().unlink(effect_);
        effect_.arbitrary.clear();
        arbitrary_.clear();
        endFrame(host_, effect_);
        if (ownInput_ != nullptr) {
            if (effect_.inputLayer == ownInput_) effect_.inputLayer = nullptr;
            host_.worlds().drop(ownInput_);
        }
        for (PF_LayerDef* image : layerImages_) host_.worlds().drop(image);
        globalSetdown();
    } catch (...) {
    }
}

PF_Err PluginInstance::enter(PF_Cmd cmd, PF_InData& in_data, PF_OutData& out_data, PF_ParamDef** params,
                             PF_LayerDef* output, void* extra) {
    try {
        return entry_(cmd, &in_data, &out_data, params, output, extra);
    } catch (...) {
        violation("command " + std::to_string(cmd) + ": an exception left the entry point");
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}

PF_Err PluginInstance::call(PF_Cmd cmd, PF_OutData& out_data, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
    PF_InData in_data;
    host_.fillInData(in_data, &effect_);
    in_data.global_data = globalData_;
    if (effect_.inputLayer != nullptr) {
        in_data.width = effect_.inputLayer->width;
        in_data.height = effect_.inputLayer->height;
    }
    if (effect_.frame.active) {
        in_data.downsample_x = effect_.frame.downsampleX;
        in_data.downsample_y = effect_.frame.downsampleY;
    }
    const PF_Err err = enter(cmd, in_data, out_data, params, output, extra);
    check(cmd, out_data);
    return err;
}

void PluginInstance::check(PF_Cmd cmd, PF_OutData& out_data) {
    if (std::memchr(out_data.return_msg, '\0', sizeof out_data.return_msg) == nullptr) {
        violation("command " + std::to_string(cmd) + ": return message not terminated within " +
                  std::to_string(sizeof out_data.return_msg) + " bytes");
        out_data.return_msg[sizeof out_data.return_msg - 1] = '\0';
    }
}

PF_Err PluginInstance::globalSetup() {
    if (setUp_) throw std::logic_error("global set-up runs once per instance");
    PF_OutData out{};
    const AEGP_PluginID before = host_.lastPluginId();
    const PF_Err err = call(PF_Cmd_GLOBAL_SETUP, out, nullptr, nullptr, nullptr);
    const AEGP_PluginID registered = host_.lastPluginId();
    if (registered == before + 1) {
        effect_.pluginId = registered;
    } else if (registered > before + 1) {
        violation("global set-up: registered with the host more than once");
    }
    setupOut_ = out;
    lastOut_ = out;
    if (out.global_data != nullptr) {
        if (!host_.isLiveHandle(out.global_data)) {
            violation("global set-up: global data is not a host handle");
        } else if (err != PF_Err_NONE) {
            violation("global set-up: global data handed back with error " + std::to_string(err));
        } else {
            globalData_ = out.global_data;
        }
    }
    arbitraryInData_.global_data = globalData_;
    setUp_ = err == PF_Err_NONE;
    return err;
}

PF_Err PluginInstance::paramSetup() {
    if (!effect_.registered.empty()) throw std::logic_error("parameter set-up runs once per instance");
    PF_Err err = command(PF_Cmd_PARAMS_SETUP);
    const size_t registered = effect_.registered.size();
    // A set-up that failed may report the count it meant to register.
    if (err == PF_Err_NONE && registered != 0 && lastOut_.num_params != static_cast<int32_t>(registered)) {
        violation("parameter set-up: " + std::to_string(lastOut_.num_params) + " parameters reported, " +
                  std::to_string(registered) + " registered");
    }
    for (size_t index = 1; index < registered; ++index) {
        PF_ParamDef& def = effect_.registered[index];
        if (def.param_type != PF_Param_ARBITRARY_DATA) continue;
        const auto at = static_cast<int32_t>(index);
        auto owner = std::make_unique<ArbitraryParam>(
            host_, arbitraryInData_, def.u.arb_d.id, [this](PF_InData* in, PF_OutData* out, PF_ArbParamsExtra* extra) {
                in->global_data = globalData_;
                return enter(PF_Cmd_ARBITRARY_CALLBACK, *in, *out, nullptr, nullptr, extra);
            });
        PF_ArbitraryH value = nullptr;
        PF_Handle dephault = def.u.arb_d.dephault;
        PF_Err made = PF_Err_NONE;
        if (dephault != nullptr && host_.isLiveHandle(dephault)) {
            owner->adopt(dephault);
            made = owner->duplicate(dephault, value);
        } else {
            if (dephault != nullptr) violation("parameter set-up: a default is not a host handle");
            def.u.arb_d.dephault = nullptr;
            made = owner->create(value);
        }
        // The effect's own failure to make the value is the set-up's result, as the host reports it.
        if (made != PF_Err_NONE) {
            value = nullptr;
            if (err == PF_Err_NONE) err = made;
        } else if (value == nullptr) {
            violation("parameter set-up: no value for parameter " + std::to_string(at));
        }
        PF_ParamDef& current = paramValue(effect_, at);
        current.u.arb_d.dephault = def.u.arb_d.dephault;
        current.u.arb_d.value = value;
        effect_.arbitrary[at] = owner.get();
        arbitrary_[at] = std::move(owner);
    }
    return err;
}

ProjectEffect& PluginInstance::placeOnLayer(AEGP_ObjectType type, int32_t width, int32_t height,
                                            PF_PixelFormat format) {
    if (effect_.projectEffect != nullptr) throw std::logic_error("the instance is on a layer already");
    if (effect_.inputLayer == nullptr) {
        ownInput_ = host_.worlds().newHostWorld(width, height, format);
        effect_.inputLayer = ownInput_;
    }
    // Point defaults are percent of the layer; the values start where they point.
    for (size_t index = 1; index < effect_.registered.size() && index < effect_.values.size(); ++index) {
        const PF_ParamDef& def = effect_.registered[index];
        if (def.param_type != PF_Param_POINT) continue;
        PF_PointDef& point = effect_.values[index].u.td;
        point.x_value = PF_Fixed(int64_t(def.u.td.x_dephault) * effect_.inputLayer->width / 100);
        point.y_value = PF_Fixed(int64_t(def.u.td.y_dephault) * effect_.inputLayer->height / 100);
    }
    std::u16string name(name_.begin(), name_.end());
    return host_.project().adopt(effect_, name, type);
}

void PluginInstance::setContentBounds(const PF_LRect& content) {
    effect_.hasContentBounds = true;
    effect_.contentBounds = content;
}

void PluginInstance::setLayerParam(int index, Image image) {
    if (index < 1 || size_t(index) >= effect_.values.size() ||
        effect_.values[size_t(index)].param_type != PF_Param_LAYER) {
        throw std::invalid_argument("parameter " + std::to_string(index) + " is not a layer parameter");
    }
    PF_LayerDef* world = host_.worlds().adopt(std::move(image));
    layerImages_.push_back(world);
    PF_LayerDef& value = effect_.values[size_t(index)].u.ld;
    const int32_t dephault = value.dephault;
    value = *world;
    value.dephault = dephault;
}

ProjectLayer* PluginInstance::layer() {
    return effect_.projectEffect != nullptr ? effect_.projectEffect->layer : nullptr;
}

ArbitraryParam* PluginInstance::arbitrary(int index) {
    auto found = arbitrary_.find(index);
    return found != arbitrary_.end() ? found->second.get() : nullptr;
}

size_t PluginInstance::heldForParameters() const {
    size_t held = 0;
    for (const auto& [index, owner] : arbitrary_) held += owner->held();
    return held;
}

PF_Err PluginInstance::globalSetdown() {
    if (!setUp_) return PF_Err_NONE;
    PF_OutData out{};
    out.global_data = globalData_;
    const PF_Err err = call(PF_Cmd_GLOBAL_SETDOWN, out, nullptr, nullptr, nullptr);
    lastOut_ = out;
    if (globalData_ != nullptr && host_.isLiveHandle(globalData_)) {
        violation("global set-down: global data not disposed");
    }
    globalData_ = nullptr;
    setUp_ = false;
    return err;
}

PF_Err PluginInstance::run(PF_Cmd cmd, PF_OutData& out_data, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
    return call(cmd, out_data, params, output, extra);
}

PF_Err PluginInstance::command(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
    lastOut_ = PF_OutData{};
    lastOut_.global_data = globalData_;
    return call(cmd, lastOut_, params, output, extra);
}

void PluginInstance::violation(std::string what) {
    host_.log().add("problem: " + what);
    violations_.push_back(std::move(what));
}

bool PluginInstance::commandScopeBalanced() const {
    const Ledger& ledger = host_.ledger();
    const size_t kept =
        (globalData_ != nullptr && ledger.holds("handle", Ledger::keyOf(globalData_)) ? 1 : 0) + heldForParameters();
    return ledger.badReleases() == 0 && ledger.outstanding() == kept;
}

std::string PluginInstance::ledgerReport() const { return host_.ledger().report(); }

}  // namespace Sim
