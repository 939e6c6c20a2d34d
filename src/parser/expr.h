// The expression parser: turns the tokens of a line, from pos onward, into
// an expression tree and adds its byte count to the running offset.
//
// All four operations return 0 or -1 (after printing a message). The
// cursor's pos and offset move only on success. parse_eval and parse_expr store what
// they built in result also on failure; the caller owns it either way.
#pragma once

#include <cstdint>

#include "isa/encoding.h"
#include "isa/inst.h"
#include "parser/token_cursor.h"

namespace tolvar {

// `eval` and an expression, wrapped in an eval node (CODE_EVAL).
int parse_eval(TokenCursor& cur, InstPtr& result);

// Operands joined by binary operators, ordered by precedence.
int parse_expr_op(TokenCursor& cur, InstPtr& result);

// One operand: parentheses, a variable, a function call, a sized constant
// or a small literal.
int parse_expr(TokenCursor& cur, InstPtr& result);

// Builds the operator tree over operands start..end (end > start); operator
// i stands between operand i and i + 1. Moves the nodes into the tree.
int make_op_hier(int& depth, InstPtr& result, InstPtr* operands, InstPtr* operators, int start,
                 int end);

// The codes a data-label reference reports under; statements and function
// arguments use their own.
struct DataRefCodes {
    int syntax;         // neither `int32` and a name nor a name
    int missing_int32;  // a bare name without implicit_int32
    int corrected;      // a bare name with implicit_int32 (verbose level 1)
    int memory;         // copying the name
};

// `int32` and a label name (or, with implicit_int32, the name alone) into
// slot, as an int32 node holding the name. shown_name and param_no name
// the parameter in messages. Like parse_eval, stores the node also on
// failure.
int parse_data_ref(TokenCursor& cur, InstPtr& slot, const char* shown_name, int param_no,
                   const DataRefCodes& codes);

}  // namespace tolvar
