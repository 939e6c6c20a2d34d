#include "tree_builders.h"

#include <stdexcept>
#include <utility>
#include <vector>

#include "test_support.h"

using namespace tolvar;

namespace tolvar_test {

namespace {

const CodeInfo* row(const char* name)
{
    const CodeInfo* info = lookup_code_info(name);
    if (info == nullptr) {
        throw std::invalid_argument(name);
    }
    return info;
}

InstPtr expr_node(ItemType type, uint8_t code, const CodeInfo* info)
{
    InstPtr node(inst_new(1, -1, nullptr, nullptr));
    node->type = type;
    node->code = code;
    node->info = info;
    return node;
}

InstPtr with_value(InstPtr node, ItemType kind, int value)
{
    node->param_count = 1;
    node->params[0].type = kind;
    node->params[0].value = value;
    return node;
}

}  // namespace

InstPtr lit(int n)
{
    return with_value(expr_node(TYPE_BYTE, 0, nullptr), TYPE_BYTE, n);
}

InstPtr byte_const(int n)
{
    return with_value(expr_node(TYPE_CONST, 0xD3, row("byte")), TYPE_BYTE, n);
}

InstPtr int16_const(int v)
{
    return with_value(expr_node(TYPE_CONST, 0xD4, row("int16")), TYPE_INT16, v);
}

InstPtr var(const char* name, int index)
{
    const CodeInfo* info = row(name);
    return with_value(expr_node(TYPE_FUNCTION, static_cast<uint8_t>(info->code), info), TYPE_BYTE,
                      index);
}

InstPtr data_ref(const char* label)
{
    InstPtr node = expr_node(TYPE_CONST, 0xD2, nullptr);
    node->param_count = 1;
    node->params[0].type = TYPE_LABEL;
    node->params[0].text = str_copy(label);
    return node;
}

InstPtr op(uint8_t code, InstPtr left, InstPtr right)
{
    InstPtr node = expr_node(TYPE_OPERATOR, code, nullptr);
    node->param_count = 2;
    node->params[0].type = TYPE_EXPR;
    node->params[0].node = std::move(left);
    node->params[1].type = TYPE_EXPR;
    node->params[1].node = std::move(right);
    return node;
}

InstPtr call(const char* name, InstPtr a, InstPtr b)
{
    const CodeInfo* info = row(name);
    InstPtr node = expr_node(TYPE_FUNCTION, static_cast<uint8_t>(info->code), info);
    node->param_count = info->param_count;
    InstPtr* args[] = {&a, &b};
    for (int i = 0; i < info->param_count && i < 2; ++i) {
        node->params[i].type = info->params[i].type;
        node->params[i].node = std::move(*args[i]);
    }
    return node;
}

InstPtr eval(InstPtr expr)
{
    InstPtr node = expr_node(TYPE_EVAL, 0xA7, nullptr);
    node->param_count = 1;
    node->params[0].type = TYPE_EXPR;
    node->params[0].node = std::move(expr);
    return node;
}

Inst* ListBuilder::node(int line, int32_t offset, ItemType type)
{
    tail = inst_new(line, offset, &head, tail);
    tail->type = type;
    return tail;
}

Inst* ListBuilder::statement(int line, int32_t offset, const char* keyword)
{
    const CodeInfo* info = row(keyword);
    Inst* inst = node(line, offset, TYPE_STATEMENT);
    inst->code = static_cast<uint8_t>(info->code);
    inst->info = info;
    inst->param_count = info->param_count;
    for (int i = 0; i < info->param_count; ++i) {
        inst->params[i].type = info->params[i].type;
    }
    return inst;
}

Emitted run_emitter(EmitFunction emit, const Inst* node, const DataLabelTable& labels, int32_t size,
                    int32_t start)
{
    std::vector<uint8_t> buffer(static_cast<size_t>(size) + 1);
    int32_t position = UNTOUCHED;
    int result = emit(node, labels, buffer.data(), size, start, &position);
    return {result, position, hex(buffer.data() + start, static_cast<size_t>(size - start))};
}

}  // namespace tolvar_test
