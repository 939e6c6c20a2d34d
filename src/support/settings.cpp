#include "support/settings.h"

#include <cstring>

namespace tolvar {

int game_type = GAME_U6;
int verbose_level = 0;
int allow_ja_text = 1;
int allow_u6_end = 1;
int endif_without_if = 0;
int implicit_decl = 0;
int implicit_eval = 0;
int implicit_int32 = 0;

void settings_reset()
{
    game_type = GAME_U6;
    verbose_level = 0;
    allow_ja_text = 1;
    allow_u6_end = 1;
    endif_without_if = 0;
    implicit_decl = 0;
    implicit_eval = 0;
    implicit_int32 = 0;
}

namespace {

int* const all_settings[] = {&game_type,        &verbose_level, &allow_ja_text, &allow_u6_end,
                             &endif_without_if, &implicit_decl, &implicit_eval, &implicit_int32};
static_assert(sizeof all_settings / sizeof all_settings[0] ==
              sizeof(SettingsState::values) / sizeof(int));

}  // namespace

SettingsState settings_save()
{
    SettingsState state{};
    for (size_t i = 0; i < sizeof all_settings / sizeof all_settings[0]; ++i) {
        state.values[i] = *all_settings[i];
    }
    return state;
}

void settings_restore(const SettingsState& state)
{
    for (size_t i = 0; i < sizeof all_settings / sizeof all_settings[0]; ++i) {
        *all_settings[i] = state.values[i];
    }
}

namespace {

struct SwitchOption {
    const char* name;
    int* setting;
    int value;
    bool script_allowed;
};

const SwitchOption switch_options[] = {
    {"--u6", &game_type, GAME_U6, true},
    {"--se", &game_type, GAME_SE, true},
    {"--md", &game_type, GAME_MD, true},
    {"--no-u6-end", &allow_u6_end, 0, false},
    {"--no-ja-text", &allow_ja_text, 0, false},
    {"--endif-without-if", &endif_without_if, 1, true},
    {"--implicit-decl", &implicit_decl, 1, true},
    {"--implicit-eval", &implicit_eval, 1, true},
    {"--implicit-int32", &implicit_int32, 1, true},
};

}  // namespace

bool apply_option(const char* name, size_t length, bool from_script)
{
    for (const SwitchOption& option : switch_options) {
        if ((option.script_allowed || !from_script) && std::strlen(option.name) == length &&
            std::memcmp(option.name, name, length) == 0) {
            *option.setting = option.value;
            return true;
        }
    }
    return false;
}

}  // namespace tolvar
