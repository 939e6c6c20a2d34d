#include "lsp/document.h"

#include <utility>

namespace tolvar {

namespace {

void index_lines(Document& doc)
{
    doc.line_starts.clear();
    doc.line_starts.push_back(0);
    for (size_t i = 0; i < doc.text.size(); ++i) {
        if (doc.text[i] == '\n') {
            doc.line_starts.push_back(i + 1);
        }
    }
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Characters a path keeps as they are in a URI.
bool plain_in_uri(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
}

}  // namespace

void document_set_text(Document& doc, std::string text)
{
    doc.text = std::move(text);
    index_lines(doc);
    doc.dirty = true;
}

int32_t document_line_count(const Document& doc)
{
    return static_cast<int32_t>(doc.line_starts.size());
}

std::string_view document_line(const Document& doc, int32_t line)
{
    if (line < 0 || line >= document_line_count(doc)) {
        return {};
    }
    size_t start = doc.line_starts[static_cast<size_t>(line)];
    size_t end = static_cast<size_t>(line) + 1 < doc.line_starts.size()
                     ? doc.line_starts[static_cast<size_t>(line) + 1]
                     : doc.text.size();
    std::string_view view(doc.text.data() + start, end - start);
    while (!view.empty() && (view.back() == '\n' || view.back() == '\r')) {
        view.remove_suffix(1);
    }
    return view;
}

bool document_edit(Document& doc, uint32_t line, uint32_t character, uint32_t end_line,
                   uint32_t end_character, std::string_view text, PositionEncoding encoding)
{
    auto count = static_cast<uint32_t>(doc.line_starts.size());
    if (line >= count || end_line >= count || end_line < line) {
        return false;
    }
    auto offset = [&](uint32_t l, uint32_t c) {
        std::string_view view = document_line(doc, static_cast<int32_t>(l));
        return doc.line_starts[l] + byte_of_position(view, c, encoding);
    };
    size_t start = offset(line, character);
    size_t end = offset(end_line, end_character);
    if (end < start) {
        return false;
    }
    doc.text.replace(start, end - start, text);
    index_lines(doc);
    doc.dirty = true;
    return true;
}

std::string uri_to_path(std::string_view uri)
{
    static constexpr std::string_view SCHEME = "file://";
    if (uri.substr(0, SCHEME.size()) != SCHEME) {
        return {};
    }
    uri.remove_prefix(SCHEME.size());
    size_t slash = uri.find('/');  // past an authority ("localhost")
    if (slash == std::string_view::npos) {
        return {};
    }
    uri.remove_prefix(slash);
    std::string path;
    for (size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && hex_value(uri[i + 1]) >= 0 &&
            hex_value(uri[i + 2]) >= 0) {
            path += static_cast<char>(hex_value(uri[i + 1]) * 16 + hex_value(uri[i + 2]));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    return path;
}

std::string path_to_uri(std::string_view path)
{
    static const char HEX[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (char c : path) {
        auto b = static_cast<unsigned char>(c);
        if (plain_in_uri(b)) {
            uri += c;
        } else {
            uri += '%';
            uri += HEX[b >> 4];
            uri += HEX[b & 15];
        }
    }
    return uri;
}

}  // namespace tolvar
