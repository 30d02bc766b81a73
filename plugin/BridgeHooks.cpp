// The refreshes of the shared block and the editor. They do nothing while no
// shared block or editor exists, which is always the case until the editor
// bridge provides them.
#include "plugin/Tolvane.h"

void Tolvane::updateParameterData() {}
void Tolvane::updatePatternData() {}
void Tolvane::updatePluginData() {}
void Tolvane::editorUpdateDisplay() {}
