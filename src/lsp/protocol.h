// JSON helpers shared by the server's handlers: positions and ranges in the
// client's encoding, and reading members without exceptions.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "lsp/document.h"
#include "lsp/server.h"

namespace tolvar {

using Json = nlohmann::json;

// JSON-RPC and LSP error codes.
enum ErrorCode {
    ERROR_PARSE = -32700,
    ERROR_INVALID_REQUEST = -32600,
    ERROR_METHOD_NOT_FOUND = -32601,
    ERROR_INVALID_PARAMS = -32602,
    ERROR_INTERNAL = -32603,
    ERROR_NOT_INITIALIZED = -32002,
    ERROR_REQUEST_FAILED = -32803
};

// The member key of an object, when it is there and of the wanted kind.
const Json* member(const Json& object, const char* key);
bool read_string(const Json& object, const char* key, std::string& out);
bool read_uint(const Json& object, const char* key, uint32_t& out);

// A position of the client (line, character) as a line and a byte.
bool read_position(const Server& server, const Document& doc, const Json& position, int32_t& line,
                   size_t& byte);

Json position_json(const Server& server, const Document& doc, int32_t line, size_t byte);
Json range_json(const Server& server, const Document& doc, const Span& span);
Json location_json(const Server& server, const Document& doc, const Span& span);

}  // namespace tolvar
