#pragma once

// Reading a plug-in's property list, as the host does before it calls the plug-in.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace Sim {

// Why a file cannot be used as a plug-in; the message is one line.
class PluginError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Property {
    std::string vendor;
    std::string key;
    uint32_t id = 0;
    std::vector<uint8_t> data;
};

struct PropertyList {
    uint16_t version = 0;
    std::vector<Property> properties;  // in file order

    // The properties an effect list carries, decoded; absent ones stay empty or zero.
    std::string kind;
    std::string name;
    std::string category;
    std::string entryPoint;
    uint16_t piplMajor = 0, piplMinor = 0;
    uint16_t specMajor = 0, specMinor = 0;
    uint32_t effectVersion = 0;
    uint16_t infoFlags = 0;
    uint32_t outFlags = 0;
    uint32_t outFlags2 = 0;
    std::string matchName;
    uint32_t reservedInfo = 0;

    const Property* find(const std::string& key) const;
};

// Throws PluginError for a list that runs past its bytes, leaves bytes over, or holds a
// property whose data does not fit its kind.
PropertyList decodePropertyList(std::span<const uint8_t> bytes);

// Several lines, one per property, for people to read.
std::string describe(const PropertyList& list);

}  // namespace Sim
