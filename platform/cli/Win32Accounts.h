#pragma once

#include "cli/Cli.h"

// Every profile in ProfileList but the system's own, each account's registry
// where the system holds it for a signed-in user, or else its NTUSER.DAT
// loaded under a key of Tallowick's own for as long as the account is
// visited, and unloaded on every way out.
class Win32Accounts final : public cli::Accounts {
public:
    Visited ForEach(cli::AccountVisitor& visitor) override;
};
