#include "driver/settings.h"

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

}  // namespace tolvar
