// The program with its window: the Qt application, the main window's view over the window model,
// and the Qt dialogs and event pump.
#pragma once

#include <optional>
#include <string>

#include "app/program.h"

namespace lorva {

// Opens the window on the mail store at `storeRoot` (its current folder, or `folder`) and runs
// until the program ends; returns the exit status.
int RunWindowApplication(int argc, char** argv, const std::optional<std::string>& store,
                         const std::optional<std::string>& folder, const RouteFactory& makeRoute);

}  // namespace lorva
