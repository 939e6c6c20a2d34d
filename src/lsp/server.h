// The language server: the open documents, the protocol's life cycle and
// the dispatch of each message. It reads and writes no file of its own:
// messages come in as bodies and go out through the outbox, and a script's
// text file is read, never written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "context/conv_state.h"
#include "lsp/document.h"
#include "lsp/frame.h"
#include "lsp/text_encoding.h"

namespace tolvar {

// The compile from memory, handed in by the driver (the layer that owns it).
using CompileFn = int (*)(ConvState& conv, const char* script, size_t script_size, const char* text,
                          size_t text_size);

enum ServerState {
    SERVER_STARTING,   // before initialize
    SERVER_RUNNING,
    SERVER_SHUT_DOWN,  // after shutdown, waiting for exit
    SERVER_EXITED
};

struct Server {
    CompileFn compile = nullptr;
    ServerState state = SERVER_STARTING;
    PositionEncoding encoding = POSITION_UTF16;
    int default_game = 0;        // GAME_U6: for scripts without a game of their own
    std::string text_file;       // the client's text file for every script; empty: by name
    std::map<std::string, Document> documents;  // by URI
    SjisConverter sjis;
    FILE* discard = nullptr;             // where the compiler's plain lines go
    std::vector<std::string> outbox;     // JSON bodies to send, in order
    int exit_status = 0;                 // once state is SERVER_EXITED
};

bool server_init(Server& server, CompileFn compile);
void server_free(Server& server);

// Handles one message body. Whatever goes wrong, the answer is a JSON-RPC
// error in the outbox, never an exception out of here.
void server_handle(Server& server, const std::string& body);

// The error for a message the framing could not take.
void server_frame_error(Server& server, FrameStatus status);

// Compiles every script changed since its last compile and queues its
// diagnostics. The driver calls it once the pending input is read, so a
// burst of edits costs one compile of the newest text.
void server_flush(Server& server);

// Compiles one script now (requests about a changed script ask first).
void analyse_script(Server& server, Document& doc);

// The document open under uri, or null.
Document* find_document(Server& server, const std::string& uri);

// The path of the text file a script reads: the client's setting, or the
// script's name with its extension replaced by ".txt".
std::string text_path_for(const Server& server, const std::string& script_path);

}  // namespace tolvar
