// tool/prompt.h: the interactive prompt of `korvo CONNECT`: line editing
// and history through libedit, statements ended by ";", and dot commands.
#pragma once

#include <korvo/Korvo.h>

#include "output_format.h"

namespace korvo::tool {

// Reads statements until ".quit" or end of input; returns the exit
// status (0, or 1 when the last statement failed). History is kept in
// $KORVO_HISTORY, else ~/.korvo_history.
int RunPrompt(CDatabase& db, OutputFormat format);

}  // namespace korvo::tool
