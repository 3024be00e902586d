#include "library/custom_data/color_expression_data/dialog_script.h"

#include "library/string/string_conversion.h"

namespace Morvel::ColorExpressionData {

namespace {

const char kBeforeName[] =
    "(function () { function createDialog() {    function textOnChange() {      if (this.text.length > 500) {"
    "        this.text = this.text.slice(0, 500);      }    }    function createOutput() {      var text = ok ? "
    "'1' + ui.text.text : '0';      return text;    }    var w = new Window('dialog', '";

const char kBeforeText[] =
    "', undefined);    w.margins = 10;    w.alignChildren = ['fill', 'center'];    var ui = {},    ok = false;"
    "    var path_group = w.add('group');    path_group.add('statictext', [0, 0, 60, 20], 'Expression: ');"
    "    ui.text = path_group.add('edittext', [0, 0, 240, 20], '";

const char kAfterText[] =
    "');    ui.text.onChange = textOnChange;    var button_group = w.add('group');    button_group.alignChildren"
    " = ['fill', 'top'];    ui.ok = button_group.add('button', undefined, 'OK', {name: 'ok'});    ui.ok.onClick ="
    " function () {      ok = true;      w.close(1);    };    ui.cancel = button_group.add('button', undefined, "
    "'Cancel', {name: 'cancel'});    ui.cancel.onClick = function () {      ok = false;      w.close(1);    };"
    "    w.onShow = function () {      ui.text.active = true;    }    w.center();    w.show();    return "
    "createOutput();  }  return createDialog();})();";

}  // namespace

std::string dialogScript(std::string const& name, std::string const& text) {
    return kBeforeName + escapeString(name) + kBeforeText + escapeString(text) + kAfterText;
}

}  // namespace Morvel::ColorExpressionData
