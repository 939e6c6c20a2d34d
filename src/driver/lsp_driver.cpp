#include "driver/lsp_driver.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <string>

#include "driver/compile.h"
#include "driver/driver.h"
#include "lsp/frame.h"
#include "lsp/server.h"
#include "support/diag.h"

namespace tolvar {

namespace {

void print_lsp_usage()
{
    report_plain("usage: tolvar-lsp [--stdio]\n");
    report_plain("  a language server for tolvar scripts over standard input and output\n");
    report_plain("        -v|--version            print version\n");
    report_plain("        -?|--help               print usage\n");
}

bool write_all(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool send_outbox(Server& server)
{
    bool ok = true;
    for (const std::string& body : server.outbox) {
        ok = ok && write_all(frame_message(body));
    }
    server.outbox.clear();
    return ok;
}

bool input_waiting()
{
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return ::poll(&input, 1, 0) > 0;
}

// Handles every complete message; false once the server has exited or
// the client is gone.
bool handle_buffered(Server& server, FrameReader& reader)
{
    std::string body;
    for (FrameStatus status; (status = frame_take(reader, body)) != FRAME_NEED_MORE;) {
        if (status == FRAME_MESSAGE) {
            server_handle(server, body);
        } else {
            server_frame_error(server, status);
        }
        if (!send_outbox(server) || server.state == SERVER_EXITED) {
            return false;
        }
    }
    return true;
}

int serve(Server& server)
{
    FrameReader reader;
    static char chunk[65536];
    while (handle_buffered(server, reader)) {
        if (!input_waiting()) {
            server_flush(server);  // the input is quiet: compile the newest texts
            if (!send_outbox(server)) {
                return 1;
            }
        }
        ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return server.state == SERVER_SHUT_DOWN ? 0 : 1;
        }
        frame_feed(reader, chunk, static_cast<size_t>(n));
    }
    return server.state == SERVER_EXITED ? server.exit_status : 1;
}

}  // namespace

int lsp_main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-v") == 0 || std::strcmp(argv[i], "--version") == 0) {
            report_plain("tolvar-lsp - language server for tolvar scripts version %s\n",
                         TOLVAR_VERSION);
            return 1;
        }
        if (std::strcmp(argv[i], "--stdio") != 0) {
            print_lsp_usage();
            return 1;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);  // a client gone is a failed write, not a signal
    Server server;
    if (!server_init(server, compile_in_memory)) {
        report_error(-1, "can't open the Shift-JIS converter or /dev/null\n");
        server_free(server);
        return 1;
    }
    int status = 1;
    try {
        status = serve(server);
    } catch (const std::exception& e) {  // only the reader's buffers get here: memory
        report_error(-1, "tolvar-lsp: %s\n", e.what());
    }
    server_free(server);
    return status;
}

}  // namespace tolvar
