#include <cstdio>
#include <string>
#include <vector>

#include "host/sim/plugin.h"
#include "host/tool/command.h"

namespace Tool {

namespace {

// The global set-up and set-down around the work must leave the host as it was.
int finish(Sim::Host& host, Sim::PluginInstance& instance) {
    instance.globalSetdown();
    if (!instance.violations().empty()) return fail(instance.violations().front());
    if (!host.ledger().balanced()) return fail("the plug-in left host resources unreleased");
    return 0;
}

int about(const std::vector<std::string>& arguments);
int info(const std::vector<std::string>& arguments);

const Command kAbout{"about", "PLUGIN", "print the plug-in's about text", about};
const Command kInfo{"info", "PLUGIN", "print the plug-in's property list", info};

int about(const std::vector<std::string>& arguments) {
    if (!expectArguments(kAbout, arguments, 1)) return 2;
    Sim::Host host;
    const Sim::Plugin plugin(resolvePlugin(arguments[0]));
    Sim::PluginInstance instance(host, plugin);
    if (const PF_Err err = instance.globalSetup())
        return fail("global set-up failed with error " + std::to_string(err));
    if (const PF_Err err = instance.command(PF_Cmd_ABOUT)) {
        instance.globalSetdown();
        return fail("about failed with error " + std::to_string(err));
    }
    // The host's texts break lines with carriage returns.
    std::string text = instance.lastOut().return_msg;
    for (char& c : text) {
        if (c == '\r') c = '\n';
    }
    std::printf("%s\n", printable(text).c_str());
    return finish(host, instance);
}

int info(const std::vector<std::string>& arguments) {
    if (!expectArguments(kInfo, arguments, 1)) return 2;
    const Sim::Plugin plugin(resolvePlugin(arguments[0]));
    std::printf("%s\n%s", printable(plugin.path()).c_str(), printable(Sim::describe(plugin.properties())).c_str());
    std::printf("parameter rows %d\n", static_cast<int>(plugin.record().rows));
    return 0;
}

const Registration kRegisterAbout(kAbout);
const Registration kRegisterInfo(kInfo);

}  // namespace

}  // namespace Tool
