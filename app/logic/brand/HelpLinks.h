// What the help menu's entries and the About window's links ask the desktop shell to open.
#pragma once

#include <string>

#include "settings/globals.h"

enum class THelpCommand {
    hcHelpContent,
    hcHomePage,
    hcCheckforUpdates,
    hcContactTechnicalSupport,
};

// The brand's link for `command`: the help, home page or updates address, or "mailto:" +
// the support address.
std::string HelpCommandTarget(THelpCommand command, const TGlobalVars& vars);

// "mailto:" + `mail`; empty when `mail` is: without an address there is nothing to open, and
// a bare "mailto:" would open an empty mail.
std::string SupportMailTarget(const std::string& mail);
