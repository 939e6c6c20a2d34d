// The language server's request handling. The first byte chooses: even,
// the rest is a script that is opened, asked about, edited and asked
// about again, with the requests and places the next two bytes give; odd,
// the rest is message bodies split at NUL bytes, sent after initialize.
// Anything but an answer or an error is a crash, and so is an error about
// the form of a message this target made.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "driver/compile.h"
#include "fuzz_support.h"
#include "lsp/server.h"
#include "support/diag.h"
#include "support/settings.h"

using namespace tolvar;
using Json = nlohmann::json;

namespace {

const char* const URI = "file:///fuzz/script.src";

// Messages are written as text: building them as JSON values first would
// cost each run more than the server's own work.
void send(Server& server, const std::string& body)
{
    server_handle(server, body);
    // Keys are written in order, so an error answer begins with its code.
    for (const std::string& answer : server.outbox) {
        for (const char* code : {"-32700", "-32600", "-32601"}) {
            if (answer.rfind(std::string("{\"error\":{\"code\":") + code, 0) == 0) {
                tolvar_fuzz::fail("a well-formed message was refused", body + "\n" + answer);
            }
        }
    }
    server.outbox.clear();
}

std::string request(int id, const char* method, const std::string& params)
{
    return "{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(id) + ",\"method\":\"" + method +
           "\",\"params\":" + params + "}";
}

std::string position(int line, int character)
{
    return "{\"line\":" + std::to_string(line) + ",\"character\":" + std::to_string(character) + "}";
}

const std::string DOCUMENT = std::string("{\"textDocument\":{\"uri\":\"") + URI + "\"}";

// One request that reads a document, chosen by a byte, at the place two
// bytes give (one per run keeps runs fast enough for long fuzzing).
void ask(Server& server, uint8_t choice, uint8_t line, uint8_t character)
{
    std::string at = DOCUMENT + ",\"position\":" + position(line % 16, character % 64);
    switch (choice % 7) {
    case 0: send(server, request(2, "textDocument/hover", at + "}")); break;
    case 1: send(server, request(2, "textDocument/definition", at + "}")); break;
    case 2: send(server, request(2, "textDocument/completion", at + "}")); break;
    case 3:
        send(server, request(3, "textDocument/references",
                             at + ",\"context\":{\"includeDeclaration\":true}}"));
        break;
    case 4: send(server, request(4, "textDocument/rename", at + ",\"newName\":\"renamed\"}")); break;
    case 5: send(server, request(5, "textDocument/documentSymbol", DOCUMENT + "}")); break;
    default:
        send(server, request(6, "textDocument/inlayHint",
                             DOCUMENT + ",\"range\":{\"start\":" + position(0, 0) +
                                 ",\"end\":" + position(99, 0) + "}}"));
        break;
    }
}

// Any bytes as a JSON string, invalid UTF-8 replaced as a client would.
std::string json_string(const std::string& text)
{
    return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

void script_session(Server& server, const std::string& text, uint8_t a, uint8_t b)
{
    send(server, std::string("{\"jsonrpc\":\"2.0\",\"method\":\"textDocument/didOpen\",\"params\":"
                             "{\"textDocument\":{\"uri\":\"") +
                     URI + "\",\"languageId\":\"tolvar\",\"version\":1,\"text\":" +
                     json_string(text) + "}}}");
    server_flush(server);
    ask(server, static_cast<uint8_t>(a >> 4), a, b);
    std::string range = "{\"start\":" + position(b % 8, a % 16) +
                        ",\"end\":" + position(b % 8 + a % 2, b % 32) + "}";
    send(server, std::string("{\"jsonrpc\":\"2.0\",\"method\":\"textDocument/didChange\",\"params\":"
                             "{\"textDocument\":{\"uri\":\"") +
                     URI + "\",\"version\":2},\"contentChanges\":[{\"range\":" + range +
                     ",\"text\":" + json_string(text.substr(0, 16)) + "}]}}");
    server_flush(server);
    ask(server, static_cast<uint8_t>(b >> 4), b, a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3) {
        return 0;
    }
    settings_reset();
    // The converters and /dev/null once; every input starts a new session.
    static Server server;
    static bool started = server_init(server, compile_in_memory);
    if (!started) {
        tolvar_fuzz::fail("the server did not start", "");
    }
    send(server, request(1, "initialize", "{\"capabilities\":{}}"));
    std::string rest(reinterpret_cast<const char*>(data + 3), size - 3);
    if (data[0] % 2 == 0) {
        script_session(server, rest, data[1], data[2]);
    } else {
        for (size_t at = 0; at <= rest.size();) {
            size_t end = rest.find('\0', at);
            end = end == std::string::npos ? rest.size() : end;
            server_handle(server, rest.substr(at, end - at));
            server_flush(server);
            server.outbox.clear();
            at = end + 1;
        }
    }
    // What this input allocated goes with it, so libFuzzer's leak check
    // sees a balanced run and does not run the input again.
    server.state = SERVER_STARTING;
    server.documents.clear();
    server.default_game = 0;
    server.text_file = std::string();
    server.outbox = std::vector<std::string>();
    settings_reset();
    return 0;
}
