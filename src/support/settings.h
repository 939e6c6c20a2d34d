// Process-wide settings, written by the command line and by the `.option`
// lines at the head of a script, read by every stage.
#pragma once

#include <cstddef>

namespace tolvar {

enum GameType {
    GAME_U6 = 0,
    GAME_SE = 1,
    GAME_MD = 2
};

extern int game_type;         // GAME_U6, GAME_SE or GAME_MD
extern int verbose_level;     // 0 and up; 2 and more print the same
extern int allow_ja_text;     // double-byte texts inside braces
extern int allow_u6_end;      // the keyword `end` in GAME_U6 scripts
extern int endif_without_if;  // a stray `endif` is only a warning
extern int implicit_decl;     // an assignment may leave out `decl`
extern int implicit_eval;     // an expression parameter may leave out `eval`
extern int implicit_int32;    // a data-label parameter may leave out `int32`

// Back to the defaults (used at start-up and by the tests).
void settings_reset();

// Every setting, to put back after a run that `.option` lines may change.
struct SettingsState {
    int values[8];
};
SettingsState settings_save();
void settings_restore(const SettingsState& state);

// Applies the switch option named by the length bytes at name ("--se",
// "--implicit-eval", ...). With from_script only the options a `.option`
// line may give count. Returns false when the name is none of them.
bool apply_option(const char* name, size_t length, bool from_script);

}  // namespace tolvar
