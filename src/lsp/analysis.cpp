// One compile of a script for the editor: the document's text to the
// game's bytes, the compile from memory with its diagnostics collected,
// and the facts the editor features read (offsets, labels, texts).
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "context/conv_state.h"
#include "front/tokenizer.h"
#include "lsp/server.h"
#include "support/diag.h"
#include "support/settings.h"

namespace tolvar {

namespace {

constexpr int CODE_NO_SJIS = 6001;

struct Record {
    bool error = true;
    int code = -1;
    bool about_text = false;  // the text file rather than the script
    DiagLocation where;
    std::string message;
    std::vector<std::pair<DiagLocation, std::string>> notes;  // file names not kept
    std::vector<bool> note_about_text;
};

// The names compile_in_memory gives its two inputs in its messages.
bool names_text(const char* file)
{
    return file != nullptr && std::string(file) == "text";
}

void collect(const Diagnostic& d, void* context)
{
    auto& records = *static_cast<std::vector<Record>*>(context);
    Record record;
    record.error = d.kind != DIAG_WARNING;
    record.code = d.code;
    record.about_text = names_text(d.where.file);
    record.where = d.where;
    record.where.file = nullptr;
    record.message = d.message;
    for (int i = 0; i < d.note_count && i < MAX_DIAG_NOTES; ++i) {
        record.notes.emplace_back(d.notes[i].where, d.notes[i].message);
        record.note_about_text.push_back(names_text(d.notes[i].where.file));
    }
    records.push_back(std::move(record));
}

void seen_statement(void* context, int32_t line, int32_t offset)
{
    auto& offsets = *static_cast<std::vector<int32_t>*>(context);
    if (line >= 1 && static_cast<size_t>(line) <= offsets.size() && offsets[line - 1] < 0) {
        offsets[line - 1] = offset;
    }
}

// The game's bytes of a document; a character without an exact Shift-JIS
// form is an error at its place.
std::string game_bytes(Server& server, const Document& doc, std::vector<Finding>& findings)
{
    std::string bytes;
    bytes.reserve(doc.text.size());
    for (int32_t line = 0; line < document_line_count(doc); ++line) {
        std::string_view text = document_line(doc, line);
        size_t bad = 0;
        sjis_append_line(server.sjis, text, bytes, &bad);
        if (bad != std::string_view::npos) {
            Finding finding;
            finding.code = CODE_NO_SJIS;
            finding.uri = doc.uri;
            finding.where = {line, bad, byte_of_column(text.substr(bad), 2) + bad};
            finding.message = "character with no exact Shift-JIS form";
            findings.push_back(std::move(finding));
        }
        if (line + 1 < document_line_count(doc)) {
            bytes += '\n';
        }
    }
    return bytes;
}

bool read_whole_file(const std::string& path, std::string& out)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        out.append(chunk, got);
    }
    bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// The labelled texts of a text file, from its UTF-8 form.
void read_text_entries(const Document& text, std::vector<TextEntry>& entries)
{
    for (int32_t line = 0; line < document_line_count(text); ++line) {
        std::string_view view = document_line(text, line);
        size_t tab = view.find('\t');
        size_t tab2 = tab == std::string_view::npos ? tab : view.find('\t', tab + 1);
        if (view.empty() || view[0] == ';' || view[0] == '#' || tab2 == std::string_view::npos) {
            continue;
        }
        std::string label(view.substr(0, tab));
        if (is_text_label_name(label.c_str()) != 0) {
            entries.push_back({label, std::string(view.substr(tab2 + 1)), line});
        }
    }
}

Span span_of(const Document& doc, const DiagLocation& where)
{
    int32_t count = document_line_count(doc);
    int32_t line = where.line - 1;
    if (line >= count) {
        line = count - 1;
    }
    std::string_view text = document_line(doc, line);
    size_t start = where.column > 0 ? byte_of_column(text, where.column) : 0;
    size_t end = where.end_column > 0 ? byte_of_column(text, where.end_column) : text.size();
    return {line, start, end < start ? start : end};
}

// Records become findings; a record without a line only restates the
// stage that failed, and stands alone only when nothing else has a line.
void add_findings(const std::vector<Record>& records, const Document& doc, const Document& text,
                  Analysis& analysis)
{
    bool any_line = false;
    for (const Record& record : records) {
        any_line = any_line || record.where.line > 0;
    }
    for (const Record& record : records) {
        if (record.where.line <= 0 && any_line) {
            continue;
        }
        const Document& where = record.about_text && !text.uri.empty() ? text : doc;
        Finding finding;
        finding.error = record.error;
        finding.code = record.code;
        finding.uri = where.uri;
        finding.where = span_of(where, record.where);
        finding.message = record.message;
        for (size_t i = 0; i < record.notes.size(); ++i) {
            const Document& note_doc = record.note_about_text[i] && !text.uri.empty() ? text : doc;
            finding.notes.push_back(
                {note_doc.uri, span_of(note_doc, record.notes[i].first), record.notes[i].second});
        }
        analysis.findings.push_back(std::move(finding));
    }
}

// The text file of a script, as the compile reads it (the game's bytes)
// and as the editor shows it (UTF-8 in text); false when there is none.
bool load_text_file(Server& server, const std::string& path, Document& text, std::string& bytes,
                    std::vector<Finding>& findings)
{
    std::string uri = path_to_uri(path);
    for (auto& [key, open] : server.documents) {
        if (!open.script && uri_to_path(key) == path) {
            text.uri = key;
            document_set_text(text, open.text);
            bytes = game_bytes(server, text, findings);
            return true;
        }
    }
    if (path.empty() || !read_whole_file(path, bytes)) {
        return false;
    }
    text.uri = uri;
    document_set_text(text, sjis_to_utf8(server.sjis, bytes));
    return true;
}

void run_compile(Server& server, const std::string& script, const std::string* text,
                 std::vector<Record>& records, Analysis& analysis)
{
    SettingsState saved = settings_save();
    game_type = server.default_game;
    verbose_level = 0;
    FILE* before = diag_file();
    set_diag_file(server.discard);
    set_diag_sink(collect, &records);
    StatementWatch watch{seen_statement, &analysis.line_offsets};
    ConvState conv;
    conv_init(conv);
    conv.watch = &watch;
    server.compile(conv, script.data(), script.size(), text != nullptr ? text->data() : nullptr,
                   text != nullptr ? text->size() : 0);
    analysis.game = watch.game >= 0 ? watch.game : game_type;
    for (int32_t i = 0; i < conv.data_labels.count; ++i) {
        const DataLabel& label = conv.data_labels.entries[i];
        analysis.labels.push_back({label.label.get(), label.offset});
    }
    conv_free(conv);
    set_diag_sink(nullptr, nullptr);
    set_diag_file(before == stderr ? nullptr : before);
    settings_restore(saved);
}

}  // namespace

void analyse_script(Server& server, Document& doc)
{
    Analysis analysis;
    analysis.line_offsets.assign(static_cast<size_t>(document_line_count(doc)), -1);
    std::string script = game_bytes(server, doc, analysis.findings);
    Document text;
    std::string text_bytes;
    bool has_text =
        load_text_file(server, text_path_for(server, uri_to_path(doc.uri)), text, text_bytes,
                       analysis.findings);
    if (has_text) {
        analysis.text_uri = text.uri;
        read_text_entries(text, analysis.texts);
    }
    std::vector<Record> records;
    run_compile(server, script, has_text ? &text_bytes : nullptr, records, analysis);
    add_findings(records, doc, text, analysis);
    analysis.done = true;
    doc.analysis = std::move(analysis);
    doc.dirty = false;
}

std::string text_path_for(const Server& server, const std::string& script_path)
{
    if (!server.text_file.empty()) {
        if (server.text_file[0] == '/' || script_path.find('/') == std::string::npos) {
            return server.text_file;
        }
        return script_path.substr(0, script_path.rfind('/') + 1) + server.text_file;
    }
    if (script_path.empty()) {
        return {};
    }
    size_t slash = script_path.rfind('/');
    size_t dot = script_path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return script_path + ".txt";
    }
    return script_path.substr(0, dot) + ".txt";
}

}  // namespace tolvar
