#include "lsp/protocol.h"

namespace tolvar {

const Json* member(const Json& object, const char* key)
{
    if (!object.is_object()) {
        return nullptr;
    }
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

bool read_string(const Json& object, const char* key, std::string& out)
{
    const Json* value = member(object, key);
    if (value == nullptr || !value->is_string()) {
        return false;
    }
    out = value->get_ref<const std::string&>();
    return true;
}

bool read_uint(const Json& object, const char* key, uint32_t& out)
{
    const Json* value = member(object, key);
    if (value == nullptr || !value->is_number_unsigned() || value->get<uint64_t>() > UINT32_MAX) {
        return false;
    }
    out = static_cast<uint32_t>(value->get<uint64_t>());
    return true;
}

bool read_position(const Server& server, const Document& doc, const Json& position, int32_t& line,
                   size_t& byte)
{
    uint32_t l = 0;
    uint32_t character = 0;
    if (!read_uint(position, "line", l) || !read_uint(position, "character", character) ||
        l >= static_cast<uint32_t>(document_line_count(doc))) {
        return false;
    }
    line = static_cast<int32_t>(l);
    byte = byte_of_position(document_line(doc, line), character, server.encoding);
    return true;
}

Json position_json(const Server& server, const Document& doc, int32_t line, size_t byte)
{
    return {{"line", line},
            {"character", position_of_byte(document_line(doc, line), byte, server.encoding)}};
}

Json range_json(const Server& server, const Document& doc, const Span& span)
{
    return {{"start", position_json(server, doc, span.line, span.start)},
            {"end", position_json(server, doc, span.line, span.end)}};
}

Json location_json(const Server& server, const Document& doc, const Span& span)
{
    return {{"uri", doc.uri}, {"range", range_json(server, doc, span)}};
}

}  // namespace tolvar
