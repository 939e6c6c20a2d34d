#include "lsp/server.h"

#include <exception>
#include <new>
#include <string>
#include <utility>

#include "lsp/features.h"
#include "lsp/protocol.h"
#include "support/settings.h"

namespace tolvar {

namespace {

constexpr const char* SERVER_VERSION = "0.0.2";

void send(Server& server, const Json& message)
{
    server.outbox.push_back(message.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void send_error(Server& server, const Json& id, int code, const std::string& message)
{
    send(server, {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

// An error from inside a catch: if even that fails, nothing is sent.
void send_failure(Server& server, const char* message, const char* detail = "") noexcept
{
    try {
        send_error(server, nullptr, ERROR_INTERNAL, std::string(message) + detail);
    } catch (...) {
        server.outbox.clear();
    }
}

void send_result(Server& server, const Json& id, Json result)
{
    send(server, {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

bool read_game(const Json& settings, int& game)
{
    std::string name;
    if (!read_string(settings, "game", name)) {
        return false;
    }
    static const struct {
        const char* name;
        int game;
    } GAMES[] = {{"u6", GAME_U6}, {"se", GAME_SE}, {"md", GAME_MD}};
    for (const auto& known : GAMES) {
        if (name == known.name || name == std::string("--") + known.name) {
            game = known.game;
            return true;
        }
    }
    return false;
}

// The client's settings, from initializationOptions or a configuration
// change ({"game": "u6"|"se"|"md", "textFile": "path"}).
void read_settings(Server& server, const Json& settings)
{
    const Json* nested = member(settings, "tolvar");
    const Json& values = nested != nullptr ? *nested : settings;
    read_game(values, server.default_game);
    read_string(values, "textFile", server.text_file);
    for (auto& [uri, doc] : server.documents) {
        doc.dirty = doc.script;
    }
}

Json initialize(Server& server, const Json& params)
{
    const Json* encodings = member(params, "capabilities");
    encodings = encodings != nullptr ? member(*encodings, "general") : nullptr;
    encodings = encodings != nullptr ? member(*encodings, "positionEncodings") : nullptr;
    server.encoding = POSITION_UTF16;
    if (encodings != nullptr && encodings->is_array()) {
        for (const Json& offered : *encodings) {
            if (offered == "utf-8") {
                server.encoding = POSITION_UTF8;
            }
        }
    }
    if (const Json* options = member(params, "initializationOptions")) {
        read_settings(server, *options);
    }
    Json capabilities = {
        {"positionEncoding", server.encoding == POSITION_UTF8 ? "utf-8" : "utf-16"},
        {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
        {"hoverProvider", true},
        {"definitionProvider", true},
        {"referencesProvider", true},
        {"documentSymbolProvider", true},
        {"renameProvider", true},
        {"completionProvider", {{"triggerCharacters", {"."}}}},
        {"inlayHintProvider", true}};
    return {{"capabilities", capabilities},
            {"serverInfo", {{"name", "tolvar-lsp"}, {"version", SERVER_VERSION}}}};
}

bool is_text_document(const std::string& uri, const std::string& language)
{
    return language == "tolvar-text" ||
           (language != "tolvar" && uri.size() >= 4 && uri.compare(uri.size() - 4, 4, ".txt") == 0);
}

// A change of a text file is a change of every script that reads it.
void touch_readers(Server& server, const std::string& text_uri)
{
    std::string path = uri_to_path(text_uri);
    for (auto& [uri, doc] : server.documents) {
        if (doc.script && (!doc.analysis.done || uri_to_path(doc.analysis.text_uri) == path)) {
            doc.dirty = true;
        }
    }
}

bool did_open(Server& server, const Json& params)
{
    const Json* item = member(params, "textDocument");
    Document doc;
    std::string text;
    std::string language;
    const Json* version = item != nullptr ? member(*item, "version") : nullptr;
    if (item == nullptr || !read_string(*item, "uri", doc.uri) || !read_string(*item, "text", text) ||
        version == nullptr || !version->is_number_integer()) {
        return false;
    }
    read_string(*item, "languageId", language);
    doc.version = version->get<int64_t>();
    doc.script = !is_text_document(doc.uri, language);
    document_set_text(doc, std::move(text));
    std::string uri = doc.uri;
    server.documents[uri] = std::move(doc);
    if (!server.documents[uri].script) {
        server.documents[uri].dirty = false;
        touch_readers(server, uri);
    }
    return true;
}

bool apply_change(Server& server, Document& doc, const Json& change)
{
    std::string text;
    if (!read_string(change, "text", text)) {
        return false;
    }
    const Json* range = member(change, "range");
    if (range == nullptr) {
        document_set_text(doc, std::move(text));
        return true;
    }
    const Json* start = member(*range, "start");
    const Json* end = member(*range, "end");
    uint32_t line = 0, character = 0, end_line = 0, end_character = 0;
    return start != nullptr && end != nullptr && read_uint(*start, "line", line) &&
           read_uint(*start, "character", character) && read_uint(*end, "line", end_line) &&
           read_uint(*end, "character", end_character) &&
           document_edit(doc, line, character, end_line, end_character, text, server.encoding);
}

bool did_change(Server& server, const Json& params)
{
    const Json* item = member(params, "textDocument");
    const Json* changes = member(params, "contentChanges");
    std::string uri;
    if (item == nullptr || !read_string(*item, "uri", uri) || changes == nullptr ||
        !changes->is_array()) {
        return false;
    }
    Document* doc = find_document(server, uri);
    if (doc == nullptr) {
        return false;
    }
    for (const Json& change : *changes) {
        if (!apply_change(server, *doc, change)) {
            return false;
        }
    }
    if (const Json* version = member(*item, "version"); version != nullptr && version->is_number_integer()) {
        doc->version = version->get<int64_t>();
    }
    if (!doc->script) {
        doc->dirty = false;
        touch_readers(server, uri);
    }
    return true;
}

bool did_close(Server& server, const Json& params)
{
    const Json* item = member(params, "textDocument");
    std::string uri;
    if (item == nullptr || !read_string(*item, "uri", uri)) {
        return false;
    }
    auto found = server.documents.find(uri);
    if (found == server.documents.end()) {
        return false;
    }
    bool script = found->second.script;
    server.documents.erase(found);
    if (script) {
        send(server, {{"jsonrpc", "2.0"},
                      {"method", "textDocument/publishDiagnostics"},
                      {"params", {{"uri", uri}, {"diagnostics", Json::array()}}}});
    } else {
        touch_readers(server, uri);  // back to the copy on disk
    }
    return true;
}

void notification(Server& server, const std::string& method, const Json& params)
{
    if (method == "exit") {
        server.exit_status = server.state == SERVER_SHUT_DOWN ? 0 : 1;
        server.state = SERVER_EXITED;
        return;
    }
    if (server.state != SERVER_RUNNING) {
        return;  // dropped before initialize and after shutdown
    }
    bool good = true;
    if (method == "textDocument/didOpen") {
        good = did_open(server, params);
    } else if (method == "textDocument/didChange") {
        good = did_change(server, params);
    } else if (method == "textDocument/didClose") {
        good = did_close(server, params);
    } else if (method == "workspace/didChangeConfiguration") {
        if (const Json* settings = member(params, "settings")) {
            read_settings(server, *settings);
        }
    }
    if (!good) {
        // A notification has no answer; the client learns of it in its log.
        send(server, {{"jsonrpc", "2.0"},
                      {"method", "window/logMessage"},
                      {"params", {{"type", 1}, {"message", "tolvar-lsp: bad params of " + method}}}});
    }
}

using Handler = Json (*)(Server&, const Json&, int&);

Handler handler_for(const std::string& method)
{
    static const struct {
        const char* method;
        Handler handler;
    } HANDLERS[] = {
        {"textDocument/hover", hover},
        {"textDocument/definition", definition},
        {"textDocument/references", references},
        {"textDocument/documentSymbol", document_symbols},
        {"textDocument/rename", rename},
        {"textDocument/completion", completion},
        {"textDocument/inlayHint", inlay_hints},
    };
    for (const auto& known : HANDLERS) {
        if (method == known.method) {
            return known.handler;
        }
    }
    return nullptr;
}

void request(Server& server, const Json& id, const std::string& method, const Json& params)
{
    if (method == "initialize") {
        if (server.state != SERVER_STARTING) {
            send_error(server, id, ERROR_INVALID_REQUEST, "initialize was already received");
            return;
        }
        server.state = SERVER_RUNNING;
        send_result(server, id, initialize(server, params));
        return;
    }
    if (server.state == SERVER_STARTING) {
        send_error(server, id, ERROR_NOT_INITIALIZED, "initialize first");
        return;
    }
    if (server.state == SERVER_SHUT_DOWN) {
        send_error(server, id, ERROR_INVALID_REQUEST, "the server is shut down");
        return;
    }
    if (method == "shutdown") {
        server.state = SERVER_SHUT_DOWN;
        send_result(server, id, nullptr);
        return;
    }
    Handler handler = handler_for(method);
    if (handler == nullptr) {
        send_error(server, id, ERROR_METHOD_NOT_FOUND, "unknown method: " + method);
        return;
    }
    server_flush(server);  // answers come from the newest text
    int error = 0;
    Json result = handler(server, params, error);
    if (error != 0) {
        send_error(server, id, error, "the params of " + method + " are not usable");
    } else {
        send_result(server, id, std::move(result));
    }
}

void dispatch(Server& server, const std::string& body)
{
    Json message = Json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        send_error(server, nullptr, ERROR_PARSE, "the message is not JSON");
        return;
    }
    const Json* id = member(message, "id");
    bool id_good = id != nullptr && (id->is_string() || id->is_number_integer());
    std::string method;
    if (!message.is_object() || message.value("jsonrpc", Json()) != "2.0" ||
        (id != nullptr && !id_good)) {
        send_error(server, id_good ? *id : Json(nullptr), ERROR_INVALID_REQUEST,
                   "not a JSON-RPC 2.0 message");
        return;
    }
    if (!read_string(message, "method", method)) {
        if (id == nullptr) {
            send_error(server, nullptr, ERROR_INVALID_REQUEST, "a message without a method");
        }
        return;  // a response to a request of ours: none are sent
    }
    const Json* params = member(message, "params");
    static const Json NO_PARAMS = Json::object();
    if (id != nullptr) {
        request(server, *id, method, params != nullptr ? *params : NO_PARAMS);
    } else {
        notification(server, method, params != nullptr ? *params : NO_PARAMS);
    }
}

void publish(Server& server, const Document& doc, const std::string& uri)
{
    std::vector<const Finding*> findings;
    for (const Finding& finding : doc.analysis.findings) {
        if (finding.uri == uri) {
            findings.push_back(&finding);
        }
    }
    const Document* target = uri == doc.uri ? &doc : find_document(server, uri);
    Document closed;  // a text file not open: positions from its disk copy
    if (target == nullptr) {
        closed.uri = uri;
        target = &closed;
    }
    Json params = diagnostics_params(server, *target, findings);
    send(server, {{"jsonrpc", "2.0"}, {"method", "textDocument/publishDiagnostics"}, {"params", params}});
}

}  // namespace

bool server_init(Server& server, CompileFn compile)
{
    server.compile = compile;
    server.discard = std::fopen("/dev/null", "w");
    return server.discard != nullptr && sjis_open(server.sjis);
}

void server_free(Server& server)
{
    if (server.discard != nullptr) {
        std::fclose(server.discard);
        server.discard = nullptr;
    }
    sjis_close(server.sjis);
    server.documents.clear();
}

void server_handle(Server& server, const std::string& body)
{
    try {
        dispatch(server, body);
    } catch (const std::bad_alloc&) {
        server.documents.clear();  // memory back before anything else
        send_failure(server, "out of memory: every document was closed");
    } catch (const std::exception& e) {
        send_failure(server, "internal error: ", e.what());
    }
}

void server_frame_error(Server& server, FrameStatus status)
{
    try {
        send_error(server, nullptr, status == FRAME_TOO_LARGE ? ERROR_REQUEST_FAILED : ERROR_PARSE,
                   status == FRAME_TOO_LARGE ? "message over the size limit of 64 MiB: dropped"
                                             : "malformed message header: dropped");
    } catch (const std::exception&) {
        server.outbox.clear();
    }
}

void server_flush(Server& server)
{
    for (auto& [uri, doc] : server.documents) {
        if (!doc.script || !doc.dirty) {
            continue;
        }
        try {
            analyse_script(server, doc);
            publish(server, doc, uri);
            if (!doc.analysis.text_uri.empty()) {
                publish(server, doc, doc.analysis.text_uri);
            }
        } catch (const std::bad_alloc&) {
            server.documents.clear();  // memory back before anything else
            send_failure(server, "out of memory: every document was closed");
            return;
        } catch (const std::exception& e) {
            doc.dirty = false;  // not again until it changes
            send_failure(server, "internal error: ", e.what());
        }
    }
}

Document* find_document(Server& server, const std::string& uri)
{
    auto found = server.documents.find(uri);
    return found == server.documents.end() ? nullptr : &found->second;
}

}  // namespace tolvar
