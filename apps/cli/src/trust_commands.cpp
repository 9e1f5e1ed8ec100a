#include "trust_commands.hpp"

#include <iostream>

#include "document_io.hpp"
#include "trust_store.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_error/text.hpp"

namespace razavovivodidi::commands {

CommandResult trust_add(const cli::TrustAdd& args) {
    auto store = trust_store::load_trust_store(args.store);
    if (!store) return std::unexpected(std::move(store.error()));
    if (auto added = store->add(args.name, args.pubkey, vorelcore_contracts::time::Timestamp::now()); !added) {
        return added;
    }
    if (auto written = write_json(args.store, *store); !written) return written;
    std::cout << "trusted signer " << vorelcore_error::debug_quoted(args.name) << " added to " << args.store.string()
              << " (" << store->signers.size() << " signer(s) now trusted)\n"
              << std::flush;
    return {};
}

CommandResult trust_list(const cli::TrustList& args) {
    auto store = trust_store::load_trust_store(args.store);
    if (!store) return std::unexpected(std::move(store.error()));
    if (store->signers.empty()) {
        std::cout << "trust store " << args.store.string()
                  << " has no trusted signers \u2014 every ruleset will be refused\n"
                  << std::flush;
        return {};
    }
    for (const auto& signer : store->signers) {
        std::cout << signer.name << "  " << signer.pubkey_hex << "  (added " << signer.added_at.to_rfc3339() << ")\n";
    }
    std::cout << std::flush;
    return {};
}

}  // namespace razavovivodidi::commands
