#include "host/sim/pipl.h"

#include <cstdio>
#include <sstream>

#include "morvel_host/pipl.h"

namespace Sim {

namespace {

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t left() const { return bytes_.size() - at_; }
    void need(size_t n, const char* what) const {
        if (left() < n) throw PluginError(std::string("bad property list: ") + what + " runs past the end");
    }
    uint16_t u16(const char* what) {
        need(2, what);
        const uint16_t v = static_cast<uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
        at_ += 2;
        return v;
    }
    uint32_t u32(const char* what) {
        const uint32_t low = u16(what);
        const uint32_t high = u16(what);
        return low | (high << 16);
    }
    std::string code(const char* what) {
        need(4, what);
        std::string text(reinterpret_cast<const char*>(&bytes_[at_]), 4);
        at_ += 4;
        return text;
    }
    std::vector<uint8_t> take(size_t n, const char* what) {
        need(n, what);
        std::vector<uint8_t> data(bytes_.begin() + static_cast<ptrdiff_t>(at_),
                                  bytes_.begin() + static_cast<ptrdiff_t>(at_ + n));
        at_ += n;
        return data;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

[[noreturn]] void malformed(const std::string& key, const char* why) {
    throw PluginError("bad property list: '" + key + "' " + why);
}

uint16_t short0(const Property& p) { return static_cast<uint16_t>(p.data[0] | (p.data[1] << 8)); }
uint16_t short1(const Property& p) { return static_cast<uint16_t>(p.data[2] | (p.data[3] << 8)); }
uint32_t word(const Property& p) { return static_cast<uint32_t>(short0(p)) | (static_cast<uint32_t>(short1(p)) << 16); }

void needSize(const Property& p, size_t n) {
    if (p.data.size() != n) malformed(p.key, "has the wrong size");
}

std::string lengthPrefixed(const Property& p) {
    if (p.data.empty() || p.data[0] + 1u > p.data.size()) malformed(p.key, "holds a string longer than its data");
    return std::string(reinterpret_cast<const char*>(p.data.data() + 1), p.data[0]);
}

std::string zeroTerminated(const Property& p) {
    for (size_t i = 0; i < p.data.size(); ++i) {
        if (p.data[i] == 0) return std::string(reinterpret_cast<const char*>(p.data.data()), i);
    }
    malformed(p.key, "holds an unterminated string");
}

void decodeKnown(PropertyList& list, const Property& p) {
    const std::string& key = p.key;
    if (key == PiPL_KEY_KIND) {
        needSize(p, 4);
        list.kind.assign(p.data.begin(), p.data.end());
    } else if (key == PiPL_KEY_NAME) {
        list.name = lengthPrefixed(p);
    } else if (key == PiPL_KEY_CATEGORY) {
        list.category = lengthPrefixed(p);
    } else if (key == PiPL_KEY_ENTRY_X64) {
        list.entryPoint = zeroTerminated(p);
    } else if (key == PiPL_KEY_PIPL_VERSION) {
        needSize(p, 4);
        list.piplMajor = short0(p);
        list.piplMinor = short1(p);
    } else if (key == PiPL_KEY_SPEC_VERSION) {
        needSize(p, 4);
        list.specMajor = short0(p);
        list.specMinor = short1(p);
    } else if (key == PiPL_KEY_VERSION) {
        needSize(p, 4);
        list.effectVersion = word(p);
    } else if (key == PiPL_KEY_INFO_FLAGS) {
        needSize(p, 4);
        list.infoFlags = short0(p);
    } else if (key == PiPL_KEY_OUT_FLAGS) {
        needSize(p, 4);
        list.outFlags = word(p);
    } else if (key == PiPL_KEY_OUT_FLAGS2) {
        needSize(p, 4);
        list.outFlags2 = word(p);
    } else if (key == PiPL_KEY_MATCH_NAME) {
        list.matchName = lengthPrefixed(p);
    } else if (key == PiPL_KEY_RESERVED_INFO) {
        needSize(p, 4);
        list.reservedInfo = word(p);
    }
}

std::string hex(uint32_t v, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, v);
    return text;
}

}  // namespace

const Property* PropertyList::find(const std::string& key) const {
    for (const Property& p : properties) {
        if (p.key == key) return &p;
    }
    return nullptr;
}

PropertyList decodePropertyList(std::span<const uint8_t> bytes) {
    Reader in(bytes);
    PropertyList list;
    list.version = in.u16("the header");
    in.u32("the header");
    const uint32_t count = in.u32("the header");
    for (uint32_t i = 0; i < count; ++i) {
        Property p;
        p.vendor = in.code("a property header");
        p.key = in.code("a property header");
        p.id = in.u32("a property header");
        const uint32_t length = in.u32("a property header");
        p.data = in.take(length, "a property's data");
        // Data is padded to whole words; the recorded length includes the padding.
        if (length % 4 != 0) malformed(p.key, "has a length that is not a multiple of 4");
        decodeKnown(list, p);
        list.properties.push_back(std::move(p));
    }
    if (in.left() != 0) throw PluginError("bad property list: bytes left over after the last property");
    return list;
}

std::string describe(const PropertyList& list) {
    const uint32_t v = list.effectVersion;
    std::ostringstream out;
    out << "kind           " << list.kind << (list.kind == PiPL_KIND_EFFECT ? " (effect)" : "") << "\n";
    out << "name           " << list.name << "\n";
    out << "category       " << list.category << "\n";
    out << "entry point    " << list.entryPoint << "\n";
    out << "list version   " << list.piplMajor << "." << list.piplMinor << "\n";
    out << "interface      " << list.specMajor << "." << list.specMinor << "\n";
    out << "version        " << ((v >> 19) & 7) << "." << ((v >> 15) & 15) << "." << ((v >> 11) & 15) << " stage "
        << ((v >> 9) & 3) << " build " << (v & 0x1FF) << " (" << hex(v, 8) << ")\n";
    out << "info flags     " << hex(list.infoFlags, 4) << "\n";
    out << "out flags      " << hex(list.outFlags, 8) << "\n";
    out << "out flags 2    " << hex(list.outFlags2, 8) << "\n";
    out << "match name     " << list.matchName << "\n";
    out << "reserved info  " << list.reservedInfo << "\n";
    return out.str();
}

}  // namespace Sim
