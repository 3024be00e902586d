#include "host/sim/host.h"

namespace Sim {

namespace {

PF_Err registerWithHost(AEGP_GlobalRefcon, const char* plugin_name, AEGP_PluginID* plugin_id) {
    Host& host = Host::current();
    if (PF_Err err = host.faults().onCall("AEGP_RegisterWithAEGP")) return err;
    if (plugin_id == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *plugin_id = host.registerPlugin(plugin_name ? plugin_name : "");
    return PF_Err_NONE;
}

const AEGP_UtilitySuite7 kUtilitySuite7 = {registerWithHost};

}  // namespace

void installUtilitySuites(Host& host) {
    host.faults().registerNames({"AEGP_RegisterWithAEGP"});
    host.addSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7, &kUtilitySuite7);
}

}  // namespace Sim
