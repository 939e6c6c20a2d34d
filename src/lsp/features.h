// The editor features over a compiled script: each takes the request's
// params and returns its result, or sets error (an LSP error code) when the
// params are not usable.
#pragma once

#include "lsp/protocol.h"

namespace tolvar {

Json hover(Server& server, const Json& params, int& error);
Json definition(Server& server, const Json& params, int& error);
Json references(Server& server, const Json& params, int& error);
Json document_symbols(Server& server, const Json& params, int& error);
Json rename(Server& server, const Json& params, int& error);
Json completion(Server& server, const Json& params, int& error);
Json inlay_hints(Server& server, const Json& params, int& error);

// The diagnostics of one document as publishDiagnostics params.
Json diagnostics_params(const Server& server, const Document& doc,
                        const std::vector<const Finding*>& findings);

}  // namespace tolvar
