#include "host/sim/script.h"

#include <atomic>
#include <cstring>

#include "host/sim/project.h"

namespace Sim {

namespace {

std::atomic<ScriptEngine*> currentEngine{nullptr};

// The dialog as the effects build it: these three pieces with the escaped title and field text
// between them.
const std::string kDialogHead =
    "(function () { function createDialog() {    function textOnChange() {      if (this.text.length > 500) {"
    "        this.text = this.text.slice(0, 500);      }    }    function createOutput() {      var text = ok ? "
    "'1' + ui.text.text : '0';      return text;    }    var w = new Window('dialog', '";
const std::string kDialogMiddle =
    "', undefined);    w.margins = 10;    w.alignChildren = ['fill', 'center'];    var ui = {},    ok = false;"
    "    var path_group = w.add('group');    path_group.add('statictext', [0, 0, 60, 20], 'Expression: ');"
    "    ui.text = path_group.add('edittext', [0, 0, 240, 20], '";
const std::string kDialogTail =
    "');    ui.text.onChange = textOnChange;    var button_group = w.add('group');    button_group.alignChildren"
    " = ['fill', 'top'];    ui.ok = button_group.add('button', undefined, 'OK', {name: 'ok'});    ui.ok.onClick ="
    " function () {      ok = true;      w.close(1);    };    ui.cancel = button_group.add('button', undefined, "
    "'Cancel', {name: 'cancel'});    ui.cancel.onClick = function () {      ok = false;      w.close(1);    };"
    "    w.onShow = function () {      ui.text.active = true;    }    w.center();    w.show();    return "
    "createOutput();  }  return createDialog();})();";

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // only lower case is the dialog's form
}

// A run of \uXXXX escapes from `at`, up to the first character that does not start one.
bool readEscapes(const std::string& script, size_t& at, std::u16string& units) {
    while (at < script.size() && script[at] == '\\') {
        if (script.compare(at, 2, "\\u") != 0 || script.size() - at < 6) return false;
        unsigned unit = 0;
        for (size_t i = 2; i < 6; ++i) {
            const int digit = hexDigit(script[at + i]);
            if (digit < 0) return false;
            unit = unit * 16 + static_cast<unsigned>(digit);
        }
        units.push_back(static_cast<char16_t>(unit));
        at += 6;
    }
    return true;
}

PF_Err registerWithHost(AEGP_GlobalRefcon, const char* plugin_name, AEGP_PluginID* plugin_id) {
    Host& host = Host::current();
    if (PF_Err err = host.faults().onCall("AEGP_RegisterWithAEGP")) return err;
    if (plugin_id == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *plugin_id = host.registerPlugin(plugin_name ? plugin_name : "");
    return PF_Err_NONE;
}

PF_Err executeScript(AEGP_PluginID plugin, const char* script, PF_Boolean platformEncoding, AEGP_MemHandle* result,
                     AEGP_MemHandle* error) {
    Host& host = Host::current();
    host.log().add("AEGP_ExecuteScript");
    if (PF_Err planned = host.faults().onCall("AEGP_ExecuteScript")) return planned;
    ScriptEngine* engine = ScriptEngine::current();
    if (engine == nullptr) {
        host.log().add("error: AEGP_ExecuteScript: no script engine");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return engine->execute(plugin, script, platformEncoding, result, error);
}

const AEGP_UtilitySuite11 kUtilitySuite11 = {registerWithHost, executeScript};

}  // namespace

bool parseDialogScript(const std::string& script, std::u16string& title, std::u16string& field) {
    title.clear();
    field.clear();
    if (script.compare(0, kDialogHead.size(), kDialogHead) != 0) return false;
    size_t at = kDialogHead.size();
    if (!readEscapes(script, at, title) || script.compare(at, kDialogMiddle.size(), kDialogMiddle) != 0) return false;
    at += kDialogMiddle.size();
    if (!readEscapes(script, at, field)) return false;
    return script.compare(at, std::string::npos, kDialogTail) == 0;
}

ScriptEngine::ScriptEngine(Host& host) : host_(host) {
    ScriptEngine* expected = nullptr;
    if (!currentEngine.compare_exchange_strong(expected, this)) {
        throw std::logic_error("only one script engine may exist at a time");
    }
}

ScriptEngine::~ScriptEngine() { currentEngine.store(nullptr); }

ScriptEngine* ScriptEngine::current() { return currentEngine.load(); }

void ScriptEngine::answerOk(std::string text) {
    Answer answer;
    answer.bytes.push_back('1');
    answer.bytes.insert(answer.bytes.end(), text.begin(), text.end());
    answer.bytes.push_back('\0');
    answers_.push_back(std::move(answer));
}

void ScriptEngine::answerCancel() { answers_.push_back(Answer{PF_Err_NONE, {'0', '\0'}}); }

void ScriptEngine::answerError(PF_Err err) { answers_.push_back(Answer{err, {}}); }

void ScriptEngine::answerRaw(std::vector<char> bytes) { answers_.push_back(Answer{PF_Err_NONE, std::move(bytes)}); }

PF_Err ScriptEngine::execute(AEGP_PluginID, const char* script, PF_Boolean platformEncoding, AEGP_MemHandle* result,
                             AEGP_MemHandle* error) {
    if (result != nullptr) *result = nullptr;
    if (error != nullptr) *error = nullptr;
    if (script == nullptr) {
        host_.log().add("error: AEGP_ExecuteScript: null script");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    Run run;
    run.script = script;
    run.platformEncoding = platformEncoding != 0;
    run.resultRequested = result != nullptr;
    run.errorRequested = error != nullptr;
    run.dialog = parseDialogScript(run.script, run.title, run.field);
    runs_.push_back(run);
    if (!run.dialog) {
        host_.log().add("error: AEGP_ExecuteScript: not the edit dialog's script");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (answers_.empty()) {
        host_.log().add("error: AEGP_ExecuteScript: no answer queued");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    Answer answer = std::move(answers_.front());
    answers_.pop_front();
    if (answer.err != PF_Err_NONE) return answer.err;
    if (result != nullptr) {
        Project& project = host_.project();
        std::lock_guard lock(project.mutex());
        *result = project.newMemHandle("script result", answer.bytes.size());
        Project::MemBlock* block = project.findMemHandle(*result, "AEGP_ExecuteScript");
        if (block != nullptr && !answer.bytes.empty()) {
            std::memcpy(block->bytes.data(), answer.bytes.data(), answer.bytes.size());
        }
    }
    return PF_Err_NONE;
}

void installScriptSuite(Host& host) {
    host.faults().registerNames({"AEGP_ExecuteScript", "AEGP_RegisterWithAEGP"});

    host.addSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion11, &kUtilitySuite11);
}

}  // namespace Sim
