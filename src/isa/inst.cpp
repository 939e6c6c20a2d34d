#include "isa/inst.h"

#include "support/diag.h"

namespace tolvar {

Inst* inst_new(int32_t line, int32_t offset, InstPtr* head, Inst* tail)
{
    Inst* node = try_new<Inst>();
    if (node == nullptr) {
        report_error(752, "memory exhausted! (size=%zu)\n", sizeof(Inst));
        return nullptr;
    }
    node->line = line;
    node->offset = offset;
    if (head != nullptr) {
        if (tail != nullptr) {
            tail->next = node;
        } else {
            head->reset(node);
        }
    }
    return node;
}

namespace {

// Puts the list `list` in front of `todo` and returns the new front.
Inst* push_list(Inst* list, Inst* todo)
{
    Inst* last = list;
    while (last->next != nullptr) {
        last = last->next;
    }
    last->next = todo;
    return list;
}

}  // namespace

// Iterative on purpose: bodies may nest deeply and lists run long, and a
// recursive release would spend a stack frame per level or per node.
void inst_list_free(Inst* list)
{
    Inst* todo = list;
    while (todo != nullptr) {
        Inst* node = todo;
        todo = node->next;
        for (Param& param : node->params) {
            if (param.node) {
                todo = push_list(param.node.release(), todo);
            }
        }
        if (node->sub) {
            todo = push_list(node->sub.release(), todo);
        }
        delete node;
    }
}

}  // namespace tolvar
