#include "front/text_file.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "context/conv_state.h"
#include "front/line_reader.h"
#include "front/tokenizer.h"
#include "labels/labels.h"
#include "support/diag.h"
#include "support/settings.h"

namespace tolvar {

namespace {

bool ends_field(char c)
{
    return c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

int split_text_fields(char* line, bool line_end, char* fields[TEXT_FIELD_COUNT])
{
    int count = 0;
    char* p = line;
    while (count < TEXT_FIELD_COUNT) {
        fields[count++] = p;
        while (*p != '\0' && !ends_field(*p)) {
            ++p;
        }
        if (*p == '\0') {
            if (line_end && count < TEXT_FIELD_COUNT) {
                fields[count++] = p;
            }
            break;
        }
        *p++ = '\0';
    }
    return count;
}

namespace {

// The opening quote of the text field: where a text of the file stands, for
// the messages about it (only worked out where they name columns).
int32_t text_column(const char* line, const char* text)
{
    return diag_records() ? diag_column(line, text) : 0;
}

int read_text_lines(ConvState& conv, FILE* file, const char* path)
{
    LineReader reader;
    line_reader_open(reader, file);
    char line[LINE_BUFFER_SIZE];
    set_diag_subject(path);
    conv.text_labels.file = path;
    for (int line_no = 1;; ++line_no) {
        diag_line(line_no, line);
        LineRead read = read_line(reader, line);
        switch (read) {
        case LINE_READ_ERROR:
            report_error(514, "can't read '%s' line %d\n", path, line_no);
            return -1;
        case LINE_TOO_LONG:
            report_error(3107, "line %d: line too long\n", line_no);
            return -1;
        case LINE_END_OF_FILE:
            report_info("read text finished\n");
            return 0;
        case LINE_OK:
        case LINE_HAS_NUL:  // fields end at the NUL, as they always have
            break;
        }
        if (line[0] == ';' || line[0] == '#') {
            continue;
        }
        char* fields[TEXT_FIELD_COUNT];
        // A NUL hides the line end behind it.
        bool line_end = reader.ended_by_newline && read == LINE_OK;
        if (split_text_fields(line, line_end, fields) < TEXT_FIELD_COUNT) {
            diag_say("a text line holds a label, a comment and a quoted text, separated by "
                     "tabs");
            report_error(537, "line %d: syntax error: '%s'\n", line_no, path);
            return -1;
        }
        const char* label = fields[0];
        const char* text = fields[2];
        DiagLocation label_place = diag_span(label, label + std::strlen(label));
        if (is_text_label_name(label) == 0) {
            diag_at(label_place);
            diag_say("'%s' is no text label: T, four hexadecimal digits, _ and four digits",
                     label);
            report_error(542, "line %d: illegal label name: '%s'\n", line_no, label);
            return -1;
        }
        if (verbose_level >= 1) {
            report_info("line %3.1d: %s = %s\n", line_no, label, text);
        }
        diag_at(label_place);  // where a second definition is reported
        if (add_text_label(conv.text_labels, label, text) < 0) {
            return -1;
        }
        diag_clear();
        conv.text_labels.entries[conv.text_labels.count - 1].column = text_column(line, text);
    }
}

}  // namespace

int read_text_file(ConvState& conv, const char* path)
{
    report_info("read text from '%s'\n", path);
    FilePtr file(std::fopen(path, "rt"));
    if (!file) {
        diag_cant_open(path);
        report_error(501, "can't open '%s'\n", path);
        return -1;
    }
    return read_text_lines(conv, file.get(), path);
}

int read_text_stream(ConvState& conv, FILE* stream, const char* name)
{
    report_info("read text from '%s'\n", name);
    return read_text_lines(conv, stream, name);
}

}  // namespace tolvar
