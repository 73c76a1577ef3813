#include "HelpLinks.h"

namespace {

struct THelpLink {
    THelpCommand Command;
    std::string TGlobalVars::*Link;
    bool Mail; // an e-mail address, opened through "mailto:"
};

constexpr THelpLink HelpLinks[] = {
    {THelpCommand::hcHelpContent, &TGlobalVars::HelpLink, false},
    {THelpCommand::hcHomePage, &TGlobalVars::HomePageLink, false},
    {THelpCommand::hcCheckforUpdates, &TGlobalVars::UpdatesLink, false},
    {THelpCommand::hcContactTechnicalSupport, &TGlobalVars::SupportMail, true},
};

} // namespace

std::string HelpCommandTarget(THelpCommand command, const TGlobalVars& vars) {
    for (const THelpLink& link : HelpLinks)
        if (link.Command == command)
            return link.Mail ? SupportMailTarget(vars.*link.Link) : vars.*link.Link;
    return "";
}

std::string SupportMailTarget(const std::string& mail) {
    return mail.empty() ? "" : "mailto:" + mail;
}
