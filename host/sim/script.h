#pragma once

// The host's script engine as far as the effects use it: the edit dialog of the colour-expression
// parameter. The stand-in cannot run scripts; it checks that a script has the dialog's form,
// reads the title and the field text out of it, and answers with what a test queued, as the user
// would have answered the dialog.

#include <deque>
#include <string>
#include <vector>

#include "host/sim/host.h"

namespace Sim {

class ScriptEngine {
public:
    explicit ScriptEngine(Host& host);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // The user types text (UTF-8) and presses OK.
    void answerOk(std::string text);
    void answerCancel();
    // The engine fails with err and gives no result.
    void answerError(PF_Err err);
    // The result handle holds exactly these bytes (no terminator is added).
    void answerRaw(std::vector<char> bytes);
    size_t pending() const { return answers_.size(); }

    struct Run {
        std::string script;
        bool dialog = false;   // the script has the edit dialog's form
        std::u16string title;  // decoded from the script
        std::u16string field;
        bool platformEncoding = false;
        bool resultRequested = false;
        bool errorRequested = false;
    };
    const std::vector<Run>& runs() const { return runs_; }

    // --- for the suite
    static ScriptEngine* current();
    PF_Err execute(AEGP_PluginID plugin, const char* script, PF_Boolean platformEncoding, AEGP_MemHandle* result,
                   AEGP_MemHandle* error);

private:
    struct Answer {
        PF_Err err = PF_Err_NONE;
        std::vector<char> bytes;
    };
    Host& host_;
    std::deque<Answer> answers_;
    std::vector<Run> runs_;
};

// Reads a script of the edit dialog's form; false when it has another form.
bool parseDialogScript(const std::string& script, std::u16string& title, std::u16string& field);

void installScriptSuite(Host& host);

}  // namespace Sim
